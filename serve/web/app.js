// The page of annot serve. Everything it shows comes from the editor on the
// server: the page as pdf.js draws the document's current bytes, above it
// the editor's display list, around it the ribbon, the measuring panel and
// the tool chest. Input goes back as device pixels of the page's view.
const token = new URL(import.meta.url).searchParams.get("t");
// The worker starts loading while pdf.js itself loads.
const pdfWorker = new Worker(`/app/pdf.worker.min.mjs?t=${token}`, { type: "module" });
const pdfjsLoaded = import(`/app/pdf.min.mjs?t=${token}`).then((pdfjs) => {
  pdfjs.GlobalWorkerOptions.workerPort = pdfWorker;
  return pdfjs;
});

const $ = (id) => document.getElementById(id);
const WORDS = {
  "de-DE": { Undo: "Rückgängig", Redo: "Wiederholen", Save: "Speichern", Download: "Herunterladen", Select: "Auswählen",
             Page: "Seite", OK: "OK", Cancel: "Abbrechen", Yes: "Ja", No: "Nein", Saved: "Gespeichert",
             "Unsaved changes": "Ungespeicherte Änderungen", "Save as a copy": "Als Kopie speichern",
             Reload: "Neu laden", "Saved as": "Gespeichert als" },
  "fr-FR": { Undo: "Annuler", Redo: "Rétablir", Save: "Enregistrer", Download: "Télécharger", Select: "Sélectionner",
             Page: "Page", OK: "OK", Cancel: "Annuler", Yes: "Oui", No: "Non", Saved: "Enregistré",
             "Unsaved changes": "Modifications non enregistrées", "Save as a copy": "Enregistrer une copie",
             Reload: "Recharger", "Saved as": "Enregistré sous" },
};
let lang = "en-US";
const t = (w) => (WORDS[lang] && WORDS[lang][w]) || w;

const app = { state: null, seq: -1, shownDoc: -1, shownView: "", rendering: null, busy: 0, errors: [], offline: false };
window.annot = app;

// The markups list, the status bar's prompt, tooltips and keys, and the
// tool chest live in markups.js (and toolsets.js); they hear of each state.
let markups = null;
import(`/app/markups.js?t=${token}`).then(async (m) => {
  await m.init(app, { api, command, showStatus, offerFile });
  markups = m;
  if (app.state) m.update(app.state.host);
});

// A request to the editor; null when it was refused (the reason goes to the
// status line) or the editor cannot be reached (the page says so and keeps
// what it shows). `onRefused` may take a refusal itself.
async function api(path, params = {}, method = "POST", onRefused = null) {
  const query = new URLSearchParams();
  for (const [k, v] of Object.entries(params)) {
    if (Array.isArray(v)) v.forEach((x) => query.append(k, x));
    else query.append(k, String(v));
  }
  query.append("t", token);
  let res, body;
  try {
    res = await fetch(`${path}?${query}`, { method, headers: { "X-Annot-Token": token } });
    const type = res.headers.get("Content-Type") || "";
    body = type.startsWith("application/json") ? await res.json() : await res.arrayBuffer();
  } catch (e) {
    setOffline(true);
    return null;
  }
  setOffline(false);
  if (!res.ok) {
    if (onRefused && onRefused(res.status, body)) return null;
    const why = body && body.error ? body.error : `HTTP ${res.status}`;
    app.errors.push(why);
    showStatus(why, true);
    return null;
  }
  if (body && body.seq !== undefined) apply(body);
  return body;
}

// While the editor cannot be reached the page keeps the document, the
// panel and the unsaved marker as they were, and says what that means.
function setOffline(offline) {
  if (offline === app.offline) return;
  app.offline = offline;
  document.body.classList.toggle("offline", offline);
  const banner = $("banner");
  if (offline) {
    const host = app.state && app.state.host;
    const file = (host && host.file) || "the file";
    banner.textContent = host && host.unsaved
      ? `The editor has stopped or cannot be reached. Your changes since the last save are shown here but were not saved to ${file}; the page keeps trying to reach the editor.`
      : `The editor has stopped or cannot be reached; ${file} holds everything that was saved. The page keeps trying to reach the editor.`;
    banner.hidden = false;
  } else {
    banner.hidden = true;
  }
}

// Events keep their order; a move waiting to be sent is replaced by the next.
let sending = Promise.resolve();
let pendingMove = null;
function send(params) {
  if (params.kind === "move") {
    if (pendingMove) { Object.assign(pendingMove, params); return sending; }
    pendingMove = params;
  }
  app.busy++;
  sending = sending.then(async () => {
    if (params === pendingMove) pendingMove = null;
    try { await api("/api/event", params); } finally { app.busy--; }
  });
  return sending;
}
app.flush = () => sending;

