// Attach in the browser. The editor cannot open a file dialog of its own
// here, so while the Attach tool is current a press on the page opens the
// browser's file picker instead of going to the tool; the file chosen goes
// to the editor with the point pressed (/api/attach), and the tool attaches
// it there as one undo step, selected.

// The largest file the editor takes; it refuses a larger one itself too.
const MAX_BYTES = 16 * 1024 * 1024;

export function initAttach({ app, token, apply, showStatus }) {
  const input = document.createElement("input");
  input.type = "file";
  input.hidden = true;
  input.id = "attach-file";
  document.body.append(input);
  let pressed = null;
  input.addEventListener("change", () => {
    const file = input.files && input.files[0];
    const at = pressed;
    pressed = null;
    input.value = "";
    if (file && at) upload(file, at);
  });

  function refuse(why) {
    app.errors.push(why);
    showStatus(why, true);
  }

  async function upload(file, at) {
    if (file.size > MAX_BYTES) {
      return refuse(`“${file.name}” is larger than 16 MB; only smaller files can be attached.`);
    }
    app.busy++;
    try {
      // Events sent before the press reach the editor first.
      await app.flush();
      const query = new URLSearchParams({ page: at.page, x: at.x, y: at.y, name: file.name, t: token });
      let res, body;
      try {
        res = await fetch(`/api/attach?${query}`, {
          method: "POST",
          headers: { "X-Annot-Token": token, "Content-Type": "application/octet-stream" },
          body: file,
        });
        body = await res.json().catch(() => null);
      } catch (e) {
        return refuse(`“${file.name}” could not be sent to the editor.`);
      }
      if (!res.ok) return refuse(body && body.error ? body.error : `HTTP ${res.status}`);
      if (body && body.seq !== undefined) apply(body);
      showStatus(`Attached “${file.name}”.`);
    } finally {
      app.busy--;
    }
  }

  return {
    // True when the press was the Attach tool's: the picker opens, and the
    // press goes no further.
    pointerDown(point, button) {
      const host = app.state && app.state.host;
      if (!host || host.tool !== "Attach" || button !== 0) return false;
      pressed = { page: host.page, x: point.x, y: point.y };
      input.click();
      return true;
    },
  };
}
