// annot serve's markups list, status bar, tooltips and keys, and the tool
// chest's toolsets, as a person uses them.
import { test } from "node:test";
import assert from "node:assert/strict";
import { copyFileSync, mkdirSync, readFileSync } from "node:fs";
import path from "node:path";
import { workFolder, run, withEditor, settled, clickAt, pagePoint, hostState, buildDir, pagesPdf, noScalePrompt } from "./support.mjs";
import { writeFileSync } from "node:fs";

// The floor plan's scale is 10 cm = 5 m: a point (1/72 in) is
// 5 m / (10 / 2.54 * 72) on the ground.
const METRES_PER_POINT = 5 / ((10 / 2.54) * 72);
// Two walls of the living room, corner to corner (page points).
const WALL_A = [[97.01, 107.01], [476.85, 107.01]];
const WALL_B = [[476.85, 107.01], [476.85, 373.46]];
const metres = ([[x1, y1], [x2, y2]]) => Math.hypot(x2 - x1, y2 - y1) * METRES_PER_POINT;
const number = (text) => Number(text.replace(/[^\d.]/g, ""));

const prompt = (page) => page.locator("#prompt").textContent();
const rows = (page) => page.locator("#markups tr.markup");
// The list is opened from the toolbar; a page wide enough for it beside
// the plan.
const WIDE = { viewport: { width: 1700, height: 950 } };
async function openList(page) {
  await page.click("#markupsToggle");
  assert.equal(await page.locator("#markupsToggle").getAttribute("aria-pressed"), "true");
  await listSettled(page);
}
const listSettled = (page) => page.waitForFunction(() => {
  const a = window.annot;
  return a.markups && !a.markups.loading && a.markups.doc === a.state.host.doc;
});

async function drawDistance(page, [from, to]) {
  await clickAt(page, ...from);
  await settled(page);
  assert.equal(await prompt(page), "Click the end point", "after the first point the tool asks for the end point");
  await clickAt(page, ...to);
  await settled(page);
  assert.equal(await prompt(page), "Click the first point", "a finished distance starts over");
}

test("two distances are listed with their total, filtered, selected from the list, deleted there and exported as CSV", async () => {
  const work = workFolder("markups");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  await withEditor("markups", plan, work, async (page, shot, server, errors) => {
    assert.equal(await page.getByRole("region", { name: "Markups" }).count(), 0, "the list starts shut");
    await openList(page);
    assert.equal(await page.getByRole("region", { name: "Markups" }).count(), 1, "the list is named Markups");
    assert.equal(await rows(page).count(), 0);

    // D arms Distance, as its tooltip says.
    assert.match(await page.locator('#ribbon [data-id="Button_Distance"]').getAttribute("title"), /\(D\)$/);
    await page.locator("#overlay").focus();
    await page.keyboard.press("d");
    await settled(page);
    assert.equal((await hostState(page)).tool, "DISTANCE");
    assert.equal(await prompt(page), "Click the first point");
    await drawDistance(page, WALL_A);
    await drawDistance(page, WALL_B);
    await listSettled(page);
    assert.equal(await rows(page).count(), 2);
    // Each says who made it and when: today, to the minute.
    const today = new Date();
    const day = `${today.getFullYear()}-${String(today.getMonth() + 1).padStart(2, "0")}-${String(today.getDate()).padStart(2, "0")}`;
    for (const date of await page.locator("#markups tr.markup td:nth-child(7)").allTextContents())
      assert.match(date, new RegExp(`^${day} \\d\\d:\\d\\d$`));
    await shot("two-distances");

    // Grouped by kind: one total for the two, within a pixel (at zoom 1,
    // a point) of each wall's length as drawn.
    await page.selectOption("#markupGroup", "kind");
    await listSettled(page);
    const values = (await page.locator("#markups tr.markup td:nth-child(5)").allTextContents()).map(number);
    assert.equal(values.length, 2);
    const want = [metres(WALL_A), metres(WALL_B)];
    values.forEach((v, i) => assert.ok(Math.abs(v - want[i]) <= 0.02, `${v} m is about ${want[i]} m`));
    const totalRow = page.locator("#markups tr.total");
    assert.equal(await totalRow.count(), 1);
    const total = number(await totalRow.locator("td.num").textContent());
    assert.ok(Math.abs(total - (want[0] + want[1])) <= 0.04, `the total ${total} m is about ${want[0] + want[1]} m`);
    assert.match(await totalRow.textContent(), /Count: 2/);
    await shot("grouped-with-total");

    // The CSV holds what the list shows, totals included.
    const [download] = await Promise.all([page.waitForEvent("download"), page.click("#markupExport")]);
    const csv = readFileSync(await download.path(), "utf8");
    assert.equal(download.suggestedFilename(), "plan-markups.csv");
    assert.ok(csv.startsWith("\uFEFF\"Page\",\"Kind\",\"Subject\",\"Label\",\"Value\",\"Author\",\"Date\"\r\n"), csv);
    const lines = csv.replace(/^\uFEFF/, "").split("\r\n");
    assert.equal(lines.filter((l) => l.startsWith("\"1\",\"Distance\"")).length, 2, csv);
    assert.ok(lines.includes(`"Distance","Distance","${total.toFixed(2)} m","2"`), csv);

    // The filter keeps the rows that hold its text; the total follows.
    await page.fill("#markupFilter", values[1].toFixed(2));
    await page.waitForFunction(() => document.querySelectorAll("#markups tr.markup").length === 1);
    assert.equal(number(await page.locator("#markups tr.total td.num").textContent()), values[1]);
    await page.fill("#markupFilter", "no such markup");
    await page.waitForFunction(() => document.querySelectorAll("#markups tr.markup").length === 0);
    assert.equal(await page.locator("#markups tr.empty").count(), 1);
    await page.fill("#markupFilter", "");
    await page.waitForFunction(() => document.querySelectorAll("#markups tr.markup").length === 2);

    // Sorting by value puts the shorter wall first, again the longer one.
    await page.click('#markupTable th[data-column="value"] button');
    await listSettled(page);
    const sorted = (await page.locator("#markups tr.markup td:nth-child(5)").allTextContents()).map(number);
    assert.deepEqual(sorted, [...values].sort((a, b) => a - b));

    // A click in the list selects the markup on the page; Delete with the
    // focus in the list deletes it, as one undo step.
    await page.locator("#markups tr.markup").first().click();
    await settled(page);
    let host = await hostState(page);
    assert.equal(host.tool, "Hand");
    assert.ok(host.overlay.some((item) => item.k === "rect"), "the markup is outlined on the page");
    await shot("selected-from-list");
    const undo = host.undo;
    await page.keyboard.press("Delete");
    await settled(page);
    await listSettled(page);
    host = await hostState(page);
    assert.equal(host.undo, undo + 1);
    assert.equal(await rows(page).count(), 1);
    assert.equal(number(await page.locator("#markups tr.markup td:nth-child(5)").textContent()), sorted[1]);
    assert.deepEqual(errors, []);
  }, WIDE);
});