function command(path, params, onRefused = null) {
  app.busy++;
  sending = sending.then(async () => { try { return await api(path, params, "POST", onRefused); } finally { app.busy--; } });
  return sending;
}

// ---- state --------------------------------------------------------------

function apply(state) {
  if (state.seq <= app.seq) return;
  app.seq = state.seq;
  app.state = state;
  const host = state.host;
  if (host) {
    if (host.lang && host.lang !== lang) { lang = host.lang; document.documentElement.lang = lang; labelToolbar(); }
    drawRibbon(host);
    drawSide(host);
    drawOverlay(host);
    if (selection) selection.update(host);
    renderPage(host);
    $("undo").disabled = !host.undo;
    $("redo").disabled = !host.redo;
    showUnsaved(host);
    $("pageNo").textContent = `${t("Page")} ${host.page + 1} / ${host.pages}`;
    showZoom(host);
    drawThumbs(host);
    showScale(host);
    const tips = host.tips || [], messages = host.messages || [];
    const last = tips.length ? tips[tips.length - 1] : messages.length ? messages[messages.length - 1] : "";
    if (last) showStatus(last);
    if (markups) markups.update(host);
  }
  drawModal(state.modal);
}

async function poll() {
  try {
    const res = await fetch(`/api/state?t=${token}`, { headers: { "X-Annot-Token": token } });
    setOffline(false);
    if (res.ok) apply(await res.json());
  } catch (e) {
    setOffline(true);  // the server went away; keep trying
  }
  setTimeout(poll, app.offline ? 1000 : app.state && app.state.modal ? 150 : 400);
}

// The marker of changes not yet saved: beside Save and in the title.
function showUnsaved(host) {
  const unsaved = !!host.unsaved;
  $("save").classList.toggle("unsaved", unsaved);
  $("unsaved").hidden = !unsaved;
  document.title = `${unsaved ? "● " : ""}${host.file || ""} — annot`;
}

// Closing or leaving the page with unsaved changes asks first.
window.addEventListener("beforeunload", (e) => {
  const host = app.state && app.state.host;
  if (host && host.unsaved) {
    e.preventDefault();
    e.returnValue = "";
  }
});

// The page's scale stays in the status bar; a page without one says so in
// the warning colour, since measurements on it are in points.
function showScale(host) {
  const words = host.words || {};
  const box = $("scale");
  box.classList.toggle("none", !host.scale);
  box.textContent = `${words.IDS_EDITOR_PAGE_SCALE || "Scale"}: ${host.scale || words.IDS_EDITOR_NO_SCALE || "no scale"}`;
}

function showStatus(text, error = false) {
  $("status").textContent = text;
  $("status").className = error ? "error" : "";
}

