// The view as the page composes it (the page's content drawn once, its
// annotations drawn apart after each change) against the same page drawn
// whole by pdf.js from the document's current bytes.
import { test } from "node:test";
import assert from "node:assert/strict";
import path from "node:path";
import { workFolder, run, withEditor, settled, clickAt, pagesPdf, noScalePrompt, writePdf } from "./support.mjs";

// In the page: the view as shown (content under annotations), the page
// drawn whole at the same view, and how many pixels two pictures differ
// in by more than antialiasing does (a channel off by more than 64).
function installChecks() {
  const token = new URL(location.href).searchParams.get("t");
  const headers = { "X-Annot-Token": token };
  const pixels = (canvas) => canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height);
  window.viewCheck = {
    shown() {
      const page = document.getElementById("page"), annots = document.getElementById("annots");
      const canvas = document.createElement("canvas");
      canvas.width = page.width;
      canvas.height = page.height;
      const ctx = canvas.getContext("2d");
      ctx.drawImage(page, 0, 0);
      ctx.drawImage(annots, 0, 0);
      return pixels(canvas);
    },
    async whole() {
      const pdfjs = await import(`/app/pdf.min.mjs?t=${token}`);
      const host = window.annot.state.host;
      const data = new Uint8Array(await (await fetch(`/api/document?t=${token}&check=1`, { headers })).arrayBuffer());
      const doc = await pdfjs.getDocument({ data, isEvalSupported: false }).promise;
      const page = await doc.getPage(host.page + 1);
      const viewport = page.getViewport({ scale: host.zoom, rotation: (page.rotate + host.rotation) % 360 });
      const canvas = document.createElement("canvas");
      canvas.width = Math.round(viewport.width);
      canvas.height = Math.round(viewport.height);
      await page.render({ canvasContext: canvas.getContext("2d"), viewport }).promise;
      await doc.destroy();
      return pixels(canvas);
    },
    differ(a, b) {
      if (a.width !== b.width || a.height !== b.height) return { size: `${a.width}x${a.height} vs ${b.width}x${b.height}` };
      let count = 0;
      for (let i = 0; i < a.data.length; i += 4)
        for (let c = 0; c < 3; c++)
          if (Math.abs(a.data[i + c] - b.data[i + c]) > 64) { count++; break; }
      return { count, total: a.width * a.height };
    },
    // Pixels of the annotations' layer that are not transparent.
    layerInk() {
      const d = pixels(document.getElementById("annots")).data;
      let n = 0;
      for (let i = 3; i < d.length; i += 4) if (d[i]) n++;
      return n;
    },
    snapshots: {},
  };
}

// The shown view against the page drawn whole: at most a few pixels of a
// thousand off (edges drawn with other antialiasing). Keeps the view as
// `name` for later comparisons.
async function assertShownIsWhole(page, name) {
  const result = await page.evaluate(async (name) => {
    const check = window.viewCheck;
    const shown = check.shown();
    check.snapshots[name] = shown;
    return check.differ(shown, await check.whole());
  }, name);
  assert.equal(result.size, undefined, `${name}: the view and the whole page differ in size: ${result.size}`);
  assert.ok(result.count <= result.total * 0.002, `${name}: ${result.count} of ${result.total} pixels differ from the page drawn whole`);
}

async function differingPixels(page, a, b) {
  return page.evaluate(([a, b]) => window.viewCheck.differ(window.viewCheck.snapshots[a], window.viewCheck.snapshots[b]).count, [a, b]);
}

test("a change is drawn by the page's annotations alone, as the whole page would show it, and its undo leaves nothing", async () => {
  const work = workFolder("view-layers");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "--ink", "-o", plan], work.env);
  const documents = [], layers = [];
  await withEditor("view-layers", plan, work, async (page, shot, server, errors) => {
    page.on("request", (r) => {
      const url = r.url();
      if (url.includes("/api/document") && !url.includes("check=1")) documents.push(url);
      if (url.includes("/api/annots")) layers.push(url);
    });
    await page.evaluate(installChecks);
    await assertShownIsWhole(page, "opened");
    assert.ok(await page.evaluate(() => window.viewCheck.layerInk()) > 0, "the plan's ink stroke is drawn on the annotations' layer");
    await shot("opened");

    // A distance across the living room.
    await page.click('button.control[data-id="Button_Distance"]');
    await settled(page);
    await clickAt(page, 97.01, 200);
    await clickAt(page, 476.85, 200);
    await settled(page);
    assert.equal((await page.evaluate(() => window.annot.state.host)).undo, 1);
    await shot("measured");
    await assertShownIsWhole(page, "measured");
    assert.ok(await differingPixels(page, "opened", "measured") > 100, "the measurement shows");
    assert.ok(layers.length >= 2, "the annotations were fetched apart after the change");
    assert.equal(documents.length, 0, `the document's bytes were fetched only when the page opened: ${documents}`);

    // Undone, the view is the one before, pixel for pixel.
    await page.click("#undo");
    await settled(page);
    await shot("undone");
    await assertShownIsWhole(page, "undone");
    assert.equal(await differingPixels(page, "opened", "undone"), 0, "nothing of the measurement stays drawn");

    // Another zoom or turn draws the content again from the bytes already
    // loaded.
    await page.click("#zoomIn");
    await settled(page);
    await shot("zoomed");
    await assertShownIsWhole(page, "zoomed");
    await page.click("#redo");
    await settled(page);
    await assertShownIsWhole(page, "redone-zoomed");
    await page.click("#rotate");
    await settled(page);
    await shot("turned");
    await assertShownIsWhole(page, "turned");
    assert.equal(documents.length, 0, `no view or change fetched the document's bytes again: ${documents}`);
    assert.deepEqual(errors, []);
  });
});

