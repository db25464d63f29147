// The page's markups list and what goes with working in it: the list of
// every markup of the document (sortable, grouped, filtered, with the
// totals the measurement library counts, exported as CSV), the status
// bar's prompt, pointer position and saved state, tooltips and keyboard
// shortcuts, and a spinner while the page is drawn. Everything the list
// shows comes from the editor (/api/markups); the page only asks.
const COLUMNS = ["page", "kind", "subject", "label", "value", "author", "date"];
const WORD = {
  page: "IDS_EDITOR_MARKUP_PAGE", kind: "IDS_EDITOR_MARKUP_KIND", subject: "IDS_EDITOR_MARKUP_SUBJECT",
  label: "IDS_EDITOR_MARKUP_LABEL", value: "IDS_EDITOR_MARKUP_VALUE", author: "IDS_EDITOR_MARKUP_AUTHOR",
  date: "IDS_EDITOR_MARKUP_DATE",
};
// Keys that pick a tool: a ribbon button by id, or the page's own.
const SHORTCUTS = [
  { key: "d", id: "Button_Distance" },
  { key: "a", id: "Button_Area" },
  { key: "e", id: "Button_CNRubberPart" },
  { key: "v", toolbar: "hand" },
];
const TOOLBAR_TIPS = {
  hand: ["IDS_EDITOR_TIP_SELECT", "V"], undo: ["IDS_EDITOR_TIP_UNDO", "Ctrl+Z"], redo: ["IDS_EDITOR_TIP_REDO", "Ctrl+Y"],
  save: ["IDS_EDITOR_TIP_SAVE", "Ctrl+S"], download: ["IDS_EDITOR_TIP_DOWNLOAD", ""],
};

const $ = (id) => document.getElementById(id);
let app = null, io = null, toolsets = null;
let words = {};
const w = (key, fallback = "") => words[key] || fallback;
const list = { sort: "page", desc: false, group: "none", filter: "", doc: -1, query: "", data: null, loading: false, again: false, selected: "" };

export async function init(theApp, helpers) {
  app = theApp;
  io = helpers;
  buildList();
  buildStatus();
  buildSpinner();
  wireKeys();
  const query = new URL(import.meta.url).search;
  toolsets = await import(`/app/toolsets.js${query}`);
  toolsets.init(app, helpers);
  app.markups = list;
}

// After each snapshot of the editor.
let wordsAsked = false;
export function update(host) {
  if (!host) return;
  // The page's own words, in the session's language, asked for once.
  if (!wordsAsked) {
    wordsAsked = true;
    io.api("/api/words", {}, "GET").then((got) => {
      if (!got || got instanceof ArrayBuffer) { wordsAsked = false; return; }
      words = got;
      if (app.state) update(app.state.host);
    });
  }
  labelList();
  showStatusBar(host);
  tooltips(host);
  if (toolsets) toolsets.update(host, words);
  refresh(host);
}

// ---- the list -----------------------------------------------------------

function buildList() {
  // The list is opened from the toolbar: shut, the page keeps its width.
  const toggle = document.createElement("button");
  toggle.id = "markupsToggle";
  toggle.setAttribute("aria-pressed", "false");
  toggle.addEventListener("click", () => {
    const panel = $("markups");
    panel.hidden = !panel.hidden;
    toggle.setAttribute("aria-pressed", panel.hidden ? "false" : "true");
    if (!panel.hidden && app.state) refresh(app.state.host);
  });
  $("toolbar").append(toggle);

  const panel = document.createElement("section");
  panel.id = "markups";
  panel.hidden = true;
  panel.setAttribute("role", "region");
  const bar = document.createElement("div");
  bar.className = "bar";
  const filter = document.createElement("input");
  filter.id = "markupFilter";
  filter.type = "search";
  let typing = null;
  filter.addEventListener("input", () => {
    clearTimeout(typing);
    typing = setTimeout(() => { list.filter = filter.value; load(); }, 150);
  });
  const groupLabel = document.createElement("label");
  groupLabel.id = "markupGroupLabel";
  const group = document.createElement("select");
  group.id = "markupGroup";
  for (const value of ["none", "label", "kind"]) {
    const o = document.createElement("option");
    o.value = value;
    group.append(o);
  }
  group.addEventListener("change", () => { list.group = group.value; load(); });
  groupLabel.append(document.createElement("span"), group);
  const exportButton = document.createElement("button");
  exportButton.id = "markupExport";
  exportButton.addEventListener("click", exportCsv);
  bar.append(filter, groupLabel, exportButton);

  const table = document.createElement("table");
  table.id = "markupTable";
  const head = document.createElement("thead");
  const tr = document.createElement("tr");
  for (const column of COLUMNS) {
    const th = document.createElement("th");
    th.dataset.column = column;
    const b = document.createElement("button");
    b.type = "button";
    b.addEventListener("click", () => {
      list.desc = list.sort === column ? !list.desc : false;
      list.sort = column;
      load();
    });
    th.append(b);
    tr.append(th);
  }
  head.append(tr);
  table.append(head);
  const scroll = document.createElement("div");
  scroll.className = "rows";
  scroll.append(table);
  panel.append(bar, scroll);
  $("main").append(panel);
}

