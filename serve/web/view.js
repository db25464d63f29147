// The view of the page: the page drawn in two layers, the thumbnails of a
// file of several pages, the overlay the tools draw on, and the zoom (by
// the wheel, typed, or fitted to the page or its width) and the page shown.
// Everything shown comes from the editor; a change of view goes to it.
const token = new URL(import.meta.url).searchParams.get("t");
const $ = (id) => document.getElementById(id);

// What the page gives this module: the editor's state (`app`), requests
// (`command`), the status line, the page's words, pdf.js once loaded, the
// pointer and the selection module once loaded.
let ui = null, app = null;
export function init(context) {
  ui = context;
  app = context.app;
}
const command = (...args) => ui.command(...args);
const showStatus = (...args) => ui.showStatus(...args);
const t = (word) => ui.t(word);

// The page is drawn in two layers. Below lies what the page itself draws
// (its content, without annotations), from the document's bytes as last
// fetched: drawn again only for another view, or when the editor says the
// page's own look changed since those bytes were written ("look" and
// X-Annot-Moment are "DOCUMENT:CHANGES"). Above it, on a transparent
// canvas, lie the page's annotations, drawn from a small PDF of only them
// (/api/annots) after each change. The two are put in place together, so
// the view never shows one layer older than the other. Where the editor
// will not give the annotations apart from the page (form fields, blend
// modes) or they fail to draw, the page is drawn whole from the document's
// current bytes instead.

let pdfDoc = null, pdfDocVersion = -1, pdfDocMoment = "";
let loadingDoc = null;
const tokenHeaders = { "X-Annot-Token": token };

// True when bytes written at `moment` draw a page whose own look last
// changed at `look`: the same document, no change to the page since.
function covers(moment, look) {
  if (!moment || !look) return false;
  const [doc, at] = moment.split(":").map(Number), [lookDoc, lookAt] = look.split(":").map(Number);
  return doc === lookDoc && at >= lookAt;
}

// A document stays open while pages of it are being drawn; one replaced
// meanwhile is let go of once they are done.
const docUses = new Map(), retiredDocs = new WeakSet();
async function using(doc, draw) {
  docUses.set(doc, (docUses.get(doc) || 0) + 1);
  try {
    return await draw();
  } finally {
    const left = docUses.get(doc) - 1;
    if (left) docUses.set(doc, left);
    else {
      docUses.delete(doc);
      if (retiredDocs.has(doc)) doc.destroy();
    }
  }
}
function retire(doc) {
  if (!doc) return;
  retiredDocs.add(doc);
  if (!docUses.has(doc)) doc.destroy();
}

// The document's bytes as they are now, unless those loaded do (`enough`);
// one fetch at a time.
export async function loadDocument(enough) {
  while (loadingDoc) await loadingDoc.catch(() => {});
  if (pdfDoc && enough()) return pdfDoc;
  loadingDoc = (async () => {
    const res = await fetch(`/api/document?t=${token}`, { headers: tokenHeaders });
    if (!res.ok) throw new Error(`the document did not load (HTTP ${res.status})`);
    const data = new Uint8Array(await res.arrayBuffer());
    const pdfjs = await ui.pdfjsLoaded;
    const doc = await pdfjs.getDocument({ data, isEvalSupported: false }).promise;
    retire(pdfDoc);
    pdfDoc = doc;
    pdfDocVersion = Number(res.headers.get("X-Annot-Doc"));
    pdfDocMoment = res.headers.get("X-Annot-Moment") || "";
  })();
  try { await loadingDoc; } finally { loadingDoc = null; }
  return pdfDoc;
}

// One page of `doc` on a canvas of its own: with its annotations or
// without, over white or over nothing.
async function drawPdfPage(doc, number, scaleOf, rotation, { annotations, clear = false }) {
  const pdfjs = await ui.pdfjsLoaded;
  const page = await doc.getPage(number);
  const turn = (page.rotate + rotation) % 360;
  const viewport = page.getViewport({ scale: scaleOf(page.getViewport({ scale: 1, rotation: turn })), rotation: turn });
  const canvas = document.createElement("canvas");
  canvas.width = Math.round(viewport.width);
  canvas.height = Math.round(viewport.height);
  await page.render({
    canvasContext: canvas.getContext("2d"), viewport,
    annotationMode: annotations ? pdfjs.AnnotationMode.ENABLE : pdfjs.AnnotationMode.DISABLE,
    background: clear ? "rgba(0,0,0,0)" : undefined,
  }).promise;
  return { canvas, viewport };
}

