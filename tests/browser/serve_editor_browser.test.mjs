// annot serve as an editor a person works in: keys on the selection, the
// context menu, the eraser's cursor and trail, the measurement export, the
// wheel and the page's scale in the status bar.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync, writeFileSync } from "node:fs";
import path from "node:path";
import { workFolder, run, withEditor, settled, clickAt, pagePoint, hostState, pagesPdf } from "./support.mjs";

// The floor plan with one distance from (100, 100) to (300, 100), made by a
// session script.
function planWithDistance(work) {
  const plan = path.join(work.dir, "plan.pdf"), measured = path.join(work.dir, "measured.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  const script = path.join(work.dir, "distance.session");
  writeFileSync(script, "tool DISTANCE\nclick 100 100\nclick 300 100\n");
  run(["run", script, "-i", plan, "-o", measured], work.env);
  return measured;
}

// The rectangles of the annotations `annot info` lists: [[l, b, r, t], ...].
function rects(file, env) {
  return [...run(["info", file], env).matchAll(/rect \[([-\d. ]+)\]/g)].map((m) => m[1].split(" ").map(Number));
}

const outlines = async (page) => (await hostState(page)).overlay.filter((item) => item.k === "rect").length;

test("arrow keys nudge the selection by 1 pt and 10 pt with Shift, Delete deletes it, each one undo step", async () => {
  const work = workFolder("keys");
  const file = planWithDistance(work);
  const before = rects(file, work.env);
  assert.equal(before.length, 1);
  await withEditor("keys", file, work, async (page, shot, server) => {
    await page.click("#hand");
    await clickAt(page, 200, 100);
    await settled(page);
    assert.ok((await outlines(page)) > 0, "the distance is selected");
    await page.keyboard.press("ArrowRight");
    await page.keyboard.press("Shift+ArrowDown");
    await settled(page);
    assert.equal((await hostState(page)).undo, 2, "each nudge is one undo step");
    await shot("nudged");
    await page.click("#save");
    await page.waitForFunction(() => window.annot.state.host.saves === 1);
    // One point right, ten down (PDF y grows upwards).
    const after = rects(file, work.env);
    const want = [before[0][0] + 1, before[0][1] - 10, before[0][2] + 1, before[0][3] - 10];
    after[0].forEach((v, i) => assert.ok(Math.abs(v - want[i]) < 0.02, `rect ${after[0]} is ${want}`));

    await page.keyboard.press("Delete");
    await settled(page);
    assert.equal((await hostState(page)).undo, 3, "Delete is one undo step");
    assert.equal(await outlines(page), 0, "nothing is left selected");
    await shot("deleted");
    await page.click("#undo");
    await settled(page);
    await page.click("#save");
    await page.waitForFunction(() => window.annot.state.host.saves === 2);
    assert.equal(rects(file, work.env).length, 1, "undo brings the distance back");
    // Backspace deletes as Delete does.
    await clickAt(page, 201, 90);
    await settled(page);
    await page.keyboard.press("Backspace");
    await page.click("#save");
    await page.waitForFunction(() => window.annot.state.host.saves === 3);
    assert.equal(rects(file, work.env).length, 0);
    assert.equal(await server.stop(), 0);
  });
});

test("the context menu closes with Escape and a press outside, and offers Delete, Properties and Bring to front after the handler's items", async () => {
  const work = workFolder("menu");
  const file = planWithDistance(work);
  await withEditor("menu", file, work, async (page, shot) => {
    await page.click("#hand");
    const on = await pagePoint(page, 200, 100);
    await page.mouse.click(on.x, on.y, { button: "right" });
    await page.waitForSelector("#modal form.menu");
    const items = await page.locator("#modal .item").allTextContents();
    assert.deepEqual(items, ["Flip Line", "Delete", "Properties", "Bring to front"]);
    await shot("menu");
    await page.keyboard.press("Escape");
    await page.waitForSelector("#modal", { state: "hidden" });
    await settled(page);
    assert.equal((await hostState(page)).undo, 0, "Escape changes nothing");

    // A press on the toolbar closes the menu and still does what it pressed.
    await page.mouse.click(on.x, on.y, { button: "right" });
    await page.waitForSelector("#modal form.menu");
    const zoom = (await hostState(page)).zoom;
    await page.click("#zoomIn");
    await page.waitForSelector("#modal", { state: "hidden" });
    await settled(page);
    assert.equal((await hostState(page)).undo, 0);
    assert.ok((await hostState(page)).zoom > zoom, "the zoom button worked through the closing menu");

    const again = await pagePoint(page, 200, 100);
    await page.mouse.click(again.x, again.y, { button: "right" });
    await page.waitForSelector("#modal form.menu");
    await page.click('#modal .item:text("Delete")');
    await settled(page);
    assert.equal((await hostState(page)).undo, 1, "Delete from the menu is one undo step");
    await shot("deleted");
    await page.click("#save");
    await page.waitForFunction(() => window.annot.state.host.saves === 1);
    assert.equal(rects(file, work.env).length, 0);
  });
});

test("the eraser's circle goes with the tool, and undo of an erase takes its trail away", async () => {
  const work = workFolder("eraser");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "--ink", "-o", plan], work.env);
  await withEditor("eraser", plan, work, async (page, shot) => {
    await page.click('button.control[data-id="Button_CNRubberPart"]');
    const from = await pagePoint(page, 245, 50), to = await pagePoint(page, 380, 50);
    await page.mouse.move(from.x, from.y);
    await page.mouse.down();
    for (let i = 1; i <= 8; i++) await page.mouse.move(from.x + ((to.x - from.x) * i) / 8, to.y);
    await page.mouse.up();
    await settled(page);
    assert.equal((await hostState(page)).undo, 1);
    assert.match((await hostState(page)).cursor, /^circle/);
    await page.click("#undo");
    await settled(page);
    const trail = (await hostState(page)).overlay.filter((item) => item.k === "line");
    assert.deepEqual(trail, [], "no trail of the undone erase is drawn");
    await shot("undone");

    await page.click("#hand");
    await settled(page);
    await page.mouse.move(from.x, from.y);
    await settled(page);
    assert.equal((await hostState(page)).cursor, "", "the Select tool has no circle");
    // Off any selection the Select tool shows the plain arrow.
    assert.equal(await page.locator("#overlay").evaluate((c) => c.style.cursor), "default");
    await shot("select-tool");
  });
});

