// The selection a person sees and works with in annot serve: grips and
// cursors, the outline that follows a drag, Ctrl+A/C/V, Bring to front and
// Move to page from the context menu, and the properties panel.
import { test } from "node:test";
import assert from "node:assert/strict";
import { writeFileSync } from "node:fs";
import path from "node:path";
import { workFolder, run, withEditor, settled, clickAt, pagePoint, hostState, pagesPdf, noScalePrompt } from "./support.mjs";

// `file` with distances measured by a session script: [[x1, y1, x2, y2], ...]
// in page points, on page `page` (counting from 1).
function measured(work, file, lines, page = 1) {
  const out = path.join(work.dir, "measured.pdf");
  const script = path.join(work.dir, "distance.session");
  writeFileSync(script, `page ${page}\n` + lines.map(([a, b, c, d]) => `tool DISTANCE\nclick ${a} ${b}\nclick ${c} ${d}\n`).join(""));
  run(["run", script, "-i", file, "-o", out], work.env);
  return out;
}

function plan(work) {
  const file = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", file], work.env);
  return file;
}

// What `annot info` lists: per annotation its page (from 1), place, kind and
// rectangle [l, b, r, t].
function annots(file, env) {
  return [...run(["info", file], env).matchAll(/^\s+(\d+)\.(\d+): \/(\w+).*rect \[([-\d. ]+)\]/gm)].map((m) => ({
    page: Number(m[1]), index: Number(m[2]), kind: m[3], rect: m[4].split(" ").map(Number),
  }));
}

async function saved(page, n) {
  await page.click("#save");
  await page.waitForFunction((k) => window.annot.state.host.saves === k, n);
}

async function menuItem(page, x, y, text) {
  const p = await pagePoint(page, x, y);
  await page.mouse.click(p.x, p.y, { button: "right" });
  await page.waitForSelector("#modal form.menu");
  await page.click(`#modal .item:text("${text}")`);
}

// Counts pixels of the colour drawn for a dragged outline (#1a73e8) in the
// overlay canvas between two device points of the page view (a pixel
// either side across).
async function outlinePixels(page, from, to) {
  return page.evaluate(([a, b]) => {
    const c = document.getElementById("overlay");
    const d = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;
    let n = 0;
    for (let x = Math.min(a.x, b.x); x <= Math.max(a.x, b.x); x++)
      for (let y = Math.min(a.y, b.y) - 1; y <= Math.max(a.y, b.y) + 1; y++) {
        const i = 4 * (y * c.width + x);
        // Slanted lines are smoothed: their pixels keep the colour but
        // lose opacity, which rounds the colour a little.
        if (d[i + 3] > 0 && Math.abs(d[i] - 26) < 40 && Math.abs(d[i + 1] - 115) < 40 && Math.abs(d[i + 2] - 232) < 40) n++;
      }
    return n;
  }, [from, to]);
}

// Device pixels of the overlay for a page point.
async function devicePoint(page, x, y) {
  const m = await page.evaluate(() => window.annot.state.host.matrix);
  return { x: Math.round(m[0] * x + m[2] * y + m[4]), y: Math.round(m[1] * x + m[3] * y + m[5]) };
}