// Words change with the language, arrows with the sort: the list is
// labelled again only then, not with every state.
let labelled = "";
function labelList() {
  const key = JSON.stringify([words.IDS_EDITOR_MARKUPS, list.sort, list.desc]);
  if (key === labelled) return;
  labelled = key;
  $("markups").setAttribute("aria-label", w("IDS_EDITOR_MARKUPS", "Markups"));
  const toggle = $("markupsToggle");
  toggle.textContent = w("IDS_EDITOR_MARKUPS", "Markups");
  toggle.title = w("IDS_EDITOR_MARKUPS_TIP");
  const filter = $("markupFilter");
  filter.placeholder = w("IDS_EDITOR_MARKUP_FILTER");
  filter.setAttribute("aria-label", w("IDS_EDITOR_MARKUP_FILTER"));
  filter.title = w("IDS_EDITOR_MARKUP_FILTER_TIP");
  $("markupGroupLabel").firstChild.textContent = `${w("IDS_EDITOR_MARKUP_GROUP_BY")} `;
  const names = { none: w("IDS_EDITOR_MARKUP_GROUP_NONE"), label: w("IDS_EDITOR_MARKUP_LABEL"), kind: w("IDS_EDITOR_MARKUP_KIND") };
  for (const o of $("markupGroup").options) o.textContent = names[o.value];
  $("markupExport").textContent = w("IDS_EDITOR_MARKUP_EXPORT");
  $("markupExport").title = w("IDS_EDITOR_MARKUP_EXPORT_TIP");
  for (const th of document.querySelectorAll("#markupTable th")) {
    const column = th.dataset.column;
    const b = th.firstChild;
    b.textContent = w(WORD[column]) + (list.sort === column ? (list.desc ? " ▼" : " ▲") : "");
    b.title = w("IDS_EDITOR_MARKUP_SORT_TIP");
    th.setAttribute("aria-sort", list.sort === column ? (list.desc ? "descending" : "ascending") : "none");
  }
}

function queryParams() {
  return { filter: list.filter, sort: list.sort, desc: list.desc ? 1 : 0, group: list.group };
}

// The list again after the document changed or the person asked for
// another view of it; one request at a time, the last wish wins.
function refresh(host) {
  if ($("markups").hidden) return;
  const query = JSON.stringify(queryParams());
  if (host.doc === list.doc && query === list.query) return;
  load();
}

async function load() {
  if (list.loading) { list.again = true; return; }
  const host = app.state && app.state.host;
  if (!host) return;
  list.loading = true;
  const params = queryParams();
  const doc = host.doc;
  try {
    const data = await io.api("/api/markups", params, "GET");
    if (data && data.groups) {
      list.data = data;
      list.doc = doc;
      list.query = JSON.stringify(params);
      drawList(data);
    }
  } finally {
    list.loading = false;
  }
  labelList();
  if (list.again) { list.again = false; load(); }
}

function cell(tr, text, className = "") {
  const td = document.createElement("td");
  td.textContent = text;
  if (className) td.className = className;
  tr.append(td);
  return td;
}

