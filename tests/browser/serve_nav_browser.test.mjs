// Finding one's way around a drawing in annot serve: zoom at the pointer,
// the zoom percentage, fit page and fit width, scrolling and panning, and
// turning the pages of a file with more than one.
import { test } from "node:test";
import assert from "node:assert/strict";
import path from "node:path";
import { workFolder, run, withEditor, settled, hostState, pagesPdf } from "./support.mjs";

// The page point (PDF units) under a viewport point, and back, through the
// view's matrix [a b c d e f] from device pixels of the page's canvas.
async function view(page) {
  const m = (await hostState(page)).matrix;
  const box = await page.locator("#overlay").boundingBox();
  return {
    toPage(p) {
      const x = p.x - box.x - m[4], y = p.y - box.y - m[5], det = m[0] * m[3] - m[1] * m[2];
      return { x: (m[3] * x - m[2] * y) / det, y: (m[0] * y - m[1] * x) / det };
    },
    toScreen(q) {
      return { x: box.x + m[0] * q.x + m[2] * q.y + m[4], y: box.y + m[1] * q.x + m[3] * q.y + m[5] };
    },
  };
}

const viewer = (page) => page.locator("#viewer").evaluate((v) => {
  const s = getComputedStyle(v);
  return { left: v.scrollLeft, top: v.scrollTop, scrollWidth: v.scrollWidth, scrollHeight: v.scrollHeight,
    clientWidth: v.clientWidth, clientHeight: v.clientHeight, rect: v.getBoundingClientRect().toJSON(),
    roomW: v.clientWidth - parseFloat(s.paddingLeft) - parseFloat(s.paddingRight),
    roomH: v.clientHeight - parseFloat(s.paddingTop) - parseFloat(s.paddingBottom) };
});

async function ctrlWheel(page, at, deltaY) {
  await page.mouse.move(at.x, at.y);
  await page.keyboard.down("Control");
  await page.mouse.wheel(0, deltaY);
  await page.keyboard.up("Control");
}

const near = (a, b, d) => Math.abs(a - b) <= d;

test("Ctrl+wheel zooms at the pointer, quick notches add up, a pinch's small steps zoom a little", async () => {
  const work = workFolder("nav-zoom");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  await withEditor("nav-zoom", plan, work, async (page, shot, server, errors) => {
    // A pointer off the page's corner and off the view's middle.
    const frame = (await viewer(page)).rect;
    const pointer = { x: frame.x + frame.width * 0.7, y: frame.y + frame.height * 0.6 };
    const under = (await view(page)).toPage(pointer);

    // Two notches sent before the page is drawn again end at 1.25².
    await page.mouse.move(pointer.x, pointer.y);
    await page.keyboard.down("Control");
    await page.mouse.wheel(0, -100);
    await page.mouse.wheel(0, -100);
    await page.keyboard.up("Control");
    await settled(page);
    const zoomed = await hostState(page);
    assert.ok(near(zoomed.zoom, 1.5625, 0.002), `zoom ${zoomed.zoom}`);
    let now = (await view(page)).toScreen(under);
    assert.ok(near(now.x, pointer.x, 2) && near(now.y, pointer.y, 2),
      `page point ${JSON.stringify(under)} stays under the pointer: ${JSON.stringify([pointer, now])}`);
    assert.equal(await page.locator("#zoomPct").inputValue(), "156%");
    await shot("zoomed-at-pointer");

    // A touchpad pinch comes as Ctrl+wheel with small steps: 10 is a fifth
    // of a notch, 1.25^0.2 = 1.0456.
    await ctrlWheel(page, pointer, -10);
    await settled(page);
    const pinched = (await hostState(page)).zoom;
    assert.ok(near(pinched / zoomed.zoom, Math.pow(1.25, 0.2), 0.003), `pinch ${zoomed.zoom} -> ${pinched}`);
    now = (await view(page)).toScreen(under);
    assert.ok(near(now.x, pointer.x, 2) && near(now.y, pointer.y, 2), `after the pinch: ${JSON.stringify([pointer, now])}`);

    // Out again by one notch: 0.8 of it, still at the pointer.
    await ctrlWheel(page, pointer, 100);
    await settled(page);
    assert.ok(near((await hostState(page)).zoom, pinched * 0.8, 0.002));
    now = (await view(page)).toScreen(under);
    assert.ok(near(now.x, pointer.x, 2) && near(now.y, pointer.y, 2), `zoomed out: ${JSON.stringify([pointer, now])}`);
    assert.deepEqual(errors, []);
  });
});

