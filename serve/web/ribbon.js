// The ribbon as the plug-in registered it (tabs, panels, buttons, groups
// and sliders, translated, with their pressed state) and the side panel of
// the values the plug-in's panels report. A press goes to the editor.
const $ = (id) => document.getElementById(id);

// What the page gives this module: requests (`command`) and the press of
// a ribbon button (`press`, which also offers a file the press saved).
let ui = null;
export function init(context) {
  ui = context;
}
const command = (...args) => ui.command(...args);
const press = (id) => ui.press(id);

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
export function drawRibbon(host) {
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
export function drawSide(host) {
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