test("a click in the list on a markup of another page shows that page and scrolls the markup into view", async () => {
  const work = workFolder("markups-pages", noScalePrompt);
  const blank = pagesPdf(path.join(work.dir, "blank.pdf"), [[612, 792], [612, 792]]);
  const two = path.join(work.dir, "two.pdf"), script = path.join(work.dir, "two.session");
  // A distance low on page 1, one high on page 2.
  writeFileSync(script, "tool DISTANCE\nclick 100 100\nclick 300 100\npage 2\ntool DISTANCE\nclick 100 600\nclick 400 600\n");
  run(["run", script, "-i", blank, "-o", two], work.env);
  await withEditor("markups-pages", two, work, async (page, shot, server, errors) => {
    await openList(page);
    assert.equal(await rows(page).count(), 2);
    await page.keyboard.press("PageDown");
    await settled(page);
    await page.fill("#zoomPct", "250%");
    await page.keyboard.press("Enter");
    await settled(page);
    assert.equal((await hostState(page)).page, 1);
    await page.locator('#markups tr.markup[data-page="0"]').click();
    await settled(page);
    await page.waitForFunction(() => {
      const m = window.annot.state.host.matrix, box = document.getElementById("overlay").getBoundingClientRect();
      const frame = document.getElementById("viewer").getBoundingClientRect();
      const y = box.top + m[1] * 200 + m[3] * 100 + m[5];
      return y > frame.top && y < frame.bottom;
    });
    const host = await hostState(page);
    assert.equal(host.page, 0, "the markup's page is shown");
    assert.equal(host.zoom, 2.5, "at the zoom it was shown at");
    assert.ok(host.overlay.some((item) => item.k === "rect"), "the markup is selected");
    await shot("other-page");
    assert.deepEqual(errors, []);
  }, WIDE);
});

