// The tool chest in the page: the toolsets the plug-in's chest shows, each
// tool with its preview (as the chest panel draws it) and its name; a new
// toolset, renaming and deleting one, the selection added as tools, and
// tools dragged into another order. Every change is a command of the
// plug-in's chest panel; the page only shows what the panel describes.
const $ = (id) => document.getElementById(id);
let app = null, io = null, words = {};
const w = (key, fallback = "") => words[key] || fallback;
const chest = { key: "", panels: null, loading: false, again: false, editing: null };

export function init(theApp, helpers) {
  app = theApp;
  io = helpers;
}

export function update(host, pageWords) {
  // The words come once; what was drawn before them is drawn again.
  if (pageWords && pageWords !== words) {
    words = pageWords;
    if (chest.panels && !chest.editing) draw();
  }
  const key = JSON.stringify(host.chest || {});
  if (key === chest.key && chest.panels) return;
  chest.key = key;
  load();
}

async function load() {
  if (chest.loading) { chest.again = true; return; }
  chest.loading = true;
  try {
    const panels = await io.api("/api/panels", {}, "GET");
    if (panels && !(panels instanceof ArrayBuffer)) { chest.panels = panels; draw(); }
  } finally {
    chest.loading = false;
  }
  if (chest.again) { chest.again = false; load(); }
}

function panelCommand(name, ...words) {
  return io.command("/api/panel", { name, w: words });
}

// The rows of a panel as groups of items: "group TITLE expanded", then
// "  item NAME [x y w h] selected disabled" and "    shown TEXT".
function parse(rows) {
  const groups = [];
  for (const row of rows) {
    const g = /^group (.*) (expanded|collapsed)$/.exec(row);
    if (g) { groups.push({ title: g[1], expanded: g[2] === "expanded", items: [] }); continue; }
    const it = /^\s+item (.*) \[(-?\d+) (-?\d+) (\d+) (\d+)\]( selected)?( disabled)?$/.exec(row);
    if (it && groups.length) {
      groups[groups.length - 1].items.push({ name: it[1], rect: [+it[2], +it[3], +it[4], +it[5]], selected: !!it[6], disabled: !!it[7], shown: it[1] });
      continue;
    }
    const shown = /^\s+shown (.*)$/.exec(row);
    const items = groups.length ? groups[groups.length - 1].items : [];
    if (shown && items.length) items[items.length - 1].shown = shown[1];
  }
  return groups;
}

function button(text, title, fn, className = "") {
  const b = document.createElement("button");
  b.type = "button";
  b.textContent = text;
  b.title = title;
  b.setAttribute("aria-label", title);
  if (className) b.className = className;
  b.addEventListener("click", fn);
  return b;
}

// A small form for a toolset's title: a new one, or another for one.
function titleForm(initial, done) {
  const form = document.createElement("form");
  form.className = "title";
  const input = document.createElement("input");
  input.value = initial;
  input.setAttribute("aria-label", w("IDS_EDITOR_TOOLSET_TITLE"));
  input.placeholder = w("IDS_EDITOR_TOOLSET_TITLE");
  form.append(input);
  form.addEventListener("submit", (e) => {
    e.preventDefault();
    const title = input.value.trim();
    chest.editing = null;
    if (title) done(title); else draw();
  });
  input.addEventListener("keydown", (e) => { if (e.key === "Escape") { chest.editing = null; draw(); } });
  setTimeout(() => { input.focus(); input.select(); }, 0);
  return form;
}

// The panel's drawing of one item, cut out at the item's cell.
function preview(drawn, rect) {
  const [x0, y0, width, height] = rect;
  const canvas = document.createElement("canvas");
  canvas.width = width;
  canvas.height = height;
  const ctx = canvas.getContext("2d");
  ctx.translate(-x0, -y0);
  for (const item of drawn) {
    const p = item.p;
    const xs = p.filter((_, i) => i % 2 === 0), ys = p.filter((_, i) => i % 2 === 1);
    // Only what lies in this item's cell (the selection frame aside).
    if (Math.max(...xs) < x0 || Math.min(...xs) > x0 + width || Math.max(...ys) < y0 || Math.min(...ys) > y0 + height) continue;
    if (item.k === "rect" && p[0] === x0 && p[1] === y0 && p[2] - p[0] === width) continue;
    ctx.beginPath();
    ctx.lineWidth = Math.max(1, item.w);
    ctx.strokeStyle = item.c;
    ctx.setLineDash(item.dash ? [3, 2] : []);
    if (item.k === "rect") ctx.rect(p[0] + 0.5, p[1] + 0.5, p[2] - p[0], p[3] - p[1]);
    else {
      ctx.moveTo(p[0] + 0.5, p[1] + 0.5);
      for (let i = 2; i + 1 < p.length; i += 2) ctx.lineTo(p[i] + 0.5, p[i + 1] + 0.5);
      if (item.closed) ctx.closePath();
    }
    if (item.fill) { ctx.fillStyle = item.fill; ctx.fill(); }
    ctx.stroke();
  }
  return canvas;
}