test("a selected distance shows grips on its ends, cursors tell vertex from move, and a drag shows its outline before it lands", async () => {
  const work = workFolder("grips");
  const file = measured(work, plan(work), [[100, 100, 300, 100]]);
  await withEditor("grips", file, work, async (page, shot) => {
    await page.click("#hand");
    await clickAt(page, 200, 100);
    await settled(page);
    const sel = (await hostState(page)).selection;
    assert.equal(sel.length, 1);
    // The grips stand on the measured points, which the view's matrix puts
    // at these device pixels.
    const a = await devicePoint(page, 100, 100), b = await devicePoint(page, 300, 100);
    assert.deepEqual(sel[0].points, [a.x, a.y, b.x, b.y]);
    const gripColour = await page.evaluate(([p]) => {
      const d = document.getElementById("overlay").getContext("2d").getImageData(p.x, p.y, 1, 1).data;
      return [d[0], d[1], d[2]];
    }, [a]);
    assert.deepEqual(gripColour, [26, 115, 232], "a filled grip is drawn on the first end");
    await shot("grips");

    const end = await pagePoint(page, 100, 100), middle = await pagePoint(page, 200, 100);
    await page.mouse.move(end.x, end.y);
    assert.equal(await page.evaluate(() => document.getElementById("overlay").style.cursor), "crosshair");
    await page.mouse.move(middle.x, middle.y + 2);
    assert.equal(await page.evaluate(() => document.getElementById("overlay").style.cursor), "move");

    // Halfway through a drag of the body 40 px down, the outline stands
    // there already while the annotation itself has not moved.
    await page.mouse.down();
    for (let i = 1; i <= 4; i++) await page.mouse.move(middle.x, middle.y + 2 + 10 * i);
    await page.evaluate(() => window.annot.flush());
    assert.equal(await page.evaluate(() => document.getElementById("overlay").dataset.dragging), "body");
    assert.ok((await outlinePixels(page, { x: a.x, y: a.y + 40 }, { x: b.x, y: b.y + 40 })) > 50,
      "the dragged line's outline is drawn 40 px lower");
    assert.equal((await hostState(page)).undo, 0, "nothing has changed yet");
    await shot("dragging");
    await page.mouse.up();
    await settled(page);
    assert.equal((await hostState(page)).undo, 1);
    assert.equal(await page.evaluate(() => document.getElementById("overlay").dataset.dragging), "");
    await shot("dropped");

    // A grip drags its point alone: the outline runs from the other end to
    // the pointer.
    const [x1, y1, x2, y2] = (await hostState(page)).selection[0].points;
    const box = await page.locator("#overlay").boundingBox();
    await page.mouse.move(box.x + x2, box.y + y2);
    await page.mouse.down();
    for (let i = 1; i <= 4; i++) await page.mouse.move(box.x + x2, box.y + y2 - 15 * i);
    await page.evaluate(() => window.annot.flush());
    assert.equal(await page.evaluate(() => document.getElementById("overlay").dataset.dragging), "vertex");
    await shot("vertex");
    const mid = { x: Math.round((x1 + x2) / 2), y: Math.round((y1 + y2 - 60) / 2) };
    assert.ok((await outlinePixels(page, { x: mid.x - 3, y: mid.y }, { x: mid.x + 3, y: mid.y })) > 0,
      `the outline passes halfway between the fixed end and the pointer, ${JSON.stringify([x1, y1, x2, y2, mid])}`);
    await page.mouse.up();
    await settled(page);
    assert.equal((await hostState(page)).undo, 2);
    const [, , nx2, ny2] = (await hostState(page)).selection[0].points;
    assert.ok(Math.abs(nx2 - x2) <= 1 && Math.abs(ny2 - (y2 - 60)) <= 1, "the end landed under the pointer");
  });
});

test("Ctrl+A selects the page, Ctrl+C and Ctrl+V paste copies offset and selected in one undo step", async () => {
  const work = workFolder("paste");
  const file = measured(work, plan(work), [[100, 100, 300, 100], [100, 200, 200, 250]]);
  await withEditor("paste", file, work, async (page, shot) => {
    await page.click("#hand");
    await page.locator("#overlay").focus();
    await page.keyboard.press("Control+a");
    await settled(page);
    assert.equal((await hostState(page)).selection.length, 2);
    await page.keyboard.press("Control+c");
    await page.keyboard.press("Control+v");
    await settled(page);
    let host = await hostState(page);
    assert.equal(host.undo, 1, "the paste is one undo step");
    assert.equal(host.selection.length, 2, "the pasted copies are selected");
    await shot("pasted");
    await saved(page, 1);
    const list = annots(file, work.env);
    assert.equal(list.length, 4);
    // Each copy lies 10 pt right and 10 pt down of its original.
    for (let i = 0; i < 2; i++) {
      const o = list[i].rect, c = list[i + 2].rect;
      [10, -10, 10, -10].forEach((d, k) => assert.ok(Math.abs(c[k] - o[k] - d) < 0.02, `copy ${c} of ${o}`));
    }
    const names = [...run(["xfdf", "export", file], work.env).matchAll(/name="([^"]+)"/g)].map((m) => m[1]);
    assert.equal(new Set(names).size, 4, "every copy has a name of its own");

    // Everything selected goes with one Delete, and one undo brings it all back.
    await page.locator("#overlay").focus();
    await page.keyboard.press("Control+a");
    await settled(page);
    assert.equal((await hostState(page)).selection.length, 4);
    await page.keyboard.press("Delete");
    await settled(page);
    host = await hostState(page);
    assert.equal(host.undo, 2, "the delete of four is one step");
    assert.deepEqual(host.selection, []);
    assert.ok(await page.locator("#props").isHidden(), "no panel without a selection");
    await shot("deleted");
    await saved(page, 2);
    assert.equal(annots(file, work.env).length, 0);
    await page.click("#undo");
    await settled(page);
    await saved(page, 3);
    assert.equal(annots(file, work.env).length, 4, "undo of the delete brings all four back");

    await page.click("#undo");
    await settled(page);
    await saved(page, 4);
    assert.equal(annots(file, work.env).length, 2, "undo of the paste takes both copies away");
    host = await hostState(page);
    assert.equal(host.undo, 0);
  });
});