// The annotations of page `index` alone over nothing, with the document
// version and the page's look they are of; null when the editor will not
// give them apart from the page or they fail to draw.
async function drawAnnotationLayer(index, scaleOf, rotation) {
  try {
    const res = await fetch(`/api/annots?page=${index}&t=${token}`, { headers: tokenHeaders });
    if (!res.ok) return null;
    const version = Number(res.headers.get("X-Annot-Doc")), look = res.headers.get("X-Annot-Look") || "";
    const data = new Uint8Array(await res.arrayBuffer());
    const pdfjs = await ui.pdfjsLoaded;
    const doc = await pdfjs.getDocument({ data, isEvalSupported: false }).promise;
    try {
      const { canvas } = await drawPdfPage(doc, 1, scaleOf, rotation, { annotations: true, clear: true });
      return { canvas, version, look };
    } finally {
      doc.destroy();
    }
  } catch (e) {
    return null;
  }
}

// Page `index` whole, annotations and all, from bytes of `version` or later.
async function drawWholePage(index, scaleOf, rotation, version) {
  const doc = await loadDocument(() => pdfDocVersion >= version);
  const drawnVersion = pdfDocVersion;
  const { canvas, viewport } = await using(doc, () => drawPdfPage(doc, index + 1, scaleOf, rotation, { annotations: true }));
  return { base: canvas, layer: null, version: drawnVersion, size: viewport };
}

// The page's content as drawn for one view and look; the drawing under
// way is shared by the requests that want the same.
const content = { key: "", drawn: null, pendingKey: "", pending: null };
function pageContent(index, scaleOf, rotation, look, key) {
  if (content.key === key) return Promise.resolve(content.drawn);
  if (content.pendingKey === key) return content.pending;
  const pending = (async () => {
    const doc = await loadDocument(() => covers(pdfDocMoment, look));
    return using(doc, () => drawPdfPage(doc, index + 1, scaleOf, rotation, { annotations: false }));
  })();
  content.pendingKey = key;
  content.pending = pending;
  pending.then((drawn) => {
    if (content.pendingKey !== key) return;
    Object.assign(content, { key, drawn, pendingKey: "", pending: null });
  }, () => {
    if (content.pendingKey === key) Object.assign(content, { pendingKey: "", pending: null });
  });
  return pending;
}

// The view as it is now: the page's content and its annotations, or the
// page drawn whole where they cannot be drawn apart.
async function drawView(host) {
  const view = `${host.page}/${host.zoom}/${host.rotation}`;
  const scaleOf = () => host.zoom;
  const contentOf = (look) => pageContent(host.page, scaleOf, host.rotation, look, `${look}/${view}`);
  // The content is drawn while the annotations are fetched; should they
  // be of a later look than the state said, the content follows them.
  let below = contentOf(host.look);
  const layer = await drawAnnotationLayer(host.page, scaleOf, host.rotation);
  if (!layer) {
    below.catch(() => {});
    return drawWholePage(host.page, scaleOf, host.rotation, host.doc);
  }
  if (layer.look !== host.look) {
    below.catch(() => {});
    below = contentOf(layer.look);
  }
  const { canvas, viewport } = await below;
  return { base: canvas, layer: layer.canvas, version: layer.version, size: viewport };
}

