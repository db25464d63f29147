// Stamps and files from the Comment tab of annot serve: a file of the
// person's own attached through the browser's file picker, then saved and
// read back from the file with qpdf.
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import path from "node:path";
import { workFolder, run, withEditor, settled, clickAt, hostState } from "./support.mjs";

// The file uncompressed by qpdf (QDF form), so that embedded files read as
// they are.
function uncompressed(file) {
  return execFileSync("qpdf", ["--qdf", "--object-streams=disable", file, "-"], { encoding: "latin1" });
}

test("a text file attached through the browser's file picker, saved, then undone", async () => {
  const work = workFolder("comment-attach");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  const text = "Room 12: the window frame is cracked.\nCheck before painting.\n";
  await withEditor("comment-attach", plan, work, async (page, shot, server, errors) => {
    await page.locator(".tabs .tab", { hasText: "Comment" }).click();
    await page.click('button.control[data-id="Button_Comment_Attach"]');
    await settled(page);
    assert.equal((await hostState(page)).tool, "Attach");
    assert.equal(await page.locator("#prompt").textContent(), "Click where the file goes, then choose the file");

    // A press on the page opens the picker; the file chosen lands there.
    const picker = page.waitForEvent("filechooser");
    await clickAt(page, 300, 200);
    const chooser = await picker;
    await shot("picker-open");
    await chooser.setFiles({ name: "window notes.txt", mimeType: "text/plain", buffer: Buffer.from(text) });
    await page.waitForFunction(() => window.annot.state.host.undo === 1);
    await settled(page);
    await shot("attached");
    assert.match(await page.locator("#status").textContent(), /Attached “window notes\.txt”/);
    // Left selected.
    const host = await hostState(page);
    assert.equal(host.selection.length, 1);
    assert.equal(host.selection[0].props.subtype, "FileAttachment");

    await page.click("#save");
    await page.waitForFunction(() => window.annot.state.host.saves === 1);
    let saved = uncompressed(plan);
    assert.match(saved, /\/Subtype \/FileAttachment/);
    assert.match(saved, /\/UF \(window notes\.txt\)/);
    assert.match(saved, /\/Subtype \/text(#2[fF]|\/)plain/);
    assert.ok(saved.includes(`stream\n${text}`), "the embedded file holds the file's bytes");
    // Its icon sits where the page was pressed: the pin's top left corner.
    const rect = run(["info", plan], work.env).match(/\/FileAttachment intent \S+ rect \[([-\d. ]+)\]/);
    assert.ok(rect, "annot info lists the attachment");
    const [l, , , t] = rect[1].split(" ").map(Number);
    assert.ok(Math.abs(l - 300) <= 1.5 && Math.abs(t - 200) <= 1.5, `the icon at ${rect[1]}`);

    await page.keyboard.press("Control+z");
    await page.waitForFunction(() => window.annot.state.host.undo === 0);
    await settled(page);
    await shot("undone");
    await page.click("#save");
    await page.waitForFunction(() => window.annot.state.host.saves === 2);
    saved = uncompressed(plan);
    assert.doesNotMatch(saved, /FileAttachment/);
    assert.doesNotMatch(run(["info", plan], work.env), /FileAttachment/);
    assert.deepEqual(errors, []);
    assert.equal(await server.stop(), 0);
  });
});

test("a stamp of one's own typed in the Stamps menu's dialog and placed", async () => {
  const work = workFolder("comment-custom-stamp");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  await withEditor("comment-custom-stamp", plan, work, async (page, shot, server, errors) => {
    await page.locator(".tabs .tab", { hasText: "Comment" }).click();
    await page.click('button.control[data-id="Button_Comment_StampCustom"]');
    await page.waitForSelector('#modal form[data-name="CustomStamp"]');
    const field = page.locator('#modal [data-element="lineEditStampText"]');
    assert.equal(await field.inputValue(), "", "no text of one's own yet");
    await field.fill("Checked by Jo");
    await shot("dialog");
    await page.locator("#modal .buttons button", { hasText: "OK" }).click();
    await page.waitForSelector("#modal", { state: "hidden" });
    await settled(page);
    assert.equal((await hostState(page)).tool, "Stamp", "the Stamp tool is armed with it");
    assert.equal(await page.locator("#prompt").textContent(), "Click where the stamp goes");

    await clickAt(page, 420, 300);
    await page.waitForFunction(() => window.annot.state.host.undo === 1);
    await settled(page);
    await shot("stamped");
    await page.click("#save");
    await page.waitForFunction(() => window.annot.state.host.saves === 1);
    const text = execFileSync("pdftotext", ["-layout", plan, "-"], { encoding: "utf8" });
    assert.match(text, /CHECKED BY JO/);
    assert.deepEqual(errors, []);
    assert.equal(await server.stop(), 0);
  });
});