// ---- the page -----------------------------------------------------------

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
async function loadDocument(enough) {
  while (loadingDoc) await loadingDoc.catch(() => {});
  if (pdfDoc && enough()) return pdfDoc;
  loadingDoc = (async () => {
    const res = await fetch(`/api/document?t=${token}`, { headers: tokenHeaders });
    if (!res.ok) throw new Error(`the document did not load (HTTP ${res.status})`);
    const data = new Uint8Array(await res.arrayBuffer());
    const pdfjs = await pdfjsLoaded;
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
  const pdfjs = await pdfjsLoaded;
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
    const pdfjs = await pdfjsLoaded;
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

async function renderPage(host) {
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

function drawThumbs(host) {
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

let mouseAt = null, menuAt = null;
function drawOverlay(host) {
  const canvas = $("overlay");
  const ctx = canvas.getContext("2d");
  ctx.clearRect(0, 0, canvas.width, canvas.height);
  // A cursor the tool asked for by shape and size ("circle 8": the eraser).
  const circle = /^circle (\d+)/.exec(host.cursor || "");
  canvas.style.cursor = circle ? "none" : "crosshair";
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
  if (selection) selection.drawOn(host);
}

// ---- the selection (selection.js) -----------------------------------------

let selection = null;
import(`/app/selection.js?t=${token}`).then((m) => {
  selection = m.initSelection({
    app, $, send, command,
    mouseAt: () => mouseAt,
    redrawOverlay: drawOverlay,
  });
  if (app.state && app.state.host) {
    drawOverlay(app.state.host);
    selection.update(app.state.host);
  }
});

// ---- attaching a file (attach.js) -----------------------------------------

let attach = null;
import(`/app/attach.js?t=${token}`).then((m) => { attach = m.initAttach({ app, token, apply, showStatus }); });

// ---- input --------------------------------------------------------------

function at(e) {
  const r = $("overlay").getBoundingClientRect();
  return { x: Math.round(e.clientX - r.left), y: Math.round(e.clientY - r.top) };
}
function mods(e) { return { shift: e.shiftKey ? 1 : 0, ctrl: e.ctrlKey ? 1 : 0 }; }
function pointer(kind, e) {
  const host = app.state && app.state.host;
  if (!host) return;
  send({ kind, page: host.page, ...at(e), ...mods(e) });
}

function wireInput() {
  const overlay = $("overlay");
  // Mouse events carry the click count that tells the second press of a
  // double click, which the dblclick event sends instead.
  let dragging = false;
  overlay.addEventListener("mousedown", (e) => {
    // Focus without scrolling: a view that moved under the pressed button
    // would draw from a point the person did not press.
    overlay.focus({ preventScroll: true });
    e.preventDefault();
    if (e.button === 1 || spaceDown) return;  // the view pans (below)
    if (attach && attach.pointerDown(at(e), e.button)) return;
    dragging = true;
    if (e.button === 0 && e.detail === 2) return;
    if (e.button === 2) menuAt = { x: e.clientX, y: e.clientY };
    if (selection) selection.pointerDown(at(e), e.button);
    pointer(e.button === 2 ? "rdown" : "down", e);
  });
  window.addEventListener("mousemove", (e) => {
    if (panFrom) return pan(e);
    mouseAt = at(e);
    if (selection && (dragging || e.target === overlay)) selection.pointerMove(mouseAt, dragging);
    if (dragging || e.target === overlay) pointer("move", e);
  });
  window.addEventListener("mouseup", (e) => {
    if (panFrom) { panFrom = null; viewer.classList.remove("panning"); return; }
    if (!dragging) return;
    dragging = false;
    if (selection) selection.pointerUp();
    if (e.button === 0 && e.detail === 2) return;
    pointer(e.button === 2 ? "rup" : "up", e);
  });
  overlay.addEventListener("dblclick", (e) => { pointer("dblclick", e); pointer("up", e); });
  overlay.addEventListener("contextmenu", (e) => e.preventDefault());
  // The middle button, or the left one while Space is held, pans the view
  // and is no press for the tool.
  const viewer = $("viewer");
  viewer.addEventListener("mousedown", (e) => {
    if (e.button !== 1 && !(e.button === 0 && spaceDown)) return;
    e.preventDefault();
    panFrom = { x: e.clientX, y: e.clientY, left: viewer.scrollLeft, top: viewer.scrollTop };
    viewer.classList.add("panning");
  });
  // Ctrl+wheel, and a pinch on a touchpad (which Chromium sends as one),
  // zooms about the pointer: a wheel's notch by a quarter, a pinch's small
  // steps by as much as they say. The plain wheel scrolls the view (and the
  // tool hears of it too).
  viewer.addEventListener("wheel", (e) => {
    const host = app.state && app.state.host;
    if (!host || !e.ctrlKey) return;
    e.preventDefault();
    const d = e.deltaMode === 0 ? e.deltaY : e.deltaY * 40;
    const factor = Math.abs(d) >= 50 ? (d < 0 ? 1.25 : 0.8) : Math.pow(1.25, -d / 50);
    zoom(factor, { x: e.clientX, y: e.clientY });
  }, { passive: false });
  overlay.addEventListener("wheel", (e) => {
    const host = app.state && app.state.host;
    if (!host || e.ctrlKey) return;
    send({ kind: "wheel", page: host.page, ...at(e), delta: e.deltaY < 0 ? 120 : -120, ...mods(e) });
  }, { passive: false });
  const keys = { Escape: 27, Enter: 13, Delete: 46, Backspace: 8, Tab: 9, ArrowLeft: 37, ArrowUp: 38, ArrowRight: 39, ArrowDown: 40, " ": 32 };
  document.addEventListener("keydown", (e) => {
    if (!$("modal").hidden && e.key === "Escape" && app.dismissModal) { e.preventDefault(); return app.dismissModal(); }
    if (!$("modal").hidden || !$("notice").hidden || e.target.closest("input,select,textarea")) return;
    if (e.ctrlKey && e.key === "z") { e.preventDefault(); return command("/api/undo"); }
    if (e.ctrlKey && e.key === "y") { e.preventDefault(); return command("/api/redo"); }
    if (e.ctrlKey && e.key === "s") { e.preventDefault(); return save(); }
    if (selection && selection.key(e)) return;
    // Page Up and Page Down turn the pages of a file that has more than
    // one; on a single page they scroll it.
    const host = app.state && app.state.host;
    if ((e.key === "PageDown" || e.key === "PageUp") && host && host.pages > 1 && !e.ctrlKey) {
      e.preventDefault();
      return goToPage(host.page + (e.key === "PageDown" ? 1 : -1));
    }
    if (e.key === " ") {
      e.preventDefault();
      if (e.repeat) return;
      spaceDown = true;
      viewer.classList.add("pan");
    }
    const code = keys[e.key];
    if (code) { e.preventDefault(); send({ kind: "key", key: code, ...mods(e) }); }
    // A character goes to the current tool as typed text (a text box, a
    // typewriter, a callout or a note being written).
    if (!e.ctrlKey && !e.metaKey && !e.altKey && [...e.key].length === 1) {
      if (!code) e.preventDefault();
      send({ kind: "char", key: e.key.codePointAt(0) });
    }
  });
  const endSpace = () => { spaceDown = false; viewer.classList.remove("pan"); };
  document.addEventListener("keyup", (e) => { if (e.key === " ") endSpace(); });
  window.addEventListener("blur", endSpace);
}

let spaceDown = false, panFrom = null;
function pan(e) {
  const viewer = $("viewer");
  viewer.scrollLeft = panFrom.left - (e.clientX - panFrom.x);
  viewer.scrollTop = panFrom.top - (e.clientY - panFrom.y);
}

// Zooms keeping the page point under `anchor` (a viewport point; the
// middle of the view when none) where it is: once the page is drawn at the
// new size, the view scrolls so that the point is there again. The point is
// kept in page pixels at zoom 1, so zooms that follow one another faster
// than the page is drawn add up and still end at the pointer.
let zoomAnchor = null;
function zoomTo(target, anchor = null, keep = {}) {
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
function zoom(factor, anchor = null) {
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
function fit(kind) {
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
function showZoom(host) {
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
function typedZoom() {
  const box = $("zoomPct");
  const m = /^\s*(\d+(?:[.,]\d*)?)\s*%?\s*$/.exec(box.value);
  const host = app.state && app.state.host;
  if (!m || !host) { if (host) box.value = `${Math.round(host.zoom * 100)}%`; return; }
  const pct = Math.min(1600, Math.max(5, Number(m[1].replace(",", "."))));
  box.value = `${Math.round(pct)}%`;
  zoomTo(pct / 100);
}

// Another page, shown from its top.
function goToPage(n) {
  const host = app.state && app.state.host;
  if (!host) return null;
  n = Math.min(host.pages - 1, Math.max(0, n));
  if (n === host.page) return null;
  app.toTop = true;
  return command("/api/view", { page: n });
}

async function save() {
  const done = await command("/api/save", {}, (status, body) => {
    if (status !== 409 || !body || !body.changedOnDisk) return false;
    askAboutConflict(body.error);
    return true;
  });
  if (done) showStatus(t("Saved"));
}

// Another program wrote the file since it was opened here: saving over it
// would lose what that program wrote. The page offers a copy beside the
// file, or the file as it is now (after asking, since that drops the
// changes made here).
function askAboutConflict(why) {
  const host = app.state && app.state.host;
  const file = (host && host.file) || "the file";
  const box = $("notice");
  const form = document.createElement("form");
  form.className = "dialog conflict";
  const title = document.createElement("h3");
  title.textContent = `${file} was changed by another program`;
  const text = document.createElement("p");
  text.textContent = `Another program wrote ${file} after it was opened here. Saving over it would throw away what that program wrote, so nothing was saved. Save what you see here as a new file beside it, or reload ${file} as it is now.`;
  const detail = document.createElement("p");
  detail.className = "detail";
  detail.textContent = why;
  const buttons = document.createElement("div");
  buttons.className = "buttons";
  const close = () => { box.hidden = true; box.replaceChildren(); };
  const button = (word, name, fn) => {
    const b = document.createElement("button");
    b.type = "button"; b.textContent = t(word); b.dataset.action = name;
    b.addEventListener("click", fn);
    buttons.append(b);
    return b;
  };
  button("Save as a copy", "copy", async () => {
    close();
    const done = await command("/api/save-copy");
    if (done) {
      if (done.state) apply(done.state);
      showStatus(`${t("Saved as")} ${done.copy}`);
    }
  });
  button("Reload", "reload", () => {
    const steps = host && host.undo ? host.undo : 0;
    text.textContent = `Reload ${file} as the other program left it? The changes made here (${steps} ${steps === 1 ? "step" : "steps"}) are dropped and cannot be undone.`;
    buttons.replaceChildren();
    button("Reload", "confirm-reload", async () => {
      close();
      const done = await command("/api/reload");
      if (done) showStatus(`${file}: reloaded`);
    });
    button("Cancel", "cancel", close);
  });
  button("Cancel", "cancel", close);
  form.append(title, text, detail, buttons);
  form.addEventListener("submit", (ev) => ev.preventDefault());
  box.replaceChildren(form);
  box.hidden = false;
}

// A ribbon button. What the plug-in saved meanwhile through a save dialog
// (Export Measurements' CSV) comes back as a file to download.
async function press(id) {
  const done = await command("/api/press", { id });
  if (!done || !done.file) return;
  if (done.state) apply(done.state);
  const data = await api("/api/file", { id: done.file.id }, "GET");
  if (data) offerFile(data, done.file.name, "text/csv");
}

function offerFile(data, name, type) {
  const a = document.createElement("a");
  a.href = URL.createObjectURL(new Blob([data], { type }));
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 10000);
}

// The document as a file, fetched first so that an editor that cannot be
// reached leaves the page as it is instead of an error page.
async function download() {
  const data = await api("/api/download", {}, "GET");
  if (!data) return;
  const host = app.state && app.state.host;
  offerFile(data, (host && host.file) || "document.pdf", "application/pdf");
}

// ---- furniture ----------------------------------------------------------

function labelToolbar() {
  for (const b of document.querySelectorAll("#toolbar [data-word]")) b.textContent = t(b.dataset.word);
}

function buildToolbar() {
  const bar = document.createElement("div");
  bar.id = "toolbar";
  const add = (id, word, fn) => {
    const b = document.createElement("button");
    b.id = id; b.dataset.word = word; b.textContent = word;
    b.addEventListener("click", fn);
    bar.append(b);
    return b;
  };
  add("hand", "Select", () => command("/api/tool", { name: "Hand" }));
  add("undo", "Undo", () => command("/api/undo"));
  add("redo", "Redo", () => command("/api/redo"));
  add("save", "Save", save);
  add("download", "Download", download);
  const unsaved = document.createElement("span");
  unsaved.id = "unsaved"; unsaved.dataset.word = "Unsaved changes"; unsaved.hidden = true;
  bar.append(unsaved);
  add("zoomOut", "−", () => zoom(0.8));
  const pct = document.createElement("input");
  pct.id = "zoomPct"; pct.size = 5;
  pct.addEventListener("keydown", (e) => { if (e.key === "Enter") { e.preventDefault(); pct.blur(); } });
  pct.addEventListener("change", typedZoom);
  bar.append(pct);
  add("zoomIn", "+", () => zoom(1.25));
  // Their words come with the editor's state, in its language.
  add("fitPage", "Fit page", () => fit("page")).removeAttribute("data-word");
  add("fitWidth", "Fit width", () => fit("width")).removeAttribute("data-word");
  add("rotate", "⟳", () => command("/api/view", { rotation: (app.state.host.rotation + 90) % 360 }));
  add("prev", "◀", () => goToPage(app.state.host.page - 1));
  const no = document.createElement("span"); no.id = "pageNo"; bar.append(no);
  add("next", "▶", () => goToPage(app.state.host.page + 1));
  document.body.insertBefore(bar, $("main"));
}

// The tab shown: null until the ribbon first arrives, which opens on the
// measuring tools' tab ("Review") when there is one.
let ribbonKey = "", category = null;

// A slider: a list of its values when they are few (a precision), else a
// range with its value beside it (the eraser's size). Only a change is sent.
function slider(c) {
  const row = document.createElement("label");
  row.className = "control slider";
  row.title = c.tooltip || c.title;
  row.append(document.createTextNode(`${c.title || c.name} `));
  let input;
  if (c.max - c.min <= 12) {
    input = document.createElement("select");
    for (let v = c.min; v <= c.max; v++) {
      const o = document.createElement("option");
      o.value = o.textContent = String(v);
      input.append(o);
    }
  } else {
    input = document.createElement("input");
    input.type = "range"; input.min = c.min; input.max = c.max;
  }
  input.value = String(c.value);
  input.dataset.id = c.name;
  input.disabled = !c.enabled || !c.press;
  const shown = document.createElement("output");
  shown.textContent = String(c.value);
  input.addEventListener("input", () => { shown.textContent = input.value; });
  input.addEventListener("change", () => {
    if (Number(input.value) !== c.value) command("/api/press", { id: c.name, value: input.value });
  });
  row.append(input);
  if (input.type === "range") row.append(document.createTextNode(" "), shown);
  return row;
}
function drawRibbon(host) {
  const key = JSON.stringify(host.ribbon) + category + host.tool;
  if (key === ribbonKey) return;
  ribbonKey = key;
  const ribbon = $("ribbon");
  ribbon.replaceChildren();
  const tabs = document.createElement("div");
  tabs.className = "tabs";
  const withPanels = host.ribbon.filter((c) => c.children.length);
  if (category === null) category = Math.max(0, withPanels.findIndex((c) => c.name === "Ribbon_Category_Review"));
  withPanels.forEach((c, i) => {
    const tab = document.createElement("button");
    tab.className = "tab" + (i === category ? " current" : "");
    tab.textContent = c.title || c.name.replace(/^Ribbon_Category_/, "");
    tab.addEventListener("click", () => { category = i; drawRibbon(host); });
    tabs.append(tab);
  });
  ribbon.append(tabs);
  const cat = withPanels[Math.min(category, withPanels.length - 1)];
  if (!cat) return;
  const panels = document.createElement("div");
  panels.className = "panels";
  for (const panel of cat.children) {
    const box = document.createElement("div");
    box.className = "panel";
    const controls = document.createElement("div");
    controls.className = "controls";
    const addControl = (c, into) => {
      if (c.kind === 4) return into.append(slider(c));
      if ((c.kind === 1 || c.kind === 2) && !c.press && c.children.length === 1 && c.children[0].kind === 4)
        return into.append(slider(c.children[0]));
      if ((c.kind === 1 || c.kind === 2) && !c.press && c.children.length) return into.append(group(c));
      const b = document.createElement("button");
      b.className = "control" + (c.checked ? " pressed" : "");
      b.dataset.id = c.name;
      b.textContent = c.title || c.name;
      b.title = c.tooltip || c.title;
      b.disabled = !c.enabled || (!c.press && !c.children.length);
      b.setAttribute("aria-pressed", c.checked ? "true" : "false");
      b.addEventListener("click", () => press(c.name));
      into.append(b);
      for (const child of c.children) addControl(child, into);
    };
    // A parent or menu button without a procedure of its own is no button:
    // its title heads the buttons it holds.
    const group = (c) => {
      const wrap = document.createElement("span");
      wrap.className = "group";
      wrap.dataset.id = c.name;
      const head = document.createElement("span");
      head.className = "head";
      head.textContent = c.title || c.name;
      head.title = c.tooltip || c.title;
      wrap.append(head);
      for (const child of c.children) addControl(child, wrap);
      return wrap;
    };
    for (const c of panel.children) addControl(c, controls);
    const caption = document.createElement("div");
    caption.className = "caption";
    caption.textContent = panel.title || panel.name;
    box.append(controls, caption);
    panels.append(box);
  }
  ribbon.append(panels);
}

// The side panels are the plug-in's modeless dialogs: a title label
// ("..._title") and the value label after it make a row. Without one
// shown, the values the panels reported are listed by element.
function drawSide(host) {
  const table = $("values");
  const rows = [];
  let title = "";
  for (const side of host.sides || []) {
    let pending = null;
    for (const e of side.elements) {
      if (!e.visible || e.type !== "label" || /_icon$/.test(e.name)) continue;
      if (e.name === "label_tool_name") { title = e.text || title; continue; }
      if (/_title$/.test(e.name)) { pending = e.text; continue; }
      rows.push([pending !== null ? pending : e.tooltip || "", e.text, e.name]);
      pending = null;
    }
  }
  if (!rows.length) for (const [name, value] of host.panel || []) rows.push([name, value, name]);
  const key = JSON.stringify([title, rows]);
  if (table.dataset.key === key) return;
  table.dataset.key = key;
  $("sideTitle").textContent = title;
  table.replaceChildren();
  for (const [label, value, name] of rows) {
    const tr = document.createElement("tr");
    const th = document.createElement("th");
    th.textContent = label;
    const td = document.createElement("td");
    td.textContent = value;
    td.dataset.element = name;
    tr.append(th, td);
    table.append(tr);
  }
}

// What a dialog shows follows its choices as the person makes them: a
// preset or a custom ratio (the other's fields are off), a preset fills the
// custom fields with its ratio, the Y scale only with "Separate Y scale",
// the page range only for a custom range.
function followChoices(form) {
  const el = (name) => form.querySelector(`[data-element="${name}"]`);
  const row = (name) => form.querySelector(`[data-row="${name}"]`);
  const update = () => {
    for (const suffix of ["", "_Y"]) {
      const preset = el(`radioButtonPreset${suffix}`), custom = el(`radioButtonCustom${suffix}`);
      if (!preset || !custom) continue;
      if (el(`comboBoxPreset${suffix}`)) el(`comboBoxPreset${suffix}`).disabled = custom.checked;
      for (const f of ["lineEditLeftValue", "comboBoxLeftUnit", "lineEditRightValue", "comboBoxRightUnit"])
        if (el(f + suffix)) el(f + suffix).disabled = preset.checked;
    }
    const separate = el("checkBoxSeparateYScale");
    if (separate)
      for (const r of form.querySelectorAll('[data-row$="_Y"], [data-row="labelYScale"]')) r.hidden = !separate.checked;
    const pages = el("comboBoxPages");
    if (pages)
      for (const name of ["comboBoxPageRange", "lineEditPageRangeMac", "labelPageRangeSummary", "labelPageSample", "labelInfo"])
        if (row(name)) row(name).hidden = pages.selectedIndex !== 2;
  };
  // A preset "1:50" is 1 of a paper unit to 50 of the same unit.
  const fill = (suffix) => {
    const m = /^\s*([\d.]+)\s*:\s*([\d.]+)\s*$/.exec((el(`comboBoxPreset${suffix}`) || {}).value || "");
    if (!m) return;
    el(`lineEditLeftValue${suffix}`).value = m[1];
    el(`lineEditRightValue${suffix}`).value = m[2];
    const left = el(`comboBoxLeftUnit${suffix}`), right = el(`comboBoxRightUnit${suffix}`);
    if (left && right && [...right.options].some((o) => o.value === left.value)) right.value = left.value;
  };
  for (const suffix of ["", "_Y"]) {
    const preset = el(`comboBoxPreset${suffix}`);
    if (preset && el(`lineEditLeftValue${suffix}`)) preset.addEventListener("change", () => fill(suffix));
  }
  form.addEventListener("change", update);
  update();
}

let modalId = 0;
function drawModal(modal) {
  const box = $("modal");
  if (!modal) { box.hidden = true; box.className = ""; modalId = 0; app.dismissModal = null; return; }
  if (modal.id === modalId) return;
  modalId = modal.id;
  box.replaceChildren();
  box.className = "";
  const form = document.createElement("form");
  form.className = "dialog";
  form.dataset.name = modal.name || "message";
  const title = document.createElement("h3");
  title.textContent = modal.title || modal.name || "";
  form.append(title);
  const answer = (result) => {
    const params = { id: modal.id, result };
    for (const el of form.querySelectorAll("[data-element]")) {
      const name = "v." + el.dataset.element;
      if (el.type === "checkbox" || el.type === "radio") params[name] = el.checked ? "1" : "0";
      else if (el.tagName === "TABLE") { const sel = el.querySelector("tr.selected"); if (sel) params[name] = sel.dataset.row; }
      else params[name] = el.value;
    }
    box.hidden = true;
    api("/api/answer", params);
  };
  const buttons = document.createElement("div");
  buttons.className = "buttons";
  const button = (word, result) => {
    const b = document.createElement("button");
    b.type = "button"; b.textContent = t(word); b.dataset.result = result;
    b.addEventListener("click", () => answer(result));
    buttons.append(b);
  };
  // Escape closes a menu choosing nothing, and a dialog or message box as
  // its Cancel would.
  const offered = modal.buttons || [1, 2];
  app.dismissModal = () => answer(modal.type === "menu" ? 0 : offered.includes(2) ? 2 : offered.includes(7) ? 7 : 1);
  if (modal.type === "menu") {
    // A menu stands where the right button was pressed, over no backdrop:
    // a press anywhere else closes it and goes on to what it pressed.
    form.classList.add("menu");
    box.className = "menu";
    if (menuAt) {
      form.style.left = `${Math.min(menuAt.x, window.innerWidth - 200)}px`;
      form.style.top = `${Math.min(menuAt.y, window.innerHeight - 40 * modal.items.length)}px`;
    }
    title.remove();
    modal.items.forEach((item, i) => {
      const b = document.createElement("button");
      b.type = "button"; b.className = "item"; b.textContent = item; b.dataset.result = i + 1;
      b.addEventListener("click", () => answer(i + 1));
      buttons.append(b);
    });
    buttons.classList.add("items");
  } else if (modal.type === "message") {
    const p = document.createElement("p");
    p.textContent = modal.text;
    form.append(p);
    const words = { 1: "OK", 2: "Cancel", 6: "Yes", 7: "No" };
    for (const result of modal.buttons || [1]) button(words[result] || "OK", result);
  } else {
    for (const e of modal.elements) {
      if (!e.visible) continue;
      // The dialog's own OK and Cancel are the page's buttons below.
      if (e.type === "button" && /^pushButton(OK|Cancel)$/.test(e.name)) continue;
      const row = document.createElement("label");
      row.className = "row " + e.type;
      row.dataset.row = e.name;
      if (e.type !== "label" || e.text.length > 24) row.classList.add("wide");
      let input = null;
      // Fields are named by the dialog's labels beside them, else by their
      // tooltips; both come translated.
      if (e.type === "label" || e.type === "generic") {
        row.textContent = e.text;
        if (!e.text) continue;
        row.classList.toggle("wide", e.text.length > 24);
      } else if (e.type === "edit") {
        row.classList.remove("wide");
        // A field no label heads is named by its tooltip, as a list is.
        const prev = form.lastElementChild;
        if (e.tooltip && !(prev && prev.classList.contains("label") && !prev.classList.contains("wide")))
          row.append(document.createTextNode(`${e.tooltip} `));
        input = document.createElement("input");
        input.value = e.text; input.readOnly = e.readonly;
        input.size = 8;
      } else if (e.type === "combobox") {
        row.classList.remove("wide");
        // A list no label heads is named by its tooltip.
        const prev = form.lastElementChild;
        if (e.tooltip && !(prev && prev.classList.contains("label") && !prev.classList.contains("wide")))
          row.append(document.createTextNode(`${e.tooltip} `));
        input = document.createElement("select");
        e.items.forEach((item) => { const o = document.createElement("option"); o.textContent = item; o.value = item; input.append(o); });
        if (e.selected >= 0) input.selectedIndex = e.selected;
      } else if (e.type === "checkbox") {
        // "radioButtonPreset" and "radioButtonCustom" (and their "_Y"
        // twins) are one choice: one of each pair is on.
        const radio = /^radioButton[A-Za-z]+(.*)$/.exec(e.name);
        input = document.createElement("input");
        input.type = radio ? "radio" : "checkbox"; input.checked = e.checked;
        if (radio) { input.name = `choice${radio[1]}`; row.classList.remove("wide"); }
        row.append(input, document.createTextNode(" " + e.text));
        input.dataset.element = e.name; input.disabled = !e.enabled;
        form.append(row);
        continue;
      } else if (e.type === "listbox") {
        input = document.createElement("table");
        const head = document.createElement("tr");
        e.columns.forEach((c) => { const th = document.createElement("th"); th.textContent = c; head.append(th); });
        input.append(head);
        e.rows.forEach((cells, i) => {
          const tr = document.createElement("tr");
          tr.dataset.row = i;
          if (i === e.selected) tr.className = "selected";
          cells.forEach((c) => { const td = document.createElement("td"); td.textContent = c; tr.append(td); });
          tr.addEventListener("click", () => { input.querySelectorAll("tr").forEach((x) => x.classList.remove("selected")); tr.classList.add("selected"); });
          input.append(tr);
        });
      } else if (e.type === "hyperlink") {
        row.textContent = e.text;
      } else if (e.type === "button") {
        const b = document.createElement("button");
        b.type = "button"; b.textContent = e.text || e.tooltip; b.disabled = true; b.title = e.tooltip;
        row.append(b);
      } else {
        continue;  // the button box: OK and Cancel below
      }
      if (input) {
        input.dataset.element = e.name;
        input.disabled = !e.enabled;
        input.title = e.tooltip;
        row.append(input);
      }
      form.append(row);
    }
    followChoices(form);
    button("OK", 1); button("Cancel", 2);
  }
  form.append(buttons);
  form.addEventListener("submit", (ev) => { ev.preventDefault(); answer(1); });
  box.append(form);
  box.hidden = false;
}

// A press outside an open menu closes it before the press goes on.
document.addEventListener("mousedown", (e) => {
  const box = $("modal");
  if (box.hidden || !box.classList.contains("menu") || e.target.closest("#modal form") || !app.dismissModal) return;
  app.dismissModal();
}, true);

buildToolbar();
labelToolbar();
wireInput();
// The document's bytes load while the editor starts and says what to show.
loadDocument(() => true).catch(() => {});
poll();
