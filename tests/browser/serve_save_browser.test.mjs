// Saving from the page when another program wrote the file, and the page
// when the server has stopped: what a person sees and can do.
import { test } from "node:test";
import assert from "node:assert/strict";
import { existsSync, writeFileSync } from "node:fs";
import path from "node:path";
import { workFolder, run, withEditor, settled, clickAt } from "./support.mjs";

async function measureAWall(page) {
  await page.click('button.control[data-id="Button_Distance"]');
  await clickAt(page, 97.01, 107.01);
  await clickAt(page, 476.85, 107.01);
  await settled(page);
}

test("a save over a file another program changed is refused; a copy or a reload is offered", async () => {
  const work = workFolder("conflict");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  await withEditor("conflict", plan, work, async (page, shot, server, errors) => {
    assert.equal(await page.locator("#unsaved").isVisible(), false);
    await measureAWall(page);
    assert.equal(await page.locator("#unsaved").isVisible(), true, "the unsaved marker shows");
    assert.match(await page.title(), /^● plan\.pdf/);
    await shot("measured");

    // Meanwhile another program adds an area to the file.
    const script = path.join(work.dir, "area.session");
    writeFileSync(script, "tool Area\nclick 100 100\nclick 172 100\nclick 172 172\ndblclick 100 172\n");
    run(["run", script, "-i", plan, "-o", plan], work.env);

    await page.click("#save");
    const dialog = page.locator("#notice .dialog.conflict");
    await dialog.waitFor();
    assert.match(await dialog.textContent(), /plan\.pdf was changed by another program/);
    assert.match(await dialog.textContent(), /nothing was saved/);
    await shot("conflict");

    await dialog.locator('button[data-action="copy"]').click();
    await page.waitForFunction(() => /plan-copy\.pdf/.test(document.getElementById("status").textContent));
    assert.ok(existsSync(path.join(work.dir, "plan-copy.pdf")), "the copy is beside the file");
    assert.equal(await page.locator("#unsaved").isVisible(), true, "the file itself still lacks the distance");
    await shot("copied");

    await page.click("#save");
    await dialog.waitFor();
    await dialog.locator('button[data-action="reload"]').click();
    // Reloading drops the changes made here: it asks first.
    assert.match(await dialog.textContent(), /changes made here \(1 step\) are dropped/);
    await shot("reload-asks");
    await dialog.locator('button[data-action="confirm-reload"]').click();
    await page.waitForFunction(() => !window.annot.state.host.unsaved && window.annot.state.host.undo === 0);
    await settled(page);
    assert.equal(await page.locator("#unsaved").isVisible(), false);
    await shot("reloaded");
    assert.deepEqual(errors, []);
    // With nothing unsaved the page is left without a question.
    const asked = [];
    page.on("dialog", (d) => { asked.push(d.type()); d.dismiss(); });
    await page.goto("about:blank");
    assert.deepEqual(asked, []);
    assert.equal(await server.stop(), 0);
    // The area the other program wrote is still in the file.
    assert.match(run(["measure", "info", plan], work.env), /PolygonDimension/);
  }, { viewport: { width: 1500, height: 900 } });
});

test("when the server stops the page says so, keeps the unsaved state and asks before it is closed", async () => {
  const work = workFolder("stopped");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  await withEditor("stopped", plan, work, async (page, shot, server, errors) => {
    await measureAWall(page);
    const length = await page.locator('#values td[data-element="label_length"]').textContent();

    assert.equal(await server.stop(), 0);
    const banner = page.locator("#banner");
    await banner.waitFor();
    assert.match(await banner.textContent(), /stopped or cannot be reached/);
    assert.match(await banner.textContent(), /not saved to plan\.pdf/);
    // What was on the page stays: the value, the marker, the drawn page.
    assert.equal(await page.locator('#values td[data-element="label_length"]').textContent(), length);
    assert.equal(await page.locator("#unsaved").isVisible(), true);
    assert.ok((await page.locator("#page").boundingBox()).width > 100);
    // Saving now says the editor is gone, without an error in the page.
    await page.keyboard.press("Control+s");
    await page.evaluate(() => window.annot.flush());
    assert.equal(await banner.isVisible(), true);
    await shot("server-stopped");
    assert.deepEqual(errors, [], "no uncaught error such as 'Failed to fetch'");

    // Leaving the page with unsaved changes asks first; staying keeps it.
    const asked = [];
    page.on("dialog", (d) => { asked.push(d.type()); d.dismiss(); });
    await assert.rejects(page.goto("about:blank"), /ERR_ABORTED/);
    assert.deepEqual(asked, ["beforeunload"]);
    assert.equal(await page.locator("#banner").isVisible(), true, "the page is still there");
  }, { viewport: { width: 1500, height: 900 } });
});