test("Export Measurements downloads the CSV named after the PDF", async () => {
  const work = workFolder("export");
  const file = planWithDistance(work);
  const info = run(["measure", "info", file], work.env);
  const length = info.match(/length "([^"]+)"/)[1];
  await withEditor("export", file, work, async (page, shot) => {
    await page.click('button.control[data-id="Button_Distance"]');
    await settled(page);
    await page.click('.tabs .tab:text("Format")');
    const downloaded = page.waitForEvent("download");
    await page.click('button.control[data-id="Button_Measure_Export"]');
    const download = await downloaded;
    assert.equal(download.suggestedFilename(), "measured.csv");
    const csv = readFileSync(await download.path(), "utf8");
    assert.ok(csv.includes(length), `the CSV holds the distance ${length}: ${csv}`);
    await shot("exported");
  });
});

test("Ctrl+wheel zooms about the pointer, the wheel scrolls, the status bar shows the scale", async () => {
  const work = workFolder("wheel");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  await withEditor("wheel", plan, work, async (page, shot) => {
    assert.equal(await page.locator("#scale").textContent(), "Scale: 10 cm = 5 m");
    assert.ok(!(await page.locator("#scale").evaluate((e) => e.classList.contains("none"))));

    const anchor = await pagePoint(page, 600, 300);
    await page.mouse.move(anchor.x, anchor.y);
    await page.keyboard.down("Control");
    await page.mouse.wheel(0, -100);
    await page.keyboard.up("Control");
    await settled(page);
    assert.equal((await hostState(page)).zoom, 1.25);
    const moved = await pagePoint(page, 600, 300);
    assert.ok(Math.abs(moved.x - anchor.x) <= 2 && Math.abs(moved.y - anchor.y) <= 2,
      `the point under the pointer stays: ${JSON.stringify([anchor, moved])}`);
    await shot("zoomed");

    const top = await page.locator("#viewer").evaluate((v) => v.scrollTop);
    await page.mouse.wheel(0, 120);
    await page.waitForFunction((t) => document.getElementById("viewer").scrollTop > t, top);
    await shot("scrolled");
  });
});

