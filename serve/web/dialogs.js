// The dialogs and message boxes the plug-in opens, answered on the page;
// an annotation's menu where the right button was pressed; and the page's
// own question when another program wrote the file since it was opened.
const $ = (id) => document.getElementById(id);

// What the page gives this module: the editor's state (`app`), requests
// (`api`, `command`), a state to show (`apply`), the status line, the
// page's words and where the right button was last pressed.
let ui = null, app = null;
export function init(context) {
  ui = context;
  app = context.app;
}
const api = (...args) => ui.api(...args);
const command = (...args) => ui.command(...args);
const apply = (state) => ui.apply(state);
const showStatus = (...args) => ui.showStatus(...args);
const t = (word) => ui.t(word);

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
export function drawModal(modal) {
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
    const menuAt = ui.menuAt();
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
  if (box.hidden || !box.classList.contains("menu") || e.target.closest("#modal form") || !app || !app.dismissModal) return;
  app.dismissModal();
}, true);
// Another program wrote the file since it was opened here: saving over it
// would lose what that program wrote. The page offers a copy beside the
// file, or the file as it is now (after asking, since that drops the
// changes made here).
export function askAboutConflict(why) {
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
