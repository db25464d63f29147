// The properties panel for the kinds the Comment tab makes, as a person uses
// it: a rectangle's colour and line width, a text box's letters, each shown
// at once and taken back by Ctrl+Z; and the panel's heading naming the kind
// as the markups list does.
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { writeFileSync } from "node:fs";
import path from "node:path";
import { workFolder, run, withEditor, settled, clickAt, pagePoint, hostState, noScalePrompt, pagesPdf, viewInks } from "./support.mjs";

function plan(work) {
  const file = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", file], work.env);
  return file;
}

async function drag(page, from, to) {
  const a = await pagePoint(page, ...from), b = await pagePoint(page, ...to);
  await page.mouse.move(a.x, a.y);
  await page.mouse.down();
  await page.mouse.move(b.x, b.y, { steps: 6 });
  await page.mouse.up();
  await settled(page);
}

async function saved(page, n) {
  await page.click("#save");
  await page.waitForFunction((k) => window.annot.state.host.saves === k, n);
}

async function arm(page, button) {
  await page.locator(".tabs .tab", { hasText: "Comment" }).click();
  await page.click(`button.control[data-id="${button}"]`);
  await settled(page);
}

// Sets a colour field of the panel as the colour picker would.
async function pickColour(page, name, value) {
  await page.locator(`#props input[name="${name}"]`).evaluate((el, v) => {
    el.value = v;
    el.dispatchEvent(new Event("change"));
  }, value);
  await settled(page);
}

test("a rectangle from the Comment tab takes a colour and a line width from the panel; Ctrl+Z brings the old ones back", async () => {
  const work = workFolder("props-rectangle");
  await withEditor("props-rectangle", plan(work), work, async (page, shot, server, errors) => {
    await arm(page, "Button_Comment_Rectangle");
    await drag(page, [150, 150], [260, 230]);
    await page.click("#hand");
    await clickAt(page, 205, 190);
    await settled(page);
    await page.waitForSelector("#props:not([hidden])");
    assert.equal(await page.locator("#props .kind").textContent(), "Rectangle");
    // Its panel offers what a rectangle has, and no text style.
    for (const name of ["color", "fill", "width", "dash", "opacity", "subject", "contents"])
      assert.equal(await page.locator(`#props [name="${name}"]`).count(), 1, name);
    assert.equal(await page.locator('#props [name="fontSize"]').count(), 0);
    assert.equal(await page.locator('#props input[name="color"]').isDisabled(), false);
    // The left side of the frame, a few points either way.
    const side = [144, 160, 158, 220];
    const before = await viewInks(page, side);
    assert.ok(before.red > 0 && before.blue === 0, JSON.stringify(before));
    await shot("selected");

    await pickColour(page, "color", "#0000ff");
    await page.fill('#props input[name="width"]', "4");
    await page.keyboard.press("Tab");
    await settled(page);
    let host = await hostState(page);
    assert.equal(host.undo, 3, "the rectangle, then one step for each change");
    assert.equal(host.selection[0].props.color, "#0000FF");
    assert.equal(host.selection[0].props.width, 4);
    const after = await viewInks(page, side);
    assert.ok(after.blue > 0 && after.red === 0, `the page shows the new colour: ${JSON.stringify(after)}`);
    // A 4-point line covers about four times the pixels of a 1-point one.
    assert.ok(after.blue > 2.5 * before.red, `the line is wider: ${after.blue} against ${before.red}`);
    await shot("blue-and-wide");

    await page.locator("#overlay").focus();
    await page.keyboard.press("Control+z");
    await settled(page);
    host = await hostState(page);
    assert.equal(host.selection[0].props.width, 1);
    await page.keyboard.press("Control+z");
    await settled(page);
    host = await hostState(page);
    assert.equal(host.selection[0].props.color, "#FF0000");
    const undone = await viewInks(page, side);
    assert.ok(undone.red > 0 && undone.blue === 0, `Ctrl+Z brings the red back: ${JSON.stringify(undone)}`);
    assert.equal(await page.inputValue('#props input[name="color"]'), "#ff0000", "the panel follows undo");
    await shot("undone");
    assert.deepEqual(errors, []);
  });
});