test("a page without a scale says so in the status bar, in the page's language", async () => {
  const work = workFolder("noscale");
  const file = path.join(work.dir, "blank.pdf");
  pagesPdf(file, [[400, 300]]);
  await withEditor("noscale", file, work, async (page, shot) => {
    assert.equal(await page.locator("#scale").textContent(), "Maßstab: kein Maßstab");
    assert.ok(await page.locator("#scale").evaluate((e) => e.classList.contains("none")));
    await shot("no-scale");
  }, { lang: "de-DE" });
});

test("ribbon parents head their buttons, the eraser's size is a slider, the precision a list that changes only on a new value", async () => {
  const work = workFolder("ribbon");
  const file = planWithDistance(work);
  await withEditor("ribbon", file, work, async (page, shot) => {
    // Parent buttons without a procedure are no buttons: their titles head
    // the buttons they hold.
    for (const [parent, child] of [["Button_Measure_Parent", "Button_Distance"], ["Button_CNRubber", "Button_CNRubberPart"]]) {
      assert.equal(await page.locator(`button[data-id="${parent}"]`).count(), 0, `${parent} is no button`);
      assert.ok(await page.locator(`.group[data-id="${parent}"] button.control[data-id="${child}"]`).isVisible());
      await page.locator(`.group[data-id="${parent}"] .head`).click();
      await settled(page);
      assert.doesNotMatch(await page.locator("#status").textContent(), /does nothing/);
    }
    assert.equal(await page.locator('button[data-id="Button_CNRubberSize"]').count(), 0, "Eraser Size is a slider");
    const size = page.locator('input[type="range"][data-id="Button_CNRubberSilder"]');
    assert.equal(await size.inputValue(), "8");
    await size.fill("12");
    await settled(page);
    const slider = (function find(list) {
      for (const e of list) { if (e.name === "Button_CNRubberSilder") return e; const f = find(e.children); if (f) return f; }
      return null;
    })((await hostState(page)).ribbon);
    assert.equal(slider.value, 12);
    assert.equal((await hostState(page)).undo, 0);
    await shot("groups");

    // Three decimals for the selected distance: 200 pt at 10 cm = 5 m is
    // 200 / 72 * 2.54 * 50 / 100 = 3.528 m.
    await page.click("#hand");
    await clickAt(page, 200, 100);
    await settled(page);
    await page.click('.tabs .tab:text("Format")');
    const precision = page.locator('select[data-id="Measure_Prop_Precision"]');
    await precision.selectOption(await precision.inputValue());
    await settled(page);
    assert.equal((await hostState(page)).undo, 0, "choosing the same precision adds no step");
    await precision.selectOption("3");
    await settled(page);
    assert.equal((await hostState(page)).undo, 1);
    await shot("precision");
    await page.click("#save");
    await page.waitForFunction(() => window.annot.state.host.saves === 1);
    const metres = (200 / 72) * 2.54 * 50 / 100;
    assert.match(run(["measure", "info", file], work.env), new RegExp(`length "${metres.toFixed(3)} m"`));
  });
});

