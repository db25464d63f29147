// The Comment tab of annot serve, used as a person would: a rectangle, a
// pen stroke and a text box drawn on the floor plan, and a word of a page of
// text highlighted, each then saved and read back from the file.
import { test } from "node:test";
import assert from "node:assert/strict";
import path from "node:path";
import { workFolder, run, withEditor, settled, clickAt, pagePoint, hostState, writePdf, viewInks } from "./support.mjs";

// The annotations `annot info` lists: [{ subtype, intent, rect }].
function annots(file, env) {
  return [...run(["info", file], env).matchAll(/\/(\w+) intent (\S+) rect \[([-\d. ]+)\]/g)].map((m) => ({
    subtype: m[1], intent: m[2], rect: m[3].split(" ").map(Number),
  }));
}

// A letter-size page with one line of Helvetica at 12 pt from (72, 700).
function textPdf(file) {
  const content = "BT /F1 12 Tf 72 700 Td (The quick brown fox jumps over the lazy dog.) Tj ET";
  const objects = ["<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [4 0 R] /Count 1 >>",
    "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> /Contents 5 0 R >>",
    `<< /Length ${content.length} >>\nstream\n${content}\nendstream`];
  return writePdf(file, objects);
}

async function drag(page, from, to, steps = 6) {
  const a = await pagePoint(page, ...from), b = await pagePoint(page, ...to);
  await page.mouse.move(a.x, a.y);
  await page.mouse.down();
  await page.mouse.move(b.x, b.y, { steps });
  await page.mouse.up();
  await settled(page);
}

async function arm(page, button, tool) {
  await page.locator(".tabs .tab", { hasText: "Comment" }).click();
  await page.click(`button.control[data-id="${button}"]`);
  await settled(page);
  assert.equal((await hostState(page)).tool, tool);
  // Its button shows pressed, and only its.
  assert.deepEqual(await page.locator(".panel button.control.pressed").evaluateAll((bs) => bs.map((b) => b.dataset.id)),
    [button]);
}

test("a rectangle, a pen stroke and a text box drawn from the Comment tab", async () => {
  const work = workFolder("comment-draw");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  await withEditor("comment-draw", plan, work, async (page, shot, server, errors) => {
    await page.locator(".tabs .tab", { hasText: "Comment" }).click();
    await shot("comment-tab");
    for (const id of ["Button_Comment_Rectangle", "Button_Comment_Pen", "Button_Comment_TextBox",
      "Button_Comment_Highlight", "Button_Comment_Stamp", "Button_Comment_Attach"])
      assert.equal(await page.locator(`button.control[data-id="${id}"]`).count(), 1, id);

    await arm(page, "Button_Comment_Rectangle", "Rectangle");
    await drag(page, [150, 150], [260, 230]);
    assert.equal((await hostState(page)).undo, 1, "the rectangle is one undo step");
    await shot("rectangle");

    await arm(page, "Button_Comment_Pen", "Pen");
    await drag(page, [300, 150], [380, 220], 12);
    assert.equal((await hostState(page)).undo, 2);
    await shot("pen");

    await arm(page, "Button_Comment_TextBox", "TextBox");
    await drag(page, [150, 300], [330, 360]);
    const before = (await viewInks(page, [153, 303, 327, 357])).dark;
    // A black caret stands where the next letter goes: first at the text
    // area's left edge (the box, its border and padding: 153), then after
    // the words, 6502/1000 em of 12-point Helvetica further right.
    const caret = async () => {
      const host = (await hostState(page));
      const lines = (host.overlay || []).filter((o) => o.c === "#000000" && o.p.length === 4 && o.p[0] === o.p[2]);
      return lines.length === 1 ? { x: lines[0].p[0], scale: host.matrix[0] } : null;
    };
    const first = await caret();
    assert.ok(first, "a caret shows in the new box");
    const left = await pagePoint(page, 153, 357);
    const box = await page.locator("#overlay").boundingBox();
    assert.ok(Math.abs(first.x - (left.x - box.x)) <= 1.5, `caret at ${first.x}, the text starts at ${left.x - box.x}`);
    await page.keyboard.type("Check the wall");
    await settled(page);
    const typed = await caret();
    assert.ok(typed && Math.abs(typed.x - first.x - 6.502 * 12 * first.scale) <= 1.5,
      `the caret moved from ${first.x} to ${typed && typed.x}`);
    assert.equal((await hostState(page)).undo, 3, "typing adds no undo step of its own");
    // The letters show while they are typed, not only once the box is left.
    const after = (await viewInks(page, [153, 303, 327, 357])).dark;
    assert.ok(after > before + 40, `dark pixels in the text box: ${before} before typing, ${after} after`);
    await shot("text-box");
    await page.keyboard.press("Escape");
    await settled(page);
    assert.equal(await caret(), null, "the caret goes when the typing ends");

    await page.click("#save");
    await page.waitForFunction(() => window.annot.state.host.saves === 1);
    await settled(page);
    await shot("saved");
    const made = annots(plan, work.env);
    assert.deepEqual(made.map((a) => a.subtype), ["Square", "Ink", "FreeText"]);
    // The rectangle spans the drag within a pixel of the view.
    const r = made[0].rect;
    [150, 150, 260, 230].forEach((v, i) => assert.ok(Math.abs(r[i] - v) <= 1.5, `rectangle ${r}`));
    const text = run(["xfdf", "export", plan], work.env);
    assert.match(text, /<contents>Check the wall<\/contents>/, text);
    assert.match(text, /<ink [^>]*title="[^"]+"/, "the stroke is signed by the user");
    assert.deepEqual(errors, []);
    assert.equal(await server.stop(), 0);
  });
});

