// Shared by the browser tests: an `annot serve` child, headless Chromium
// through playwright-core, and screenshots kept under the build folder.
import { spawn, execFileSync } from "node:child_process";
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import path from "node:path";
import { chromium } from "playwright-core";

export const buildDir = process.env.ANNOT_BUILD_DIR || path.resolve("build");
export const annot = path.join(buildDir, "bin", "annot");
export const chromiumPath = process.env.ANNOT_CHROMIUM || "/usr/bin/chromium";

// Preferences for measuring on a page without a scale without being asked
// for one first.
export const noScalePrompt = "[Measurement]\nShowCalibrateTip=0\n";

// A temporary folder with its own settings (`preferences`, when given, as
// the preference file's text) and toolsets.
export function workFolder(name, preferences = "") {
  const dir = mkdtempSync(path.join(tmpdir(), `annot-browser-${name}-`));
  const env = { ...process.env, XDG_CONFIG_HOME: path.join(dir, "config"), XDG_DATA_HOME: path.join(dir, "data") };
  if (preferences) {
    mkdirSync(path.join(dir, "config", "annot"), { recursive: true });
    writeFileSync(path.join(dir, "config", "annot", "preferences.ini"), preferences);
  }
  return { dir, env, cleanup: () => rmSync(dir, { recursive: true, force: true }) };
}

export function run(args, env) {
  return execFileSync(annot, args, { env, encoding: "utf8" });
}

// Starts `annot serve FILE` and resolves with its address once printed.
export function serve(file, env, extra = []) {
  const child = spawn(annot, ["serve", file, ...extra], { env, stdio: ["ignore", "pipe", "pipe"] });
  let out = "", err = "";
  child.stderr.on("data", (d) => (err += d));
  const url = new Promise((resolve, reject) => {
    child.stdout.on("data", (d) => {
      out += d;
      const m = out.match(/http:\/\/127\.0\.0\.1:\d+\/\?t=[0-9a-f]+/);
      if (m) resolve(m[0]);
    });
    child.on("exit", (code) => reject(new Error(`annot serve exited ${code}: ${err}`)));
  });
  const stop = () => new Promise((resolve) => {
    if (child.exitCode !== null) return resolve(child.exitCode);
    child.on("exit", (code) => resolve(code));
    child.kill("SIGINT");
  });
  return { child, url, stop, output: () => out };
}

export async function openBrowser() {
  return chromium.launch({ executablePath: chromiumPath, args: ["--no-sandbox", "--disable-gpu"] });
}

// Screenshots of each step go to build/browser-artifacts/<test>/NN-step.png.
export function shooter(page, test) {
  const dir = path.join(buildDir, "browser-artifacts", test);
  mkdirSync(dir, { recursive: true });
  let n = 0;
  return async (step) => {
    n += 1;
    const file = path.join(dir, `${String(n).padStart(2, "0")}-${step}.png`);
    await page.screenshot({ path: file });
    return file;
  };
}

// The page finished drawing the document version the editor has now.
export async function settled(page) {
  await page.evaluate(() => window.annot.flush());
  await page.waitForFunction(() => {
    const a = window.annot;
    const h = a.state && a.state.host;
    return h && h.matrix && document.body.dataset.rendered === `${h.doc}/${h.page}/${h.zoom}/${h.rotation}` && !a.busy;
  });
}

// Viewport position of a page point (PDF units) through the view's matrix.
export async function pagePoint(page, x, y) {
  const m = await page.evaluate(() => window.annot.state.host.matrix);
  const box = await page.locator("#overlay").boundingBox();
  return { x: box.x + m[0] * x + m[2] * y + m[4], y: box.y + m[1] * x + m[3] * y + m[5] };
}

export async function clickAt(page, x, y, options = {}) {
  const p = await pagePoint(page, x, y);
  await page.mouse.click(p.x, p.y, options);
  await page.evaluate(() => window.annot.flush());
}

export async function hostState(page) {
  return page.evaluate(() => window.annot.state.host);
}