test("the status bar tells each step of a tool, the pointer's position in the scale's unit and unsaved changes; every button has a tooltip", async () => {
  const work = workFolder("status");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  await withEditor("status", plan, work, async (page, shot, server, errors) => {
    assert.equal(await prompt(page), "Click a markup to select it; drag it to move it");
    assert.equal(await page.locator("#changes").textContent(), "All changes saved");
    // The pointer at 10 cm by 5 cm of paper is 5 m by 2.5 m on the ground.
    const at = await pagePoint(page, 283.4646, 141.7323);
    await page.mouse.move(at.x, at.y);
    const position = await page.locator("#position").textContent();
    const [x, y] = [...position.matchAll(/([\d.]+) m/g)].map((m) => Number(m[1]));
    assert.ok(Math.abs(x - 5) <= 0.02 && Math.abs(y - 2.5) <= 0.02, position);

    await page.locator("#overlay").focus();
    await page.keyboard.press("a");
    await settled(page);
    assert.equal((await hostState(page)).tool, "Area");
    assert.equal(await prompt(page), "Click the first point");
    await clickAt(page, 97.01, 107.01);
    assert.equal(await prompt(page), "Click the next point");
    await clickAt(page, 476.85, 107.01);
    assert.equal(await prompt(page), "Click the next point");
    await clickAt(page, 476.85, 373.46);
    assert.equal(await prompt(page), "Click the next point, or double-click to finish");
    await shot("area-prompt");
    const last = await pagePoint(page, 97.01, 373.46);
    await page.mouse.dblclick(last.x, last.y);
    await settled(page);
    assert.equal(await prompt(page), "Click the first point");
    assert.equal(await page.locator("#changes").textContent(), "Unsaved changes");
    await page.keyboard.press("v");
    await settled(page);
    assert.equal((await hostState(page)).tool, "Hand");

    // Tooltips, with the keys that exist.
    assert.equal(await page.locator("#hand").getAttribute("title"), "Select and move markups (V)");
    assert.equal(await page.locator("#save").getAttribute("title"), "Save the changes into the file (Ctrl+S)");
    assert.match(await page.locator('#ribbon [data-id="Button_Area"]').getAttribute("title"), /\(A\)$/);
    const untitled = await page.evaluate(() =>
      [...document.querySelectorAll("button")].filter((b) => b.offsetParent && !b.title).map((b) => b.id || b.textContent));
    assert.deepEqual(untitled, []);
    await page.keyboard.press("Control+s");
    await page.waitForFunction(() => window.annot.state.host.saves === 1);
    assert.equal(await page.locator("#changes").textContent(), "All changes saved");
    assert.deepEqual(errors, []);
  });
});

test("a toolset is made, the selection captured as a tool with its preview and name, reordered, placed at a click, renamed and deleted", async () => {
  const work = workFolder("toolsets");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  await withEditor("toolsets", plan, work, async (page, shot, server, errors) => {
    await openList(page);
    await page.locator("#overlay").focus();
    await page.keyboard.press("d");
    await settled(page);
    await drawDistance(page, WALL_A);
    await page.keyboard.press("a");
    await settled(page);
    await clickAt(page, 97.01, 107.01);
    await clickAt(page, 476.85, 107.01);
    const corner = await pagePoint(page, 476.85, 373.46);
    await page.mouse.dblclick(corner.x, corner.y);
    await settled(page);
    await listSettled(page);
    assert.equal(await rows(page).count(), 2);

    await page.click("#chest .newset");
    await page.fill('#chest form.title input', "Site");
    await page.keyboard.press("Enter");
    const set = page.locator('#chest .set[data-set="Site"]');
    await set.waitFor();

    // The distance, selected from the list, becomes the toolset's tool.
    await page.locator("#markups tr.markup").first().click();
    await settled(page);
    await set.locator("button.capture").click();
    const tools = set.locator("button.tool");
    await tools.first().waitFor();
    assert.equal(await tools.count(), 1);
    // Its name is what it measures; its preview is drawn.
    assert.equal(await tools.first().locator("span").textContent(), "Distance Measurement");
    const inked = await tools.first().locator("canvas").evaluate((c) => {
      const d = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;
      let n = 0;
      for (let i = 3; i < d.length; i += 4) if (d[i] > 0) n++;
      return n;
    });
    assert.ok(inked > 10, `the preview draws the tool (${inked} pixels)`);
    // The area joins it; dragged onto the distance it comes first.
    await page.locator("#markups tr.markup").nth(1).click();
    await settled(page);
    await set.locator("button.capture").click();
    await page.waitForFunction(() => document.querySelectorAll('#chest .set[data-set="Site"] button.tool').length === 2);
    const names = async () => set.locator("button.tool span").allTextContents();
    assert.deepEqual(await names(), ["Distance Measurement", "Area Measurement"]);
    await tools.nth(1).dragTo(tools.nth(0));
    await page.waitForFunction(() => document.querySelector('#chest .set[data-set="Site"] button.tool span').textContent === "Area Measurement");
    assert.deepEqual(await names(), ["Area Measurement", "Distance Measurement"]);
    await shot("toolset");

    // Placed from the chest, the distance lands with its upper-left corner
    // at the click.
    await set.locator("button.tool", { hasText: "Distance Measurement" }).click();
    await settled(page);
    assert.equal((await hostState(page)).tool, "ANNOT_TOOLSET");
    assert.equal(await prompt(page), "Click on the page to place the tool there");
    const before = await page.evaluate(() => window.annot.markups.data.count);
    await clickAt(page, 600, 450);
    await settled(page);
    await listSettled(page);
    const data = await page.evaluate(() => window.annot.markups.data);
    assert.equal(data.count, before + 1);
    const placed = data.groups.flatMap((g) => g.rows).find((r) => r.index === before);
    const [l, b, r, t] = placed.rect;
    assert.ok(Math.abs(l - 600) <= 1.5 && Math.abs(t - 450) <= 1.5 && r > l && b < t, `upper-left corner at the click: ${placed.rect}`);
    await shot("placed");

    await set.locator("button.rename").click();
    await page.fill('#chest form.title input', "Site plan");
    await page.keyboard.press("Enter");
    await page.locator('#chest .set[data-set="Site plan"]').waitFor();
    assert.equal(await page.locator('#chest .set[data-set="Site"]').count(), 0);
    page.once("dialog", (d) => d.accept());
    await page.locator('#chest .set[data-set="Site plan"] button.delete').click();
    await page.waitForFunction(() => !document.querySelector('#chest .set[data-set="Site plan"]'));
    assert.match(run(["toolset", "list"], work.env), /^(?!.*Site)/s);
    assert.deepEqual(errors, []);
  }, WIDE);
});