export async function renderPage(host) {
  if (host.matrix === undefined) return;
  const view = `${host.page}/${host.zoom}/${host.rotation}`;
  const key = `${host.doc}/${view}`;
  if (key === app.shownView) {
    // Back to what is shown: a drawing under way for another view is stale.
    app.rendering = null;
    if (zoomAnchor && Math.abs(zoomAnchor.target - app.shownZoom) < 5e-4) keepZoomAnchor(app.shownZoom);
    return;
  }
  if (app.rendering === key) return;
  app.rendering = key;
  try {
    const picture = await drawView(host);
    if (app.rendering !== key) return;  // a newer render started
    const shown = $("page"), annots = $("annots"), overlay = $("overlay");
    const { width, height } = picture.base;
    for (const canvas of [shown, annots, overlay])
      if (canvas.width !== width || canvas.height !== height) { canvas.width = width; canvas.height = height; }
    if (app.shownBase !== picture.base) {
      shown.getContext("2d").drawImage(picture.base, 0, 0);
      app.shownBase = picture.base;
    }
    const ctx = annots.getContext("2d");
    ctx.clearRect(0, 0, width, height);
    if (picture.layer) ctx.drawImage(picture.layer, 0, 0);
    app.shownView = `${picture.version}/${view}`;
    app.shownZoom = host.zoom;
    if (app.toTop) { app.toTop = false; $("viewer").scrollTop = 0; }
    app.pageSize = { w: picture.size.width / host.zoom, h: picture.size.height / host.zoom };
    keepZoomAnchor(host.zoom);
    drawOverlay(app.state.host);
    document.body.dataset.rendered = app.shownView;
    drawVisibleThumbs();
  } catch (e) {
    showStatus(String(e.message || e), true);
  } finally {
    if (app.rendering === key) app.rendering = null;
  }
}

// ---- thumbnails ---------------------------------------------------------

// A file of several pages has a strip of them beside the view, the current
// one marked; a click shows that page. Only thumbnails in sight are drawn,
// one at a time, again after the document changed.
const thumbs = { count: 0, page: -1, rotation: 0, visible: new Set(), drawn: new Map(), content: new Map(), busy: false, observer: null };
const THUMB_WIDTH = 96;

export function drawThumbs(host) {
  const strip = $("thumbs");
  strip.hidden = host.pages <= 1;
  if (strip.hidden) return;
  if (thumbs.count !== host.pages) {
    thumbs.count = host.pages;
    thumbs.page = -1;
    thumbs.drawn.clear();
    thumbs.content.clear();
    thumbs.visible.clear();
    if (thumbs.observer) thumbs.observer.disconnect();
    thumbs.observer = new IntersectionObserver((entries) => {
      for (const e of entries) {
        const i = Number(e.target.dataset.page);
        if (e.isIntersecting) thumbs.visible.add(i); else thumbs.visible.delete(i);
      }
      drawVisibleThumbs();
    }, { root: strip, rootMargin: "200px 0px" });
    strip.replaceChildren();
    for (let i = 0; i < host.pages; i++) {
      const b = document.createElement("button");
      b.className = "thumb";
      b.dataset.page = i;
      b.title = `${t("Page")} ${i + 1}`;
      const canvas = document.createElement("canvas");
      canvas.width = THUMB_WIDTH;
      canvas.height = Math.round(THUMB_WIDTH * 1.3);
      const no = document.createElement("span");
      no.textContent = String(i + 1);
      b.append(canvas, no);
      b.addEventListener("click", () => goToPage(i));
      strip.append(b);
      thumbs.observer.observe(b);
    }
  }
  if (thumbs.rotation !== host.rotation) { thumbs.rotation = host.rotation; thumbs.drawn.clear(); }
  if (thumbs.page !== host.page) {
    thumbs.page = host.page;
    for (const b of strip.children) {
      const current = Number(b.dataset.page) === host.page;
      b.classList.toggle("current", current);
      if (current) { b.setAttribute("aria-current", "page"); b.scrollIntoView({ block: "nearest" }); }
      else b.removeAttribute("aria-current");
    }
  }
}