function draw() {
  const box = $("chest");
  box.replaceChildren();
  const head = document.createElement("div");
  head.className = "chesthead";
  if (chest.editing === "new") {
    head.append(titleForm("", (title) => panelCommand("ToolShest", "create", title)));
  } else {
    head.append(button(`＋ ${w("IDS_EDITOR_TOOLSET_NEW", "New toolset")}`, w("IDS_EDITOR_TOOLSET_NEW_TIP"), () => {
      chest.editing = "new";
      draw();
    }, "newset"));
  }
  box.append(head);
  for (const [name, panel] of Object.entries(chest.panels || {})) {
    for (const group of parse(panel.rows)) {
      const section = document.createElement("div");
      section.className = "set";
      section.dataset.set = group.title;
      const bar = document.createElement("div");
      bar.className = "sethead";
      if (chest.editing === `rename:${group.title}`) {
        bar.append(titleForm(group.title, (title) => panelCommand(name, "rename", group.title, title)));
      } else {
        const toggle = button(`${group.expanded ? "▾" : "▸"} ${group.title}`, w("IDS_EDITOR_TOOLSET_GROUP_TIP"),
          () => panelCommand(name, "toggle", group.title), "group");
        toggle.setAttribute("aria-expanded", group.expanded ? "true" : "false");
        toggle.setAttribute("aria-label", group.title);
        bar.append(toggle,
          button("＋", w("IDS_EDITOR_TOOLSET_CAPTURE_TIP"), () => panelCommand(name, "capture", group.title), "capture"),
          button("✎", w("IDS_EDITOR_TOOLSET_RENAME_TIP"), () => { chest.editing = `rename:${group.title}`; draw(); }, "rename"),
          button("🗑", w("IDS_EDITOR_TOOLSET_DELETE_TIP"), () => {
            if (window.confirm(`${group.title}: ${w("IDS_EDITOR_TOOLSET_DELETE_ASK")}`)) panelCommand(name, "remove", group.title);
          }, "delete"));
      }
      section.append(bar);
      const tools = document.createElement("div");
      tools.className = "tools";
      group.items.forEach((item, position) => {
        const b = document.createElement("button");
        b.type = "button";
        b.className = "tool" + (item.selected ? " pressed" : "");
        b.disabled = item.disabled;
        b.dataset.set = group.title;
        b.dataset.tool = item.name;
        b.title = `${item.shown} — ${w("IDS_EDITOR_TOOLSET_TOOL_TIP")}`;
        b.setAttribute("aria-label", item.shown);
        b.setAttribute("aria-pressed", item.selected ? "true" : "false");
        const label = document.createElement("span");
        label.textContent = item.shown;
        b.append(preview(panel.drawn || [], item.rect), label);
        b.addEventListener("click", () => panelCommand(name, "click", group.title, item.name));
        // Dragging a tool onto another puts it in that one's place.
        b.draggable = true;
        b.addEventListener("dragstart", (e) => {
          e.dataTransfer.setData("text/plain", JSON.stringify({ set: group.title, tool: item.name }));
          e.dataTransfer.effectAllowed = "move";
        });
        b.addEventListener("dragover", (e) => { e.preventDefault(); b.classList.add("dropping"); });
        b.addEventListener("dragleave", () => b.classList.remove("dropping"));
        b.addEventListener("drop", (e) => {
          e.preventDefault();
          b.classList.remove("dropping");
          let from = null;
          try { from = JSON.parse(e.dataTransfer.getData("text/plain")); } catch (_) { return; }
          if (!from || from.set !== group.title || from.tool === item.name) return;
          panelCommand(name, "move", group.title, from.tool, String(position));
        });
        tools.append(b);
      });
      section.append(tools);
      box.append(section);
    }
  }
}