test("the list and the status bar speak the session's language; a spinner shows while a page is drawn", async () => {
  const work = workFolder("markups-de");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  await withEditor("markups-de", plan, work, async (page, shot, server, errors) => {
    await page.click("#markupsToggle");
    await page.getByRole("region", { name: "Markierungen" }).waitFor();
    assert.deepEqual(await page.locator("#markupTable th button").allTextContents(),
      ["Seite ▲", "Art", "Betreff", "Beschriftung", "Wert", "Autor", "Datum"]);
    assert.equal(await page.locator("#markupExport").textContent(), "CSV exportieren");
    await page.locator("#overlay").focus();
    await page.keyboard.press("d");
    await settled(page);
    assert.equal(await prompt(page), "Ersten Punkt anklicken");
    await clickAt(page, ...WALL_A[0]);
    assert.equal(await prompt(page), "Endpunkt anklicken");
    await page.keyboard.press("Escape");
    await settled(page);

    // The spinner is up while the page is drawn at another zoom, and gone
    // once it is drawn: every change of it is recorded as it happens.
    await page.evaluate(() => {
      const spinner = document.getElementById("spinner");
      window.spins = [];
      new MutationObserver(() => window.spins.push(spinner.hidden ? "hidden" : `shown ${window.annot.rendering}`))
        .observe(spinner, { attributes: true, attributeFilter: ["hidden"] });
    });
    assert.equal(await page.locator("#spinner").getAttribute("hidden"), "");
    await page.click("#zoomIn");
    await settled(page);
    const host = await hostState(page);
    assert.deepEqual(await page.evaluate(() => window.spins),
      [`shown ${host.doc}/${host.page}/${host.zoom}/${host.rotation}`, "hidden"]);
    assert.equal(await page.locator("#spinner").getAttribute("aria-label"), "Seite wird gezeichnet…");
    assert.deepEqual(errors, []);
  }, { lang: "de-DE", ...WIDE });
});

// The README's picture of annot serve: the plan measured, the markups list
// beside it with its total.
test("the README's screenshot shows the markups list beside the measured plan", async () => {
  const work = workFolder("readme");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  await withEditor("readme", plan, work, async (page, shot) => {
    await openList(page);
    await page.locator("#overlay").focus();
    await page.keyboard.press("d");
    await settled(page);
    await drawDistance(page, WALL_A);
    await drawDistance(page, WALL_B);
    await page.selectOption("#markupGroup", "kind");
    await listSettled(page);
    await page.keyboard.press("v");
    await page.click("#fitWidth");
    await settled(page);
    const file = await shot("readme");
    const docs = path.join(buildDir, "browser-artifacts", "readme");
    mkdirSync(docs, { recursive: true });
    copyFileSync(file, path.join(docs, "serve.png"));
  }, WIDE);
});
