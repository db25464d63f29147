// The selection on the page: grips on the selected annotations, cursors
// that say what a drag will do, an outline that follows the pointer while
// dragging, Ctrl+A/C/V, and the properties panel. The editor does every
// change; this module only shows the selection the editor reports and
// sends what the person chose.

// As the editor finds them: a vertex within 5 pixels first, then a frame
// handle of a box whose sides are both at least 30 pixels, then the body.
const NEAR = 5, MIN_FRAMED = 30;
const RESIZE_CURSORS = ["nwse-resize", "ns-resize", "nesw-resize", "ew-resize", "nwse-resize", "ns-resize", "nesw-resize", "ew-resize"];
const ENDINGS = ["None", "Square", "Circle", "Diamond", "OpenArrow", "ClosedArrow", "Butt", "ROpenArrow", "RClosedArrow", "Slash"];
const DASHES = [0, 2, 4, 8];

export function initSelection(ui) {
  const { app, $, send, command } = ui;
  const host = () => app.state && app.state.host;
  const selecting = (h) => h && (h.tool === "Hand" || h.tool === "Annot");
  let drag = null;  // { start, target, grip, at }
  let panelClosed = false, propertiesAsked = null;

  function frameHandles(r) {
    const [l, t, rr, b] = r, mx = Math.round((l + rr) / 2), my = Math.round((t + b) / 2);
    if (rr - l < MIN_FRAMED || b - t < MIN_FRAMED) return [];
    return [[l, t], [mx, t], [rr, t], [rr, my], [rr, b], [mx, b], [l, b], [l, my]];
  }
  const near = (p, x, y) => Math.abs(p[0] - x) <= NEAR && Math.abs(p[1] - y) <= NEAR;

  // What a press at (x, y) does to the selected annotation there: a vertex,
  // a frame handle (1 to 8) or its body; null off every one of them.
  function gripAt(h, x, y) {
    const sel = (h.selection || []).filter((s) => s.here && s.rect);
    // The focused one first, as the editor draws it on top of the others.
    sel.sort((a, b) => (b.focused ? 1 : 0) - (a.focused ? 1 : 0));
    for (const s of sel) {
      for (let i = 0; i + 1 < s.points.length; i += 2)
        if (near([s.points[i], s.points[i + 1]], x, y)) return { s, kind: "vertex", index: i / 2 };
      const frame = frameHandles(s.rect);
      for (let i = 0; i < frame.length; i++) if (near(frame[i], x, y)) return { s, kind: "frame", index: i + 1 };
      const [l, t, r, b] = s.rect;
      if (x >= l && x <= r && y >= t && y <= b) return { s, kind: "body" };
    }
    return null;
  }

  function cursorFor(grip) {
    if (!grip) return "default";
    if (grip.kind === "vertex") return "crosshair";
    if (grip.kind === "frame") return RESIZE_CURSORS[grip.index - 1];
    return "move";
  }

  // The outline of the dragged annotation where the drag would leave it.
  function draggedShape(d, x, y) {
    const dx = x - d.start.x, dy = y - d.start.y, s = d.grip.s;
    let [l, t, r, b] = s.rect;
    let pts = s.points.slice();
    if (d.grip.kind === "vertex") {
      pts[2 * d.grip.index] = x;
      pts[2 * d.grip.index + 1] = y;
      return { rect: null, pts, closed: s.props.subtype === "Polygon" };
    }
    if (d.grip.kind === "body") {
      for (let i = 0; i + 1 < pts.length; i += 2) { pts[i] += dx; pts[i + 1] += dy; }
      return { rect: [l + dx, t + dy, r + dx, b + dy], pts, closed: s.props.subtype === "Polygon" };
    }
    const h = d.grip.index;
    if (h === 1 || h === 7 || h === 8) l += dx;
    if (h === 3 || h === 4 || h === 5) r += dx;
    if (h === 1 || h === 2 || h === 3) t += dy;
    if (h === 5 || h === 6 || h === 7) b += dy;
    return { rect: [Math.min(l, r), Math.min(t, b), Math.max(l, r), Math.max(t, b)], pts: [], closed: false };
  }

  function drawGrips(h) {
    const canvas = $("overlay");
    if (!selecting(h)) return;
    const ctx = canvas.getContext("2d");
    ctx.save();
    ctx.setLineDash([]);
    for (const s of h.selection || []) {
      if (!s.here || !s.rect) continue;
      ctx.lineWidth = 1;
      ctx.strokeStyle = s.focused ? "#c00" : "#333";
      ctx.fillStyle = "#fff";
      for (const [x, y] of frameHandles(s.rect)) {
        ctx.fillRect(x - 3, y - 3, 7, 7);
        ctx.strokeRect(x - 2.5, y - 2.5, 6, 6);
      }
      ctx.fillStyle = s.focused ? "#1a73e8" : "#555";
      for (let i = 0; i + 1 < s.points.length; i += 2) {
        ctx.beginPath();
        ctx.arc(s.points[i] + 0.5, s.points[i + 1] + 0.5, 4, 0, 2 * Math.PI);
        ctx.fill();
        ctx.strokeStyle = "#fff";
        ctx.stroke();
      }
    }
    if (drag && drag.at) {
      const shape = draggedShape(drag, drag.at.x, drag.at.y);
      ctx.strokeStyle = "#1a73e8";
      ctx.lineWidth = 1;
      ctx.setLineDash([5, 3]);
      if (shape.rect) {
        const [l, t, r, b] = shape.rect;
        ctx.strokeRect(l + 0.5, t + 0.5, r - l, b - t);
      }
      if (shape.pts.length >= 4) {
        ctx.beginPath();
        ctx.moveTo(shape.pts[0] + 0.5, shape.pts[1] + 0.5);
        for (let i = 2; i + 1 < shape.pts.length; i += 2) ctx.lineTo(shape.pts[i] + 0.5, shape.pts[i + 1] + 0.5);
        if (shape.closed) ctx.closePath();
        ctx.stroke();
      }
    }
    ctx.restore();
    canvas.dataset.dragging = drag && drag.at ? drag.grip.kind : "";
  }

  function setCursor(h, p) {
    if (!selecting(h)) return;
    const canvas = $("overlay");
    if (drag && drag.at) canvas.style.cursor = cursorFor(drag.grip);
    else canvas.style.cursor = p ? cursorFor(gripAt(h, p.x, p.y)) : "default";
  }

  // ---- the properties panel ----------------------------------------------

  // A control of the Format tab (precision, unit, caption, depth) by name,
  // anywhere in the ribbon: the plug-in keeps those for the selection.
  function ribbonControl(h, name) {
    const walk = (list) => {
      for (const c of list || []) {
        if (c.name === name) return c;
        const inner = walk(c.children);
        if (inner) return inner;
      }
      return null;
    };
    return walk(h.ribbon);
  }

  function row(table, label, control) {
    const tr = document.createElement("tr");
    const th = document.createElement("th");
    th.textContent = label;
    const td = document.createElement("td");
    td.append(control);
    tr.append(th, td);
    table.append(tr);
    return control;
  }
  const set = (name, value) => command("/api/property", { name, value });

  function textInput(value, name) {
    const input = document.createElement("input");
    input.type = "text";
    input.value = value;
    input.name = name;
    input.addEventListener("change", () => set(name, input.value));
    input.addEventListener("keydown", (e) => { if (e.key === "Enter") input.blur(); });
    return input;
  }
  function select(options, value, onChange, name) {
    const s = document.createElement("select");
    s.name = name;
    for (const [v, text] of options) {
      const o = document.createElement("option");
      o.value = v;
      o.textContent = text;
      s.append(o);
    }
    s.value = value;
    s.addEventListener("change", () => onChange(s.value));
    return s;
  }
  function colour(value, name, noneAllowed, w) {
    const span = document.createElement("span");
    const input = document.createElement("input");
    input.type = "color";
    input.name = name;
    input.value = (value || "#000000").toLowerCase();
    input.addEventListener("change", () => set(name, input.value.toUpperCase()));
    span.append(input);
    if (noneAllowed) {
      const label = document.createElement("label");
      const none = document.createElement("input");
      none.type = "checkbox";
      none.name = `${name}None`;
      none.checked = !value;
      input.disabled = !value;
      none.addEventListener("change", () => set(name, none.checked ? "none" : input.value.toUpperCase()));
      label.append(none, ` ${w("IDS_EDITOR_PROPS_NONE")}`);
      span.append(label);
    }
    return span;
  }

  function drawPanel(h) {
    const panel = $("props");
    const sel = (h && h.selection) || [];
    if (h && propertiesAsked !== null && h.propertiesAsked > propertiesAsked) panelClosed = false;
    if (h) propertiesAsked = h.propertiesAsked;
    const key = JSON.stringify([sel.map((s) => s.props), h && h.doc, panelClosed]);
    // Rebuilt only when what it shows changed, so a field being typed in
    // keeps its text and focus while other updates come in.
    if (panel.dataset.key === key) return;
    panel.dataset.key = key;
    panel.replaceChildren();
    panel.hidden = !sel.length || panelClosed;
    if (panel.hidden) return;
    const w = (k) => (h.words && h.words[k]) || k;
    const focused = sel.find((s) => s.focused) || sel[0];
    const p = focused.props;
    const head = document.createElement("h3");
    head.textContent = w("IDS_EDITOR_PROPS_TITLE");
    const close = document.createElement("button");
    close.textContent = "×";
    close.className = "close";
    close.title = w("IDS_EDITOR_PROPS_CLOSE");
    close.addEventListener("click", () => { panelClosed = true; drawPanel(host()); });
    head.append(close);
    panel.append(head);
    const kind = document.createElement("div");
    kind.className = "kind";
    kind.textContent = (p.kind || p.subtype) + (sel.length > 1 ? ` — ${w("IDS_EDITOR_PROPS_SEVERAL").replace("%1", sel.length)}` : "");
    panel.append(kind);
    const table = document.createElement("table");
    panel.append(table);
    const editable = p.settable;
    // A kind whose handler says what it has shows only that; another shows
    // every style of a drawn shape.
    const offers = p.offers ? new Set(p.offers) : null;
    const has = (name) => !offers || offers.has(name);
    if (has("subject")) row(table, w("IDS_EDITOR_PROPS_SUBJECT"), textInput(p.subject, "subject"));
    if (offers && offers.has("contents")) row(table, w("IDS_EDITOR_PROPS_CONTENTS"), textInput(p.contents, "contents"));
    const measurement = !!p.intent && /Dimension|Angle|Volume|Radius/.test(p.intent);
    if (measurement) {
      const value = document.createElement("output");
      value.textContent = p.contents;
      value.className = "value";
      row(table, w("IDS_EDITOR_PROPS_VALUE"), value);
      const unit = ribbonControl(h, "Measure_Prop_Unit");
      if (unit && unit.children && unit.children.length) {
        const opts = unit.children.map((c) => [c.name, c.title]);
        const current = unit.children.find((c) => c.checked);
        row(table, unit.title || "Unit",
            select(opts, current ? current.name : "", (v) => command("/api/press", { id: v }), "unit"));
      }
      row(table, w("IDS_EDITOR_PROPS_LABEL"), textInput(p.label, "label"));
      const precision = ribbonControl(h, "Measure_Prop_Precision");
      if (precision) {
        const opts = [];
        for (let v = precision.min; v <= precision.max; v++) opts.push([String(v), String(v)]);
        row(table, precision.title || "Precision",
            select(opts, String(precision.value), (v) => command("/api/press", { id: precision.name, value: v }), "precision"));
      }
      for (const name of ["Measure_Prop_Caption", "Measure_Prop_Label"]) {
        const c = ribbonControl(h, name);
        if (!c) continue;
        const box = document.createElement("input");
        box.type = "checkbox";
        box.name = name;
        box.checked = !!c.checked;
        box.disabled = !c.enabled;
        box.addEventListener("change", () => command("/api/press", { id: name }));
        row(table, c.title, box);
      }
      const depth = ribbonControl(h, "Measure_Prop_Depth");
      if (depth && depth.enabled && p.intent === "PolygonVolume") {
        const b = document.createElement("button");
        b.textContent = depth.title;
        b.name = "depth";
        b.addEventListener("click", () => command("/api/press", { id: depth.name }));
        row(table, "", b);
      }
    }
    if (has("color")) row(table, w("IDS_EDITOR_PROPS_COLOR"), colour(p.color, "color", false, w));
    if (offers ? offers.has("fill") : p.subtype !== "Line" && p.subtype !== "PolyLine")
      row(table, w("IDS_EDITOR_PROPS_FILL"), colour(p.fill, "fill", true, w));
    const number = (value, name, min, step) => {
      const input = document.createElement("input");
      input.type = "number";
      input.name = name;
      input.min = String(min);
      input.max = "100";
      input.step = String(step);
      input.value = String(Math.round(value * 100) / 100);
      input.addEventListener("change", () => set(name, input.value));
      return input;
    };
    if (has("width")) row(table, w("IDS_EDITOR_PROPS_WIDTH"), number(p.width, "width", 0, 0.5));
    const dashes = DASHES.includes(p.dash) ? DASHES : [...DASHES, p.dash];
    if (has("dash"))
      row(table, w("IDS_EDITOR_PROPS_DASH"),
          select(dashes.map((d) => [String(d), d === 0 ? "———" : `${"- ".repeat(Math.max(1, 6 - d / 2))}(${d})`]), String(p.dash),
                 (v) => set("dash", v), "dash"));
    if (offers && offers.has("fontSize")) row(table, w("IDS_EDITOR_PROPS_FONT_SIZE"), number(p.fontSize, "fontSize", 1, 1));
    if (offers && offers.has("fontColor")) row(table, w("IDS_EDITOR_PROPS_FONT_COLOR"), colour(p.fontColor, "fontColor", false, w));
    const opacity = document.createElement("input");
    opacity.type = "range";
    opacity.name = "opacity";
    opacity.min = "0";
    opacity.max = "100";
    opacity.value = String(Math.round(p.opacity * 100));
    const shown = document.createElement("span");
    shown.textContent = ` ${opacity.value} %`;
    opacity.addEventListener("input", () => { shown.textContent = ` ${opacity.value} %`; });
    opacity.addEventListener("change", () => set("opacity", opacity.value));
    const op = document.createElement("span");
    op.append(opacity, shown);
    if (has("opacity")) row(table, w("IDS_EDITOR_PROPS_OPACITY"), op);
    if (p.lineEndings) {
      const opts = ENDINGS.map((e) => [e, w(`IDS_EDITOR_ENDING_${e.toUpperCase()}`)]);
      row(table, w("IDS_EDITOR_PROPS_START"), select(opts, p.start, (v) => set("start", v), "start"));
      row(table, w("IDS_EDITOR_PROPS_END"), select(opts, p.end, (v) => set("end", v), "end"));
    }
    // What the annotation's kind cannot set is shown but not offered.
    if (!editable)
      for (const el of table.querySelectorAll("input[name=subject],input[name=label],input[name=contents],input[type=color],input[type=number],input[type=range],select[name=dash],select[name=start],select[name=end]"))
        el.disabled = true;
  }

  return {
    // After each state: cursor and panel.
    update(h) {
      if (drag && !selecting(h)) drag = null;
      setCursor(h, ui.mouseAt());
      drawPanel(h);
    },
    // Whenever the overlay was drawn: the grips and a dragged outline.
    drawOn(h) { drawGrips(h); },
    pointerDown(p, button) {
      const h = host();
      drag = button === 0 && selecting(h) ? { start: p, grip: gripAt(h, p.x, p.y), at: null } : null;
    },
    // While the button is held the outline follows the pointer; a press on
    // an annotation that was not selected finds its grip once the editor
    // has selected it.
    pointerMove(p, held) {
      const h = host();
      if (drag && held) {
        if (!drag.grip) drag.grip = gripAt(h, drag.start.x, drag.start.y);
        if (drag.grip && (Math.abs(p.x - drag.start.x) > 1 || Math.abs(p.y - drag.start.y) > 1)) drag.at = p;
      }
      if (h) {
        ui.redrawOverlay(h);
        setCursor(h, p);
      }
    },
    pointerUp() { drag = null; },
    // Ctrl+A, Ctrl+C and Ctrl+V go to the editor as keys.
    key(e) {
      const h = host();
      if (!e.ctrlKey || !selecting(h)) return false;
      const code = { a: 65, c: 67, v: 86 }[e.key.toLowerCase()];
      if (!code) return false;
      e.preventDefault();
      send({ kind: "key", key: code, ctrl: 1, shift: e.shiftKey ? 1 : 0 });
      return true;
    },
  };
}