test("Bring to front from the context menu puts the annotation last on its page, and undo puts it back", async () => {
  const work = workFolder("front");
  const file = measured(work, plan(work), [[100, 100, 300, 100], [100, 200, 200, 250]]);
  await withEditor("front", file, work, async (page, shot) => {
    await page.click("#hand");
    await menuItem(page, 200, 100, "Bring to front");
    await settled(page);
    assert.equal((await hostState(page)).undo, 1);
    await shot("front");
    await saved(page, 1);
    let list = annots(file, work.env);
    assert.deepEqual(list.map((a) => a.rect[3] < 150), [false, true], "the first distance is drawn last now");
    await page.click("#undo");
    await settled(page);
    await saved(page, 2);
    list = annots(file, work.env);
    assert.deepEqual(list.map((a) => a.rect[3] < 150), [true, false]);
  });
});

test("Move to page asks for the page, moves the distance there as one undo step, and undo brings it back", async () => {
  const work = workFolder("topage", noScalePrompt);
  const pages = pagesPdf(path.join(work.dir, "pages.pdf"), [[612, 792], [612, 792], [612, 792]]);
  // Near the top of the page, which the view shows first.
  const file = measured(work, pages, [[100, 600, 300, 600]]);
  await withEditor("topage", file, work, async (page, shot) => {
    await page.click("#hand");
    await menuItem(page, 200, 600, "Move to page…");
    await page.waitForSelector('#modal input[data-element="lineEditPage"]');
    await shot("asked");
    await page.fill('#modal input[data-element="lineEditPage"]', "3");
    await page.keyboard.press("Enter");
    await page.waitForSelector("#modal", { state: "hidden" });
    await settled(page);
    assert.equal((await hostState(page)).undo, 1);
    await saved(page, 1);
    assert.deepEqual(annots(file, work.env).map((a) => a.page), [3]);
    await page.click("#undo");
    await settled(page);
    await saved(page, 2);
    assert.deepEqual(annots(file, work.env).map((a) => a.page), [1]);
  });
});

test("the properties panel shows the selection's colour and label; a change is one undo step and shows at once", async () => {
  const work = workFolder("props");
  const file = measured(work, plan(work), [[100, 100, 300, 100]]);
  await withEditor("props", file, work, async (page, shot) => {
    await page.click("#hand");
    assert.ok(await page.locator("#props").isHidden(), "no panel without a selection");
    await clickAt(page, 200, 100);
    await settled(page);
    await page.waitForSelector("#props:not([hidden])");
    const before = (await hostState(page)).selection[0].props;
    assert.equal(await page.inputValue('#props input[name="color"]'), before.color.toLowerCase());
    await shot("panel");

    assert.notEqual(before.color, "#0000FF");
    await page.locator('#props input[name="color"]').evaluate((el) => {
      el.value = "#0000ff";
      el.dispatchEvent(new Event("change"));
    });
    await settled(page);
    let host = await hostState(page);
    assert.equal(host.undo, 1, "the colour is one undo step");
    assert.equal(host.selection[0].props.color, "#0000FF");
    assert.equal(await page.inputValue('#props input[name="color"]'), "#0000ff", "the panel shows the new colour");

    await page.fill('#props input[name="label"]', "Hall");
    await page.keyboard.press("Enter");
    await settled(page);
    host = await hostState(page);
    assert.equal(host.undo, 2, "the label is one undo step");
    assert.equal(host.selection[0].props.label, "Hall");
    await shot("changed");
    await saved(page, 1);
    const xfdf = run(["xfdf", "export", file], work.env);
    assert.match(xfdf, /color="#0000FF"/);
    assert.match(xfdf, /label="Hall"/);

    await page.click("#undo");
    await page.click("#undo");
    await settled(page);
    host = await hostState(page);
    assert.equal(host.selection[0].props.label, "");
    assert.equal(host.selection[0].props.color, before.color);
    assert.equal(await page.inputValue('#props input[name="label"]'), "", "the panel follows undo");
  });
});