// One page with a text field: the page's annotations cannot be drawn apart
// from the document's form, so the page is drawn whole after each change.
function formPdf(file) {
  const appearance = "0 0 1 rg 0 0 120 20 re f";
  const objects = [
    "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] >> >>",
    "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 600 400] /Annots [4 0 R] >>",
    "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /Rect [40 300 160 320] /P 3 0 R /AP << /N 5 0 R >> >>",
    `<< /Type /XObject /Subtype /Form /BBox [0 0 120 20] /Length ${appearance.length} >>\nstream\n${appearance}\nendstream`,
  ];
  return writePdf(file, objects);
}

test("a page whose annotations cannot be drawn apart is drawn whole, and shows each change and its undo", async () => {
  const work = workFolder("view-whole", noScalePrompt);
  const file = formPdf(path.join(work.dir, "form.pdf"));
  const refused = [];
  await withEditor("view-whole", file, work, async (page, shot, server, errors) => {
    page.on("response", (r) => { if (r.url().includes("/api/annots") && r.status() === 422) refused.push(r.url()); });
    await page.evaluate(installChecks);
    await assertShownIsWhole(page, "opened");
    await page.click('button.control[data-id="Button_Distance"]');
    await settled(page);
    await clickAt(page, 100, 100);
    await clickAt(page, 500, 100);
    await settled(page);
    await shot("measured");
    await assertShownIsWhole(page, "measured");
    assert.ok(await differingPixels(page, "opened", "measured") > 100, "the measurement shows");
    assert.equal(await page.evaluate(() => window.viewCheck.layerInk()), 0, "nothing is drawn on the annotations' layer");
    assert.ok(refused.length >= 1, "the server refused the annotations apart");
    await page.click("#undo");
    await settled(page);
    await assertShownIsWhole(page, "undone");
    assert.equal(await differingPixels(page, "opened", "undone"), 0, "nothing of the measurement stays drawn");
    assert.deepEqual(errors, []);
  });
});

test("a page's thumbnail shows a change to its annotations and its undo", async () => {
  const work = workFolder("view-thumbs", noScalePrompt);
  const file = pagesPdf(path.join(work.dir, "pages.pdf"), [[600, 400], [600, 400]]);
  // Pixels of the first thumbnail that are not white.
  const inked = (page) => page.evaluate(() => {
    const canvas = document.querySelector('#thumbs .thumb[data-page="0"] canvas');
    const d = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
    let n = 0;
    for (let i = 0; i < d.length; i += 4) if (d[i] < 250 || d[i + 1] < 250 || d[i + 2] < 250) n++;
    return n;
  });
  await withEditor("view-thumbs", file, work, async (page, shot, server, errors) => {
    // A canvas sized but not drawn yet reads as transparent black: wait
    // for the drawing, which must leave the empty page white.
    await page.waitForFunction(() => {
      const canvas = document.querySelector('#thumbs .thumb[data-page="0"] canvas');
      if (!canvas || canvas.height === 0) return false;
      const d = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
      for (let i = 0; i < d.length; i += 4) if (d[i] < 250 || d[i + 1] < 250 || d[i + 2] < 250) return false;
      return true;
    }, null, { timeout: 10000 });
    assert.equal(await inked(page), 0, "the empty page's thumbnail is white");
    await page.click('button.control[data-id="Button_Distance"]');
    await settled(page);
    await clickAt(page, 100, 200);
    await clickAt(page, 500, 200);
    await settled(page);
    await page.waitForFunction(() => {
      const canvas = document.querySelector('#thumbs .thumb[data-page="0"] canvas');
      const d = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
      for (let i = 0; i < d.length; i += 4) if (d[i + 1] < 250) return true;
      return false;
    }, null, { timeout: 10000 });
    await shot("measured");
    assert.ok(await inked(page) > 10, "the measurement shows in the thumbnail");
    await page.click("#undo");
    await settled(page);
    await page.waitForFunction(() => {
      const canvas = document.querySelector('#thumbs .thumb[data-page="0"] canvas');
      const d = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
      for (let i = 0; i < d.length; i += 4) if (d[i + 1] < 250) return false;
      return true;
    }, null, { timeout: 10000 });
    assert.equal(await inked(page), 0, "nothing of the measurement stays in the thumbnail");
    assert.deepEqual(errors, []);
  });
});