async function drawVisibleThumbs() {
  const host = app.state && app.state.host;
  if (thumbs.busy || !host || $("thumbs").hidden) return;
  const rotation = thumbs.rotation, want = `${host.doc}/${rotation}`;
  const next = [...thumbs.visible].sort((a, b) => a - b).find((i) => thumbs.drawn.get(i) !== want);
  if (next === undefined || next >= host.pages) return;
  thumbs.busy = true;
  try {
    const picture = await drawThumb(next, rotation, host.doc);
    const shown = document.querySelector(`#thumbs .thumb[data-page="${next}"] canvas`);
    if (shown) {
      shown.width = picture.base.width;
      shown.height = picture.base.height;
      const ctx = shown.getContext("2d");
      ctx.drawImage(picture.base, 0, 0);
      if (picture.layer) ctx.drawImage(picture.layer, 0, 0);
    }
  } catch (e) {
    // A page that fails to draw is not tried again until the document
    // changes.
  } finally {
    thumbs.drawn.set(next, want);
    thumbs.busy = false;
  }
  setTimeout(drawVisibleThumbs, 0);
}

// A thumbnail is drawn as the view is: the page's content, kept while its
// look stays, under its annotations as they are now.
async function drawThumb(index, rotation, version) {
  const scaleOf = (whole) => THUMB_WIDTH / whole.width;
  const layer = await drawAnnotationLayer(index, scaleOf, rotation);
  if (!layer) return drawWholePage(index, scaleOf, rotation, version);
  let below = thumbs.content.get(index);
  if (!below || below.rotation !== rotation || !covers(below.moment, layer.look)) {
    const doc = await loadDocument(() => covers(pdfDocMoment, layer.look));
    const moment = pdfDocMoment;
    const { canvas } = await using(doc, () => drawPdfPage(doc, index + 1, scaleOf, rotation, { annotations: false }));
    below = { rotation, moment, canvas };
    thumbs.content.set(index, below);
  }
  return { base: below.canvas, layer: layer.canvas };
}

// What the tools draw while they work, over the page.
export function drawOverlay(host) {
  const canvas = $("overlay");
  const ctx = canvas.getContext("2d");
  ctx.clearRect(0, 0, canvas.width, canvas.height);
  // A cursor the tool asked for by shape and size ("circle 8": the eraser).
  const circle = /^circle (\d+)/.exec(host.cursor || "");
  canvas.style.cursor = circle ? "none" : "crosshair";
  const mouseAt = ui.mouseAt();
  if (circle && mouseAt) {
    ctx.beginPath();
    ctx.setLineDash([]);
    ctx.lineWidth = 1;
    ctx.strokeStyle = "#555";
    ctx.arc(mouseAt.x + 0.5, mouseAt.y + 0.5, Number(circle[1]), 0, 2 * Math.PI);
    ctx.stroke();
  }
  for (const item of host.overlay || []) {
    const p = item.p;
    ctx.beginPath();
    ctx.lineWidth = Math.max(1, item.w);
    ctx.strokeStyle = item.c;
    ctx.setLineDash(item.dash ? [4, 3] : []);
    if (item.k === "rect") {
      ctx.rect(p[0] + 0.5, p[1] + 0.5, p[2] - p[0], p[3] - p[1]);
    } else {
      ctx.moveTo(p[0] + 0.5, p[1] + 0.5);
      for (let i = 2; i + 1 < p.length; i += 2) ctx.lineTo(p[i] + 0.5, p[i + 1] + 0.5);
      if (item.closed) ctx.closePath();
    }
    if (item.fill) { ctx.fillStyle = item.fill; ctx.fill(); }
    ctx.stroke();
  }
  // The selection's grips and a dragged outline go on top.
  if (ui.selection) ui.selection.drawOn(host);
}

// Zooms keeping the page point under `anchor` (a viewport point; the
// middle of the view when none) where it is: once the page is drawn at the
// new size, the view scrolls so that the point is there again. The point is
// kept in page pixels at zoom 1, so zooms that follow one another faster
// than the page is drawn add up and still end at the pointer.
let zoomAnchor = null;
export function zoomTo(target, anchor = null, keep = {}) {
  const host = app.state.host;
  target = Math.min(16, Math.max(0.05, Math.round(target * 1000) / 1000));
  const viewer = $("viewer"), box = $("overlay").getBoundingClientRect(), frame = viewer.getBoundingClientRect();
  const at = anchor || { x: frame.left + frame.width / 2, y: frame.top + frame.height / 2 };
  const shown = app.shownZoom || host.zoom;
  zoomAnchor = { x: at.x, y: at.y, px: (at.x - box.left) / shown, py: (at.y - box.top) / shown, target, ...keep };
  // A refused zoom leaves the view as it is: the next one starts from there.
  return command("/api/view", { zoom: target.toFixed(3) }).then((done) => {
    if (!done && zoomAnchor && zoomAnchor.target === target) zoomAnchor = null;
    return done;
  });
}
// The zoom the last request asked for, while the page has not caught up.
function zoomNow() {
  return zoomAnchor ? zoomAnchor.target : app.state.host.zoom;
}
export function zoom(factor, anchor = null) {
  return zoomTo(zoomNow() * factor, anchor);
}