test("a word of a page of text highlighted by dragging across it", async () => {
  const work = workFolder("comment-highlight");
  const file = textPdf(path.join(work.dir, "text.pdf"));
  await withEditor("comment-highlight", file, work, async (page, shot, server, errors) => {
    await arm(page, "Button_Comment_Highlight", "Highlight");
    // "quick" runs from 96.01 to 124.02 at 12 pt (Helvetica's widths).
    await drag(page, [97, 703], [123, 703]);
    assert.equal((await hostState(page)).undo, 1);
    await shot("highlighted");
    await page.click("#save");
    await page.waitForFunction(() => window.annot.state.host.saves === 1);
    const made = annots(file, work.env);
    assert.equal(made.length, 1);
    assert.equal(made[0].subtype, "Highlight");
    const [l, , r] = made[0].rect;
    assert.ok(Math.abs(l - 96.012) < 0.5 && Math.abs(r - 124.02) < 0.5, `the highlight covers "quick": ${made[0].rect}`);
    assert.deepEqual(errors, []);
    assert.equal(await server.stop(), 0);
  });
});

test("the Comment tab in German: its tab, panels, buttons, tooltips, stamps and prompts", async () => {
  const work = workFolder("comment-de");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  await withEditor("comment-de", plan, work, async (page, shot, server, errors) => {
    assert.deepEqual(await page.locator(".tabs .tab").allTextContents(), ["Kommentar", "Überprüfen"]);
    await page.locator(".tabs .tab", { hasText: "Kommentar" }).click();
    assert.deepEqual(await page.locator(".panel .caption").allTextContents(),
      ["Formen", "Zeichnen", "Text", "Textmarkierung", "Stempel und Dateien"]);
    const titles = async (ids) => Promise.all(ids.map((id) => page.locator(`button.control[data-id="${id}"]`).textContent()));
    assert.deepEqual(await titles(["Button_Comment_Rectangle", "Button_Comment_Ellipse", "Button_Comment_Line",
      "Button_Comment_Arrow", "Button_Comment_TextBox", "Button_Comment_Highlight", "Button_Comment_Underline",
      "Button_Comment_StrikeOut", "Button_Comment_Stamp", "Button_Comment_Attach"]),
    ["Rechteck", "Ellipse", "Linie", "Pfeil", "Textfeld", "Hervorheben", "Unterstreichen", "Durchstreichen", "Stempel",
      "Datei anhängen"]);
    assert.equal(await page.locator('button.control[data-id="Button_Comment_Rectangle"]').getAttribute("title"),
      "Ein Rechteck zeichnen; mit Umschalt ein Quadrat");
    assert.deepEqual(await titles(["Button_Comment_Stamp_Approved", "Button_Comment_Stamp_NotApproved",
      "Button_Comment_StampCustom"]), ["Genehmigt", "Nicht genehmigt", "Eigener…"]);
    await shot("comment-tab-de");

    await page.click('button.control[data-id="Button_Comment_Rectangle"]');
    await settled(page);
    assert.equal(await page.locator("#prompt").textContent(),
      "Von einer Ecke zur gegenüberliegenden ziehen; mit Umschalt bleiben die Seiten gleich");
    const a = await pagePoint(page, 150, 150), b = await pagePoint(page, 260, 230);
    await page.mouse.move(a.x, a.y);
    await page.mouse.down();
    await page.mouse.move(b.x, b.y, { steps: 6 });
    await page.mouse.up();
    await settled(page);
    assert.equal((await hostState(page)).undo, 1, "the rectangle is drawn");
    // Selected, its panel speaks German too, its subject the tool's title.
    await page.click("#hand");
    await clickAt(page, 205, 190);
    await page.waitForSelector("#props:not([hidden])");
    assert.equal(await page.locator("#props h3").evaluate((h) => h.firstChild.textContent), "Eigenschaften");
    assert.equal(await page.locator("#props .kind").textContent(), "Rechteck");
    assert.equal(await page.locator("#props button.close").getAttribute("title"), "Schließen");
    assert.equal(await page.locator('#props input[name="subject"]').inputValue(), "Rechteck");
    await shot("rectangle-de");
    assert.deepEqual(errors, []);
  }, { lang: "de-DE" });
});