// Serves `file`, opens it in a new page of Chromium and runs `body` with the
// page, its screenshot taker, the server and the errors the page throws;
// everything is closed and `work` removed afterwards, whatever happens.
// `options` may name the page's language and Chromium's page options.
export async function withEditor(name, file, work, body, { lang = "en-US", ...pageOptions } = {}) {
  const server = serve(file, work.env, ["--lang", lang]);
  const browser = await openBrowser();
  try {
    const page = await browser.newPage({ viewport: { width: 1280, height: 800 }, acceptDownloads: true, ...pageOptions });
    const errors = [];
    page.on("pageerror", (e) => errors.push(String(e)));
    await page.goto(await server.url);
    await settled(page);
    await body(page, shooter(page, name), server, errors);
  } finally {
    await browser.close();
    await server.stop();
    work.cleanup();
  }
}

// A PDF with empty pages of the given sizes in points.
export function pagesPdf(file, sizes) {
  const kids = sizes.map((_, i) => `${i + 3} 0 R`).join(" ");
  const objects = ["<< /Type /Catalog /Pages 2 0 R >>", `<< /Type /Pages /Kids [${kids}] /Count ${sizes.length} >>`,
    ...sizes.map(([w, h]) => `<< /Type /Page /Parent 2 0 R /MediaBox [0 0 ${w} ${h}] >>`)];
  return writePdf(file, objects);
}

// A PDF of `objects` (the text of objects 1, 2, ...; object 1 is the
// catalog) with its cross-reference table.
export function writePdf(file, objects) {
  let out = "%PDF-1.7\n";
  const offsets = objects.map((body, i) => {
    const at = out.length;
    out += `${i + 1} 0 obj\n${body}\nendobj\n`;
    return at;
  });
  const xref = out.length;
  out += `xref\n0 ${objects.length + 1}\n0000000000 65535 f \n`;
  for (const at of offsets) out += `${String(at).padStart(10, "0")} 00000 n \n`;
  out += `trailer\n<< /Size ${objects.length + 1} /Root 1 0 R >>\nstartxref\n${xref}\n%%EOF\n`;
  writeFileSync(file, out);
  return file;
}

// The pixels of the view (the page with its annotations over it) inside a
// page rectangle [l, b, r, t], counted by which of red, green and blue
// clearly leads, and the dark ones, with the rows they span.
export async function viewInks(page, [l, b, r, t]) {
  return page.evaluate(([l, b, r, t]) => {
    const m = window.annot.state.host.matrix;
    const dev = (x, y) => [m[0] * x + m[2] * y + m[4], m[1] * x + m[3] * y + m[5]];
    const [x0, y0] = dev(l, t), [x1, y1] = dev(r, b);
    const left = Math.round(Math.min(x0, x1)), top = Math.round(Math.min(y0, y1));
    const w = Math.round(Math.abs(x1 - x0)), h = Math.round(Math.abs(y1 - y0));
    const view = document.createElement("canvas");
    view.width = w;
    view.height = h;
    const ctx = view.getContext("2d");
    for (const id of ["page", "annots"]) ctx.drawImage(document.getElementById(id), -left, -top);
    const d = ctx.getImageData(0, 0, w, h).data;
    const out = { red: 0, green: 0, blue: 0, dark: 0, darkTop: h, darkBottom: -1, greenTop: h, greenBottom: -1 };
    for (let y = 0; y < h; y++)
      for (let x = 0; x < w; x++) {
        const i = 4 * (y * w + x);
        if (d[i + 3] < 128) continue;
        const [R, G, B] = [d[i], d[i + 1], d[i + 2]];
        if (R > G + 80 && R > B + 80) out.red++;
        else if (G > R + 60 && G > B + 60) {
          out.green++;
          out.greenTop = Math.min(out.greenTop, y);
          out.greenBottom = Math.max(out.greenBottom, y);
        } else if (B > R + 80 && B > G + 80) out.blue++;
        else if (R < 90 && G < 90 && B < 90) {
          out.dark++;
          out.darkTop = Math.min(out.darkTop, y);
          out.darkBottom = Math.max(out.darkBottom, y);
        }
      }
    return out;
  }, [l, b, r, t]);
}