test("the panel shows the selection's values, Escape clears a cancelled figure's and then the selection; a message box shows only its own buttons", async () => {
  const work = workFolder("escape");
  const file = planWithDistance(work);
  const length = async (page) => page.locator('#values td[data-element="label_length"]').allTextContents();
  await withEditor("escape", file, work, async (page, shot) => {
    await page.click("#hand");
    await clickAt(page, 200, 100);
    await settled(page);
    assert.ok((await outlines(page)) > 0);
    // 200 pt at 10 cm = 5 m.
    const metres = (200 / 72) * 2.54 * 50 / 100;
    assert.deepEqual(await length(page), [`${metres.toFixed(2)} m`], "the panel shows the selected distance");
    await shot("selected");
    await page.keyboard.press("Escape");
    await settled(page);
    assert.equal(await outlines(page), 0, "Escape cleared the selection");
    assert.deepEqual(await length(page), [], "and its values");

    // A distance begun and given up leaves no values behind.
    await page.click('button.control[data-id="Button_Distance"]');
    await clickAt(page, 100, 300);
    const to = await pagePoint(page, 400, 300);
    await page.mouse.move(to.x, to.y);
    await settled(page);
    assert.equal((await length(page)).length, 1, "the panel follows the figure");
    await page.keyboard.press("Escape");
    await settled(page);
    assert.deepEqual(await length(page), [], "the cancelled figure's values are gone");
    await shot("cancelled");

    // Export with no measurement on the page: a message with OK alone.
    await page.click("#hand");
    await clickAt(page, 200, 100);
    await page.keyboard.press("Delete");
    await settled(page);
    await page.click('button.control[data-id="Button_Distance"]');
    await settled(page);
    await page.click('.tabs .tab:text("Format")');
    await page.click('button.control[data-id="Button_Measure_Export"]');
    await page.waitForSelector('#modal form[data-name="message"]');
    assert.deepEqual(await page.locator("#modal .buttons button").allTextContents(), ["OK"]);
    await shot("message");
    await page.keyboard.press("Escape");
    await page.waitForSelector("#modal", { state: "hidden" });
  });
});

test("the Page Scale dialog opens on the page's scale, Preset and Custom are one choice, a preset fills the fields", async () => {
  const work = workFolder("pagescale");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  await withEditor("pagescale", plan, work, async (page, shot) => {
    await page.click('button.control[data-id="Button_Distance"]');
    await settled(page);
    await page.click('.tabs .tab:text("Format")');
    await page.click('button.control[data-id="Measure_Group_PageScale"]');
    await page.waitForSelector('#modal form[data-name="PageScale"]');
    const el = (name) => page.locator(`#modal [data-element="${name}"]`);
    // The plan's 10 cm = 5 m is 1:50.
    assert.equal(await el("radioButtonPreset").getAttribute("type"), "radio");
    assert.ok(await el("radioButtonPreset").isChecked());
    assert.equal(await el("comboBoxPreset").inputValue(), `1:${(5 * 100) / 10}`);
    assert.equal(await page.locator("#modal button", { hasText: /^OK$/ }).count(), 1, "one OK");
    assert.equal(await page.locator("#modal button", { hasText: /^Cancel$/ }).count(), 1, "one Cancel");
    assert.ok(!(await el("comboBoxPreset_Y").isVisible()), "the Y scale waits for Separate Y scale");
    assert.ok(!(await el("lineEditPageRangeMac").isVisible()), "the page range waits for Custom Range");
    assert.ok(await el("lineEditLeftValue").isDisabled(), "custom fields are off for a preset");
    const fits = await page.locator("#modal form").evaluate((f) => f.scrollHeight <= f.clientHeight && f.getBoundingClientRect().bottom <= window.innerHeight);
    assert.ok(fits, "the dialog fits without scrolling");
    await shot("opened");

    await el("comboBoxPreset").selectOption("1:200");
    assert.equal(await el("lineEditLeftValue").inputValue(), "1");
    assert.equal(await el("lineEditRightValue").inputValue(), "200");
    assert.equal(await el("comboBoxRightUnit").inputValue(), await el("comboBoxLeftUnit").inputValue());
    await el("radioButtonCustom").check();
    assert.ok(!(await el("radioButtonPreset").isChecked()), "Custom turns Preset off");
    assert.ok(await el("comboBoxPreset").isDisabled());
    assert.ok(!(await el("lineEditLeftValue").isDisabled()));
    await el("checkBoxSeparateYScale").check();
    assert.ok(await el("comboBoxPreset_Y").isVisible());
    await el("checkBoxSeparateYScale").uncheck();
    await shot("custom");
    await page.locator("#modal .buttons button", { hasText: "OK" }).click();
    await page.waitForSelector("#modal", { state: "hidden" });
    await settled(page);
    assert.equal((await hostState(page)).undo, 1, "the new scale is one undo step");
    assert.equal(await page.locator("#scale").textContent(), "Scale: 1 cm = 200 cm");
  });
});