test("Fit width makes the page as wide as the view and the wheel scrolls it, Fit page shows all of it, the percentage takes a typed zoom", async () => {
  const work = workFolder("nav-fit");
  // A letter page upright: fit width makes it taller than the view.
  const file = pagesPdf(path.join(work.dir, "letter.pdf"), [[612, 792]]);
  await withEditor("nav-fit", file, work, async (page, shot, server, errors) => {
    assert.equal(await page.locator("#zoomPct").inputValue(), "100%");
    assert.ok(await page.locator("#thumbs").isHidden(), "a single page has no thumbnails");
    assert.equal(await page.locator("#fitWidth").getAttribute("title"), "Make the page as wide as the window");
    assert.equal(await page.locator("#fitPage").getAttribute("title"), "Show the whole page in the window");

    await page.click("#fitWidth");
    await settled(page);
    let v = await viewer(page), box = await page.locator("#overlay").boundingBox();
    assert.ok(near(box.width, v.roomW, 1.5), `page ${box.width} px wide in a view with ${v.roomW} px of room`);
    assert.ok(near((await hostState(page)).zoom, v.roomW / 612, 0.002));
    assert.ok(v.scrollWidth <= v.clientWidth, "no horizontal scrolling");
    assert.ok(box.height > v.clientHeight, "the page is now taller than the view");
    assert.equal(await page.locator("#zoomPct").inputValue(), `${Math.round(((await hostState(page)).zoom) * 100)}%`);
    await shot("fit-width");

    await page.mouse.move(box.x + box.width / 2, v.rect.y + v.rect.height / 2);
    await page.mouse.wheel(0, 200);
    await page.waitForFunction(() => document.getElementById("viewer").scrollTop > 0);
    await shot("wheel-scrolled");

    await page.click("#fitPage");
    await settled(page);
    v = await viewer(page);
    box = await page.locator("#overlay").boundingBox();
    assert.ok(near(box.height, v.roomH, 1.5), `page ${box.height} px high in a view with ${v.roomH} px of room`);
    assert.ok(box.width <= v.roomW && box.y >= v.rect.y && box.y + box.height <= v.rect.y + v.clientHeight,
      `all of the page is in the view: ${JSON.stringify([box, v])}`);
    assert.equal(v.top, 0);
    await shot("fit-page");

    await page.fill("#zoomPct", "200");
    await page.press("#zoomPct", "Enter");
    await settled(page);
    assert.equal((await hostState(page)).zoom, 2);
    assert.equal(await page.locator("#zoomPct").inputValue(), "200%");
    assert.equal((await page.locator("#overlay").boundingBox()).width, 1224);
    // Text that is no percentage changes nothing.
    await page.fill("#zoomPct", "big");
    await page.press("#zoomPct", "Enter");
    await settled(page);
    assert.equal((await hostState(page)).zoom, 2);
    assert.equal(await page.locator("#zoomPct").inputValue(), "200%");
    assert.deepEqual(errors, []);
  });
});

test("the view's buttons are named in the session's language", async () => {
  const work = workFolder("nav-lang");
  const file = pagesPdf(path.join(work.dir, "two.pdf"), [[400, 300], [400, 300]]);
  await withEditor("nav-lang", file, work, async (page) => {
    assert.equal(await page.locator("#fitPage").textContent(), "Ganze Seite");
    assert.equal(await page.locator("#fitWidth").getAttribute("title"), "Die Seite so breit wie das Fenster zeigen");
    assert.equal(await page.locator("#next").getAttribute("title"), "Nächste Seite (Bild ab)");
  }, { lang: "de-DE" });
});