function keepZoomAnchor(shownZoom) {
  if (!zoomAnchor) return;
  const a = zoomAnchor, viewer = $("viewer");
  if (Math.abs(shownZoom - a.target) < 5e-4) zoomAnchor = null;
  const box = $("overlay").getBoundingClientRect();
  viewer.scrollLeft += box.left + a.px * shownZoom - a.x;
  viewer.scrollTop += box.top + a.py * shownZoom - a.y;
  if (a.left) viewer.scrollLeft = 0;
  if (a.top) viewer.scrollTop = 0;
}

// Fit page and fit width: the zoom at which the page (as turned) fills the
// view's room inside its margin; rounded down so that no scroll bar comes.
export function fit(kind) {
  const host = app.state && app.state.host;
  if (!host || !app.pageSize) return null;
  const viewer = $("viewer"), style = getComputedStyle(viewer);
  const roomW = viewer.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight);
  const roomH = viewer.clientHeight - parseFloat(style.paddingTop) - parseFloat(style.paddingBottom);
  const byWidth = roomW / app.pageSize.w;
  const z = kind === "width" ? byWidth : Math.min(byWidth, roomH / app.pageSize.h);
  const frame = viewer.getBoundingClientRect();
  // Fit width keeps the line at the top of the view there; fit page shows
  // the page from its top-left corner.
  return zoomTo(Math.floor(z * 1000) / 1000, { x: frame.left, y: frame.top }, kind === "width" ? { left: true } : { left: true, top: true });
}

// The zoom as a percentage in the toolbar, which takes a typed one.
export function showZoom(host) {
  const box = $("zoomPct");
  if (document.activeElement !== box) box.value = `${Math.round(host.zoom * 100)}%`;
  const words = host.words || {};
  const label = (id, key, title) => {
    const b = $(id);
    if (key) b.textContent = words[key] || b.textContent;
    if (title && words[title]) b.title = words[title];
  };
  label("zoomPct", null, "IDS_EDITOR_ZOOM_TIP");
  label("zoomIn", null, "IDS_EDITOR_ZOOM_IN");
  label("zoomOut", null, "IDS_EDITOR_ZOOM_OUT");
  label("fitPage", "IDS_EDITOR_FIT_PAGE", "IDS_EDITOR_FIT_PAGE_TIP");
  label("fitWidth", "IDS_EDITOR_FIT_WIDTH", "IDS_EDITOR_FIT_WIDTH_TIP");
  label("prev", null, "IDS_EDITOR_PREV_PAGE");
  label("next", null, "IDS_EDITOR_NEXT_PAGE");
  label("rotate", null, "IDS_EDITOR_ROTATE_VIEW");
  $("prev").disabled = host.page <= 0;
  $("next").disabled = host.page >= host.pages - 1;
}
export function typedZoom() {
  const box = $("zoomPct");
  const m = /^\s*(\d+(?:[.,]\d*)?)\s*%?\s*$/.exec(box.value);
  const host = app.state && app.state.host;
  if (!m || !host) { if (host) box.value = `${Math.round(host.zoom * 100)}%`; return; }
  const pct = Math.min(1600, Math.max(5, Number(m[1].replace(",", "."))));
  box.value = `${Math.round(pct)}%`;
  zoomTo(pct / 100);
}

// Another page, shown from its top.
export function goToPage(n) {
  const host = app.state && app.state.host;
  if (!host) return null;
  n = Math.min(host.pages - 1, Math.max(0, n));
  if (n === host.page) return null;
  app.toTop = true;
  return command("/api/view", { page: n });
}
