// annot serve in headless Chromium, used as a person would: the ribbon's
// buttons, clicks on the drawn page, the panels, undo, redo and save.
import { test } from "node:test";
import assert from "node:assert/strict";
import path from "node:path";
import { workFolder, run, serve, openBrowser, shooter, settled, clickAt, pagePoint, hostState } from "./support.mjs";

test("measures a wall of the floor plan with Distance and saves it", async () => {
  const work = workFolder("distance");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  const server = serve(plan, work.env, ["--lang", "en-US"]);
  const browser = await openBrowser();
  try {
    const page = await browser.newPage({ viewport: { width: 1500, height: 900 } });
    await page.goto(await server.url);
    await settled(page);
    const shot = shooter(page, "distance");
    await shot("opened");

    await page.click('button.control[data-id="Button_Distance"]');
    await settled(page);
    assert.equal((await hostState(page)).tool, "DISTANCE");
    // The measuring tool brings the contextual Format tab with it.
    assert.ok((await hostState(page)).ribbon.some((c) => c.name === "Format"), "the Format tab is listed");
    assert.equal(await page.locator(".tabs .tab", { hasText: "Format" }).count(), 1);
    // Its properties group names the figure the tool draws.
    const format = (await hostState(page)).ribbon.find((c) => c.name === "Format");
    const properties = format.children.find((g) => g.name === "Measure_Group_Properties");
    const subject = properties.children.find((c) => c.name === "Measure_Prop_Subject");
    assert.equal(subject && subject.title, "Line");
    assert.equal(subject.enabled, false);
    await shot("distance-armed");

    // Two inner corners of the living room, across it: 379.84 pt by
    // 266.45 pt, 8.18 m at the plan's 1:50.
    await clickAt(page, 97.01, 107.01);
    const half = await pagePoint(page, 300, 250);
    await page.mouse.move(half.x, half.y);
    await settled(page);
    assert.ok((await hostState(page)).overlay.length > 0, "the rubber band is drawn on the overlay");
    await shot("rubber-band");
    await clickAt(page, 476.85, 373.46);
    await settled(page);
    // The panel's Length row; the clicks land on whole pixels, so within
    // a pixel (0.02 m) of the corners.
    const length = await page.locator('#values td[data-element="label_length"]').textContent();
    const metres = Number(length.replace(",", ".").replace(/\s*m$/, ""));
    assert.ok(Math.abs(metres - 8.18) <= 0.02, `the panel shows about 8.18 m: ${length}`);
    assert.equal((await hostState(page)).undo, 1);
    await shot("measured");

    await page.click("#save");
    await page.waitForFunction(() => window.annot.state.host.saves === 1);
    await shot("saved");
    assert.equal(await server.stop(), 0);

    // The saved file holds the measurement with the value the panel showed.
    const info = run(["measure", "info", plan], work.env);
    assert.match(info, /LineDimension .*valid; length "([^"]+)"/, info);
    assert.equal(info.match(/length "([^"]+)"/)[1], length.trim(), info);
  } finally {
    await browser.close();
    await server.stop();
    work.cleanup();
  }
});

test("draws an area, undoes and redoes it, erases half an ink stroke, places a tool from the chest", async () => {
  const work = workFolder("edit");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "--ink", "-o", plan], work.env);
  run(["toolset", "create", "Review"], work.env);
  run(["toolset", "capture", plan, "1", "0", "--into", "Review"], work.env);
  const server = serve(plan, work.env, ["--lang", "en-US"]);
  const browser = await openBrowser();
  try {
    const page = await browser.newPage({ viewport: { width: 1500, height: 900 } });
    await page.goto(await server.url);
    await settled(page);
    const shot = shooter(page, "edit");

    await page.click('button.control[data-id="Button_Area"]');
    await clickAt(page, 97.01, 107.01);
    await clickAt(page, 476.85, 107.01);
    await clickAt(page, 476.85, 373.46);
    const last = await pagePoint(page, 97.01, 373.46);
    await page.mouse.dblclick(last.x, last.y);
    await settled(page);
    assert.equal((await hostState(page)).undo, 1, "the area is one undo step");
    assert.ok((await page.locator("#values td").allTextContents()).some((v) => /sq m/.test(v)));
    await shot("area");

    await page.click("#undo");
    await settled(page);
    assert.deepEqual([(await hostState(page)).undo, (await hostState(page)).redo], [0, 1]);
    await shot("undone");
    await page.click("#redo");
    await settled(page);
    assert.deepEqual([(await hostState(page)).undo, (await hostState(page)).redo], [1, 0]);
    await shot("redone");

    // The red stroke runs from x 110 to 370 near y 50; the partial eraser
    // drags over its right half.
    await page.click('button.control[data-id="Button_CNRubberPart"]');
    const from = await pagePoint(page, 245, 50), to = await pagePoint(page, 380, 50);
    await page.mouse.move(from.x, from.y);
    await page.mouse.down();
    for (let i = 1; i <= 12; i++) await page.mouse.move(from.x + ((to.x - from.x) * i) / 12, from.y + ((to.y - from.y) * i) / 12);
    await page.evaluate(() => window.annot.flush());
    const trail = (await hostState(page)).overlay.filter((item) => item.k === "line");
    assert.ok(trail.length >= 4, `the eraser's trail over the stroke is drawn: ${JSON.stringify(trail)}`);
    await shot("erasing");
    await page.mouse.up();
    await settled(page);
    assert.equal((await hostState(page)).undo, 2, "the erase is one undo step");
    await shot("half-erased");

    const tool = page.locator('#chest button.tool[data-set="Review"]').first();
    await tool.click();
    await settled(page);
    assert.equal((await hostState(page)).tool, "ANNOT_TOOLSET");
    await clickAt(page, 600, 450);
    await settled(page);
    assert.equal((await hostState(page)).undo, 3, "placing the tool is one undo step");
    await shot("tool-placed");
  } finally {
    await browser.close();
    await server.stop();
    work.cleanup();
  }
});
