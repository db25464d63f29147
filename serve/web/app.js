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

// The view (the page's layers, thumbnails, overlay and zoom), the ribbon
// with the side panel's values, and the dialogs are modules of their own;
// they reach the editor and the page's state through `ui`.
let mouseAt = null, menuAt = null;
const ui = {
  app, t, api, send, command, apply, showStatus, press, pdfjsLoaded,
  mouseAt: () => mouseAt,
  menuAt: () => menuAt,
  selection: null,
};
const [view, ribbon, dialogs] = await Promise.all(
  ["view", "ribbon", "dialogs"].map((name) => import(`/app/${name}.js?t=${token}`)));
for (const m of [view, ribbon, dialogs]) m.init(ui);

// The markups list, the status bar's prompt, tooltips and keys, and the
// tool chest live in markups.js (and toolsets.js); they hear of each state.
let markups = null;
import(`/app/markups.js?t=${token}`).then(async (m) => {
  await m.init(app, { api, command, showStatus, offerFile });
  markups = m;
  if (app.state) m.update(app.state.host);
});

// ---- state --------------------------------------------------------------

function apply(state) {
  if (state.seq <= app.seq) return;
  app.seq = state.seq;
  app.state = state;
  const host = state.host;
  if (host) {
    if (host.lang && host.lang !== lang) { lang = host.lang; document.documentElement.lang = lang; labelToolbar(); }
    ribbon.drawRibbon(host);
    ribbon.drawSide(host);
    view.drawOverlay(host);
    if (ui.selection) ui.selection.update(host);
    view.renderPage(host);
    $("undo").disabled = !host.undo;
    $("redo").disabled = !host.redo;
    showUnsaved(host);
    $("pageNo").textContent = `${t("Page")} ${host.page + 1} / ${host.pages}`;
    view.showZoom(host);
    view.drawThumbs(host);
    showScale(host);
    const tips = host.tips || [], messages = host.messages || [];
    const last = tips.length ? tips[tips.length - 1] : messages.length ? messages[messages.length - 1] : "";
    if (last) showStatus(last);
    if (markups) markups.update(host);
  }
  dialogs.drawModal(state.modal);
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

// ---- the selection (selection.js) -----------------------------------------

import(`/app/selection.js?t=${token}`).then((m) => {
  ui.selection = m.initSelection({
    app, $, send, command,
    mouseAt: () => mouseAt,
    redrawOverlay: view.drawOverlay,
  });
  if (app.state && app.state.host) {
    view.drawOverlay(app.state.host);
    ui.selection.update(app.state.host);
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
    if (ui.selection) ui.selection.pointerDown(at(e), e.button);
    pointer(e.button === 2 ? "rdown" : "down", e);
  });
  window.addEventListener("mousemove", (e) => {
    if (panFrom) return pan(e);
    mouseAt = at(e);
    if (ui.selection && (dragging || e.target === overlay)) ui.selection.pointerMove(mouseAt, dragging);
    if (dragging || e.target === overlay) pointer("move", e);
  });
  window.addEventListener("mouseup", (e) => {
    if (panFrom) { panFrom = null; viewer.classList.remove("panning"); return; }
    if (!dragging) return;
    dragging = false;
    if (ui.selection) ui.selection.pointerUp();
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
    view.zoom(factor, { x: e.clientX, y: e.clientY });
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
    if (ui.selection && ui.selection.key(e)) return;
    // Page Up and Page Down turn the pages of a file that has more than
    // one; on a single page they scroll it.
    const host = app.state && app.state.host;
    if ((e.key === "PageDown" || e.key === "PageUp") && host && host.pages > 1 && !e.ctrlKey) {
      e.preventDefault();
      return view.goToPage(host.page + (e.key === "PageDown" ? 1 : -1));
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

async function save() {
  const done = await command("/api/save", {}, (status, body) => {
    if (status !== 409 || !body || !body.changedOnDisk) return false;
    dialogs.askAboutConflict(body.error);
    return true;
  });
  if (done) showStatus(t("Saved"));
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
  add("zoomOut", "−", () => view.zoom(0.8));
  const pct = document.createElement("input");
  pct.id = "zoomPct"; pct.size = 5;
  pct.addEventListener("keydown", (e) => { if (e.key === "Enter") { e.preventDefault(); pct.blur(); } });
  pct.addEventListener("change", view.typedZoom);
  bar.append(pct);
  add("zoomIn", "+", () => view.zoom(1.25));
  // Their words come with the editor's state, in its language.
  add("fitPage", "Fit page", () => view.fit("page")).removeAttribute("data-word");
  add("fitWidth", "Fit width", () => view.fit("width")).removeAttribute("data-word");
  add("rotate", "⟳", () => command("/api/view", { rotation: (app.state.host.rotation + 90) % 360 }));
  add("prev", "◀", () => view.goToPage(app.state.host.page - 1));
  const no = document.createElement("span"); no.id = "pageNo"; bar.append(no);
  add("next", "▶", () => view.goToPage(app.state.host.page + 1));
  document.body.insertBefore(bar, $("main"));
}

buildToolbar();
labelToolbar();
wireInput();
// The document's bytes load while the editor starts and says what to show.
view.loadDocument(() => true).catch(() => {});
poll();