function drawList(data) {
  const table = $("markupTable");
  for (const body of table.querySelectorAll("tbody")) body.remove();
  const grouped = list.group !== "none";
  let shown = 0;
  for (const group of data.groups) {
    const body = document.createElement("tbody");
    if (grouped) {
      const tr = document.createElement("tr");
      tr.className = "group";
      const td = cell(tr, group.title || "—");
      td.colSpan = COLUMNS.length;
      body.append(tr);
    }
    for (const row of group.rows) {
      shown++;
      const tr = document.createElement("tr");
      tr.className = "markup";
      tr.tabIndex = 0;
      tr.dataset.page = row.page;
      tr.dataset.index = row.index;
      const key = `${row.page}/${row.index}`;
      if (key === list.selected) tr.classList.add("selected");
      cell(tr, String(row.page + 1), "num");
      cell(tr, row.kind);
      cell(tr, row.subject);
      cell(tr, row.label);
      cell(tr, row.value, "num");
      cell(tr, row.author);
      cell(tr, row.date);
      tr.addEventListener("click", () => select(row, tr));
      tr.addEventListener("keydown", (e) => { if (e.key === "Enter") select(row, tr); });
      body.append(tr);
    }
    // A total per kind and unit: lengths, areas and volumes summed, angles
    // and radii counted.
    for (const total of group.totals) {
      const tr = document.createElement("tr");
      tr.className = "total";
      const head = cell(tr, `${w("IDS_EDITOR_MARKUP_TOTAL_ROW", "Total")} ${total.kind}`);
      head.colSpan = 4;
      cell(tr, total.summed ? total.total : "", "num");
      const count = cell(tr, `${w("IDS_EDITOR_MARKUP_COUNT")}: ${total.count}`);
      count.colSpan = 2;
      body.append(tr);
    }
    table.append(body);
  }
  if (!shown) {
    const body = document.createElement("tbody");
    const tr = document.createElement("tr");
    tr.className = "empty";
    cell(tr, w("IDS_EDITOR_MARKUP_NONE")).colSpan = COLUMNS.length;
    body.append(tr);
    table.append(body);
  }
}

// Selects the markup on the page (the Select tool takes it) and brings it
// into view; Delete then deletes it, from the list or the page.
async function select(row, tr) {
  list.selected = `${row.page}/${row.index}`;
  for (const x of document.querySelectorAll("#markupTable tr.selected")) x.classList.remove("selected");
  tr.classList.add("selected");
  tr.focus();
  const done = await io.command("/api/select", { page: row.page, index: row.index });
  if (!done) { list.doc = -1; return load(); }
  await scrollIntoView(row);
}

async function scrollIntoView(row) {
  // The page may have to be drawn first when the markup is on another one.
  for (let i = 0; i < 100; i++) {
    const h = app.state.host;
    if (h.page === row.page && document.body.dataset.rendered === `${h.doc}/${h.page}/${h.zoom}/${h.rotation}`) break;
    await new Promise((r) => setTimeout(r, 30));
  }
  const m = app.state.host.matrix;
  if (!m) return;
  const [l, b, r, t] = row.rect;
  const xs = [], ys = [];
  for (const [x, y] of [[l, b], [r, t], [l, t], [r, b]]) {
    xs.push(m[0] * x + m[2] * y + m[4]);
    ys.push(m[1] * x + m[3] * y + m[5]);
  }
  const viewer = $("viewer"), box = $("overlay").getBoundingClientRect(), frame = viewer.getBoundingClientRect();
  const left = box.left + Math.min(...xs), right = box.left + Math.max(...xs);
  const top = box.top + Math.min(...ys), bottom = box.top + Math.max(...ys);
  if (left < frame.left || right > frame.right) viewer.scrollLeft += (left + right) / 2 - (frame.left + frame.right) / 2;
  if (top < frame.top || bottom > frame.bottom) viewer.scrollTop += (top + bottom) / 2 - (frame.top + frame.bottom) / 2;
}

// What the list shows, totals included, as the editor writes it.
async function exportCsv() {
  const data = await io.api("/api/markups.csv", queryParams(), "GET");
  if (!data) return;
  const host = app.state && app.state.host;
  const stem = ((host && host.file) || "document").replace(/\.[^.]*$/, "");
  io.offerFile(data, `${stem}-markups.csv`, "text/csv");
}

// ---- the status bar -----------------------------------------------------

function buildStatus() {
  const bar = $("statusbar");
  for (const id of ["prompt", "position", "changes"]) {
    const span = document.createElement("span");
    span.id = id;
    bar.insertBefore(span, $("scale"));
  }
  $("prompt").setAttribute("aria-live", "polite");
  const overlay = $("overlay");
  overlay.addEventListener("mousemove", (e) => showPosition(e));
  overlay.addEventListener("mouseleave", () => { $("position").textContent = ""; });
}

function setText(el, text) {
  if (el.textContent !== text) el.textContent = text;
}