// The pixels poppler draws of page 1 of `file` inside a page rectangle
// [l, b, r, t] of a page `height` points tall, at one pixel a point: the
// green and the dark ones, with the rows they span.
function rendered(file, [l, b, r, t], height) {
  const ppm = execFileSync("pdftoppm", ["-r", "72", "-f", "1", "-l", "1", "-x", String(l), "-y", String(height - t),
    "-W", String(r - l), "-H", String(t - b), file]);
  // "P6\nW H\n255\n" then the pixels.
  const head = ppm.toString("latin1", 0, 40).match(/^P6\s+(\d+)\s+(\d+)\s+255\s/);
  const [w, h] = [Number(head[1]), Number(head[2])];
  const out = { green: 0, dark: 0, top: h, bottom: -1 };
  for (let y = 0; y < h; y++)
    for (let x = 0; x < w; x++) {
      const i = head[0].length + 3 * (y * w + x);
      const [R, G, B] = [ppm[i], ppm[i + 1], ppm[i + 2]];
      const green = G > R + 60 && G > B + 60, dark = R < 90 && G < 90 && B < 90;
      if (green) out.green++;
      if (dark) out.dark++;
      if (green || dark) { out.top = Math.min(out.top, y); out.bottom = Math.max(out.bottom, y); }
    }
  return out;
}

test("a text box's letters take a colour and a size from the panel; Ctrl+Z brings the old ones back", async () => {
  const work = workFolder("props-text");
  const file = pagesPdf(path.join(work.dir, "blank.pdf"), [[612, 792]]);
  await withEditor("props-text", file, work, async (page, shot, server, errors) => {
    await arm(page, "Button_Comment_TextBox");
    await drag(page, [150, 300], [330, 360]);
    await page.keyboard.type("Door");
    await settled(page);
    await page.click("#hand");
    await clickAt(page, 240, 330);
    await settled(page);
    await page.waitForSelector("#props:not([hidden])");
    assert.equal(await page.locator("#props .kind").textContent(), "Text box");
    assert.equal(await page.inputValue('#props input[name="fontSize"]'), "12");
    assert.equal(await page.inputValue('#props input[name="contents"]'), "Door");
    assert.equal(await page.inputValue('#props input[name="fontColor"]'), "#000000");
    await shot("selected");
    // Inside the border, as poppler draws the saved file.
    const box = [152, 302, 328, 358];
    await saved(page, 1);
    const before = rendered(file, box, 792);
    assert.ok(before.dark > 0 && before.green === 0, JSON.stringify(before));
    const undoBefore = (await hostState(page)).undo;

    await pickColour(page, "fontColor", "#00aa00");
    await page.fill('#props input[name="fontSize"]', "24");
    await page.keyboard.press("Tab");
    await settled(page);
    let host = await hostState(page);
    assert.equal(host.undo, undoBefore + 2, "one undo step each");
    assert.equal(host.selection[0].props.fontSize, 24);
    assert.equal(await page.inputValue('#props input[name="fontColor"]'), "#00aa00", "the panel shows the new colour");
    await shot("green-and-large");
    await saved(page, 2);
    const after = rendered(file, box, 792);
    assert.ok(after.green > 0 && after.dark === 0, `the letters are green: ${JSON.stringify(after)}`);
    const grown = (after.bottom - after.top) / (before.bottom - before.top);
    assert.ok(grown > 1.6 && grown < 2.4, `the letters are twice as tall: ${grown}`);

    await page.locator("#overlay").focus();
    await page.keyboard.press("Control+z");
    await page.keyboard.press("Control+z");
    await settled(page);
    host = await hostState(page);
    assert.equal(host.selection[0].props.fontColor, "#000000");
    assert.equal(host.selection[0].props.fontSize, 12);
    await saved(page, 3);
    const undone = rendered(file, box, 792);
    assert.ok(undone.dark > 0 && undone.green === 0, `Ctrl+Z brings the black back: ${JSON.stringify(undone)}`);
    assert.equal(undone.bottom - undone.top, before.bottom - before.top);
    assert.deepEqual(errors, []);
  });
});

