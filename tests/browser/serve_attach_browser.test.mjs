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