test("Page Down and Page Up turn the pages of a file with several, each shown from its top", async () => {
  const work = workFolder("nav-pages");
  const file = pagesPdf(path.join(work.dir, "three.pdf"), [[612, 792], [792, 612], [612, 792]]);
  await withEditor("nav-pages", file, work, async (page, shot, server, errors) => {
    assert.ok(await page.locator("#prev").isDisabled());
    await page.fill("#zoomPct", "150");
    await page.press("#zoomPct", "Enter");
    await settled(page);
    await page.locator("#viewer").evaluate((v) => { v.scrollTop = 300; });
    await page.focus("#overlay");
    await page.keyboard.press("PageDown");
    await settled(page);
    let host = await hostState(page);
    assert.equal(host.page, 1);
    assert.equal(await page.locator("#pageNo").textContent(), "Page 2 / 3");
    assert.equal((await viewer(page)).top, 0, "the next page shows from its top");
    // The landscape page is drawn at its own size.
    const box = await page.locator("#overlay").boundingBox();
    assert.ok(near(box.width, 792 * host.zoom, 1) && near(box.height, 612 * host.zoom, 1));
    await shot("page-2");
    await page.keyboard.press("PageDown");
    await page.keyboard.press("PageDown");
    await settled(page);
    assert.equal((await hostState(page)).page, 2, "Page Down stops at the last page");
    assert.ok(await page.locator("#next").isDisabled());
    await page.keyboard.press("PageUp");
    await settled(page);
    assert.equal((await hostState(page)).page, 1);
    assert.equal(await page.locator("#pageNo").textContent(), "Page 2 / 3");
    assert.deepEqual(errors, []);
  });
});

test("a file of several pages has thumbnails drawn to each page's shape, the current one marked, a click shows that page", async () => {
  const work = workFolder("nav-thumbs");
  const file = pagesPdf(path.join(work.dir, "three.pdf"), [[612, 792], [792, 612], [300, 300]]);
  await withEditor("nav-thumbs", file, work, async (page, shot, server, errors) => {
    const marked = () => page.locator("#thumbs .thumb.current").getAttribute("data-page");
    assert.equal(await page.locator("#thumbs .thumb").count(), 3);
    assert.equal(await marked(), "0");
    // Each thumbnail is 96 px wide and as high as its page's shape makes it.
    const want = [[96, Math.round(96 * 792 / 612)], [96, Math.round(96 * 612 / 792)], [96, 96]];
    await page.waitForFunction((w) => [...document.querySelectorAll("#thumbs canvas")]
      .every((c, i) => c.width === w[i][0] && c.height === w[i][1]), want);
    await page.click('#thumbs .thumb[data-page="2"]');
    await settled(page);
    assert.equal((await hostState(page)).page, 2);
    assert.equal(await marked(), "2");
    assert.equal(await page.locator('#thumbs .thumb[aria-current="page"]').count(), 1);
    await page.focus("#overlay");
    await page.keyboard.press("PageUp");
    await settled(page);
    assert.equal(await marked(), "1", "the mark follows Page Up");
    await shot("thumbnails");
    assert.deepEqual(errors, []);
  });
});

test("the middle button and Space with the left button pan the view, and the tool hears nothing of it", async () => {
  const work = workFolder("nav-pan");
  const plan = path.join(work.dir, "plan.pdf");
  run(["sample", "floorplan", "-o", plan], work.env);
  await withEditor("nav-pan", plan, work, async (page, shot, server, errors) => {
    await page.click('button.control[data-id="Button_Distance"]');
    await settled(page);
    await page.fill("#zoomPct", "300");
    await page.press("#zoomPct", "Enter");
    await settled(page);
    await page.locator("#viewer").evaluate((v) => { v.scrollLeft = 400; v.scrollTop = 300; });
    const frame = (await viewer(page)).rect;
    const from = { x: frame.x + frame.width / 2, y: frame.y + frame.height / 2 };

    await page.mouse.move(from.x, from.y);
    await page.mouse.down({ button: "middle" });
    await page.mouse.move(from.x - 60, from.y - 40, { steps: 4 });
    await page.mouse.up({ button: "middle" });
    let v = await viewer(page);
    assert.deepEqual([v.left, v.top], [460, 340], "the page follows the pointer");

    await page.focus("#overlay");
    await page.keyboard.down("Space");
    await page.mouse.down();
    await page.mouse.move(from.x + 100, from.y + 50, { steps: 4 });
    await page.mouse.up();
    await page.keyboard.up("Space");
    v = await viewer(page);
    assert.deepEqual([v.left, v.top], [300, 250]);
    await page.evaluate(() => window.annot.flush());
    await settled(page);
    const host = await hostState(page);
    assert.equal(host.undo, 0, "no distance was drawn");
    assert.deepEqual(host.overlay, [], "no distance was started");
    await shot("panned");
    assert.deepEqual(errors, []);
  });
});