test("the panel's heading names a distance as the markups list does", async () => {
  const work = workFolder("props-kind", noScalePrompt);
  await withEditor("props-kind", plan(work), work, async (page, shot, server, errors) => {
    await page.click('button.control[data-id="Button_Distance"]');
    await settled(page);
    await clickAt(page, 100, 100);
    await clickAt(page, 300, 100);
    await settled(page);
    await page.click("#hand");
    await clickAt(page, 200, 100);
    await settled(page);
    await page.waitForSelector("#props:not([hidden])");
    assert.equal((await hostState(page)).selection[0].props.intent, "LineDimension");
    assert.equal(await page.locator("#props .kind").textContent(), "Distance");
    await shot("distance");
    assert.deepEqual(errors, []);
  });
});

// What `annot info` lists: per annotation its page (from 1), kind and
// rectangle [l, b, r, t].
function annots(file, env) {
  return [...run(["info", file], env).matchAll(/^\s+(\d+)\.(\d+): \/(\w+).*rect \[([-\d. ]+)\]/gm)].map((m) => ({
    page: Number(m[1]), kind: m[3], rect: m[4].split(" ").map(Number),
  }));
}

test("Move to page keeps a distance on a smaller page, as one undo step", async () => {
  const work = workFolder("props-topage", noScalePrompt);
  const pages = pagesPdf(path.join(work.dir, "pages.pdf"), [[842, 595], [420, 298]]);
  // A distance near the right of the larger page, where the smaller one ends.
  const file = path.join(work.dir, "measured.pdf");
  const script = path.join(work.dir, "distance.session");
  writeFileSync(script, "tool DISTANCE\nclick 500 450\nclick 800 450\n");
  run(["run", script, "-i", pages, "-o", file], work.env);
  const before = annots(file, work.env);
  assert.equal(before.length, 1);
  await withEditor("props-topage", file, work, async (page, shot) => {
    await page.click("#hand");
    const p = await pagePoint(page, 650, 450);
    await page.mouse.click(p.x, p.y, { button: "right" });
    await page.waitForSelector("#modal form.menu");
    await page.click('#modal .item:text("Move to page…")');
    await page.waitForSelector('#modal input[data-element="lineEditPage"]');
    await page.fill('#modal input[data-element="lineEditPage"]', "2");
    await page.keyboard.press("Enter");
    await page.waitForSelector("#modal", { state: "hidden" });
    await settled(page);
    assert.equal((await hostState(page)).undo, 1, "the move and the fit are one step");
    await saved(page, 1);
    const [moved] = annots(file, work.env);
    assert.equal(moved.page, 2);
    const [l, b, r, t] = moved.rect;
    assert.ok(l >= 0 && b >= 0 && r <= 420 && t <= 298, `on the page: ${moved.rect}`);
    // It fits, so it only moved: the same size, its right side at the page's.
    assert.ok(Math.abs(r - l - (before[0].rect[2] - before[0].rect[0])) < 0.01, `${moved.rect} ${before[0].rect}`);
    assert.ok(r > 419, `moved in as little as it takes: ${moved.rect}`);
    await page.click("#undo");
    await settled(page);
    await saved(page, 2);
    const [back] = annots(file, work.env);
    assert.equal(back.page, 1);
    back.rect.forEach((v, i) => assert.ok(Math.abs(v - before[0].rect[i]) < 0.01, `${back.rect} ${before[0].rect}`));
  });
});