function showStatusBar(host) {
  setText($("prompt"), host.prompt || "");
  setText($("changes"), host.unsaved ? w("IDS_EDITOR_UNSAVED") : w("IDS_EDITOR_ALL_SAVED"));
  $("changes").classList.toggle("unsaved", !!host.unsaved);
  $("position").title = w("IDS_EDITOR_POSITION_TIP");
}

// The pointer's page position in the unit of the page's scale (points
// without one), from the lower-left corner of the page.
function showPosition(e) {
  const host = app.state && app.state.host;
  if (!host || !host.matrix) return;
  const [a, b, c, d, ex, fy] = host.matrix;
  const r = $("overlay").getBoundingClientRect();
  const x = e.clientX - r.left - ex, y = e.clientY - r.top - fy;
  const det = a * d - b * c;
  if (!det) return;
  const px = (d * x - c * y) / det, py = (a * y - b * x) / det;
  const unit = host.lengthUnit;
  const factor = unit ? unit.c : 1, name = unit ? unit.u : "pt";
  setText($("position"), `x ${(px * factor).toFixed(2)} ${name}, y ${(py * factor).toFixed(2)} ${name}`);
}

// ---- tooltips and keys --------------------------------------------------

function setTitle(el, text) {
  if (el.title !== text) el.title = text;
}

function withKey(text, key) {
  if (!key) return text;
  return text.endsWith(`(${key})`) ? text : `${text} (${key})`;
}

// Every button says what it does, with its key where it has one.
function tooltips(host) {
  for (const [id, [word, key]] of Object.entries(TOOLBAR_TIPS)) {
    const b = $(id);
    if (b) setTitle(b, withKey(w(word, b.textContent), key));
  }
  for (const s of SHORTCUTS) {
    if (!s.id) continue;
    const b = document.querySelector(`#ribbon [data-id="${s.id}"]`);
    if (b) setTitle(b, withKey(b.title || b.textContent, s.key.toUpperCase()));
  }
  for (const b of document.querySelectorAll("button")) if (!b.title) b.title = b.getAttribute("aria-label") || b.textContent.trim();
  for (const b of document.querySelectorAll("#thumbs .thumb")) setTitle(b, `${w("IDS_EDITOR_PAGE_TIP")}: ${b.dataset.page * 1 + 1}`);
  for (const id of ["zoomIn", "zoomOut"]) if ($(id)) setTitle($(id), withKey($(id).title, "Ctrl+wheel"));
}

// The comment tools whose annotation takes the letters typed after it is
// made.
const TEXT_TOOLS = ["TextBox", "Typewriter", "Callout", "Note"];

function wireKeys() {
  document.addEventListener("keydown", (e) => {
    if (e.ctrlKey || e.altKey || e.metaKey || e.repeat) return;
    if (!$("modal").hidden || !$("notice").hidden || e.target.closest("input,select,textarea")) return;
    // Letters are text while a tool that takes typing is current.
    const tool = app.state && app.state.host && app.state.host.tool;
    if (TEXT_TOOLS.includes(tool)) return;
    const s = SHORTCUTS.find((x) => x.key === e.key.toLowerCase());
    if (!s) return;
    const b = s.id ? document.querySelector(`#ribbon [data-id="${s.id}"]`) : $(s.toolbar);
    if (s.id && !b) {
      // A button of a tab not shown is pressed all the same.
      e.preventDefault();
      io.command("/api/press", { id: s.id });
      return;
    }
    if (b && !b.disabled) { e.preventDefault(); b.click(); }
  });
}

// ---- busy ---------------------------------------------------------------

function buildSpinner() {
  const spinner = document.createElement("div");
  spinner.id = "spinner";
  spinner.setAttribute("role", "status");
  spinner.hidden = true;
  $("viewer").append(spinner);
  // Shown from the moment a drawing of the page starts until it ends (the
  // page's drawing says so in app.rendering); it fades in only after a
  // moment, so that quick drawings do not flicker.
  let rendering = app.rendering;
  Object.defineProperty(app, "rendering", {
    configurable: true,
    get: () => rendering,
    set: (value) => {
      rendering = value;
      const show = !!value;
      if (spinner.hidden !== show) return;
      spinner.hidden = !show;
      spinner.setAttribute("aria-label", w("IDS_EDITOR_BUSY"));
      spinner.title = w("IDS_EDITOR_BUSY");
      document.body.classList.toggle("drawing", show);
    },
  });
}
