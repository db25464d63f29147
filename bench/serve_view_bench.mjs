// annot serve's view in headless Chromium (Debian's, through playwright-core)
// on the 100,000-segment floor plan, beside pdf.js alone in the same run:
//
//   first paint   the editor's page from navigation until the plan is drawn,
//                 against a page that only loads pdf.js and draws the same
//                 file from the same server origin (their ratio);
//   commit        from the mouse release that ends a measurement, the undo
//                 of one, or the end of a drag, until the view shows it;
//   drag move     from a move of the mouse during a drag until the editor
//                 answered it and the overlay is drawn (p50, p99).
//
//   node bench/serve_view_bench.mjs [BUILD_DIR] [RUNS] [first-paint|editing]
import { spawn, execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { createRequire } from "node:module";

const here = path.dirname(fileURLToPath(import.meta.url));
const build = path.resolve(process.argv[2] || path.join(here, "..", "build"));
const runs = Number(process.argv[3] || 5);
const only = process.argv[4] || "";
const annot = path.join(build, "bin", "annot");
const chromiumPath = process.env.ANNOT_CHROMIUM || "/usr/bin/chromium";
const { chromium } = createRequire(path.join(here, "..", "package.json"))("playwright-core");

const work = mkdtempSync(path.join(tmpdir(), "annot-view-bench-"));
const env = { ...process.env, XDG_CONFIG_HOME: path.join(work, "config"), XDG_DATA_HOME: path.join(work, "data") };
const plan = path.join(work, "plan.pdf");
execFileSync(annot, ["sample", "floorplan", "--segments", "100000", "-o", plan], { env });
const planBytes = readFileSync(plan);

function serve() {
  const child = spawn(annot, ["serve", plan, "--lang", "en-US"], { env, stdio: ["ignore", "pipe", "pipe"] });
  let out = "";
  const url = new Promise((resolve, reject) => {
    child.stdout.on("data", (d) => {
      out += d;
      const m = out.match(/http:\/\/127\.0\.0\.1:\d+\/\?t=[0-9a-f]+/);
      if (m) resolve(m[0]);
    });
    child.on("exit", (code) => reject(new Error(`annot serve exited ${code}`)));
  });
  const stop = () => new Promise((resolve) => {
    if (child.exitCode !== null) return resolve();
    child.on("exit", resolve);
    child.kill("SIGINT");
  });
  return { url, stop };
}

const median = (xs) => { const s = [...xs].sort((a, b) => a - b); return s[Math.floor((s.length - 1) / 2)]; };
const percentile = (xs, p) => { const s = [...xs].sort((a, b) => a - b); return s[Math.min(s.length - 1, Math.ceil(p * s.length) - 1)]; };
const ms = (x) => `${x.toFixed(1)} ms`;

// The time since navigation at which the editor first set data-rendered.
const WATCH_RENDERED = () => {
  new MutationObserver(() => {
    if (document.body && document.body.dataset.rendered && window.firstPaint === undefined) window.firstPaint = performance.now();
  }).observe(document, { subtree: true, attributes: true, attributeFilter: ["data-rendered"] });
};

// pdf.js alone: the same module and worker from the same server, the file's
// bytes as they are on disk and fetched while pdf.js loads, the first page
// drawn with its annotations.
function pdfjsAlonePage(token) {
  return `<!doctype html><html><body><canvas id="c"></canvas><script type="module">
    const worker = new Worker("/app/pdf.worker.min.mjs?t=${token}", { type: "module" });
    const bytes = fetch("/bench/plan.pdf").then((r) => r.arrayBuffer());
    const pdfjs = await import("/app/pdf.min.mjs?t=${token}");
    pdfjs.GlobalWorkerOptions.workerPort = worker;
    const data = new Uint8Array(await bytes);
    const doc = await pdfjs.getDocument({ data, isEvalSupported: false }).promise;
    const page = await doc.getPage(1);
    const viewport = page.getViewport({ scale: 1 });
    const canvas = document.getElementById("c");
    canvas.width = Math.round(viewport.width); canvas.height = Math.round(viewport.height);
    await page.render({ canvasContext: canvas.getContext("2d"), viewport }).promise;
    window.firstPaint = performance.now();
  </script></body></html>`;
}

async function firstPaints(browser) {
  const editor = [], alone = [];
  for (let i = 0; i < runs; i++) {
    const server = serve();
    try {
      const url = await server.url;
      const token = new URL(url).searchParams.get("t");
      const origin = new URL(url).origin;
      {
        const context = await browser.newContext({ viewport: { width: 1500, height: 900 } });
        const page = await context.newPage();
        page.on("pageerror", (e) => console.error(`pdf.js alone: ${e}`));
        page.on("response", (r) => r.status() >= 400 && console.error(`pdf.js alone: ${r.status()} ${r.url()}`));
        page.on("console", (m) => m.type() === "error" && console.error(`pdf.js alone: ${m.text()}`));
        await page.route(`${origin}/bench/**`, (route) => {
          const name = new URL(route.request().url()).pathname;
          if (name === "/bench/alone.html") return route.fulfill({ contentType: "text/html", body: pdfjsAlonePage(token) });
          return route.fulfill({ contentType: "application/pdf", body: planBytes });
        });
        await page.goto(`${origin}/bench/alone.html`);
        await page.waitForFunction(() => window.firstPaint !== undefined, null, { timeout: 60000 });
        alone.push(await page.evaluate(() => window.firstPaint));
        await context.close();
      }
      {
        const context = await browser.newContext({ viewport: { width: 1500, height: 900 } });
        const page = await context.newPage();
        await page.addInitScript(WATCH_RENDERED);
        await page.goto(url);
        await page.waitForFunction(() => window.firstPaint !== undefined, null, { timeout: 120000 });
        editor.push(await page.evaluate(() => window.firstPaint));
        await context.close();
      }
    } finally {
      await server.stop();
    }
  }
  return { editor, alone };
}

// In the page: presses and releases at page points through the overlay, as
// the mouse would, and times until the view shows a document version after
// the one before the last release.
const IN_PAGE = () => {
  const a = window.annot;
  const overlay = document.getElementById("overlay");
  const at = (x, y) => {
    const m = a.state.host.matrix, r = overlay.getBoundingClientRect();
    return { clientX: r.left + m[0] * x + m[2] * y + m[4], clientY: r.top + m[1] * x + m[3] * y + m[5] };
  };
  const fire = (target, type, x, y, extra = {}) =>
    target.dispatchEvent(new MouseEvent(type, { bubbles: true, cancelable: true, button: 0, detail: 1, ...at(x, y), ...extra }));
  // Resolves with the time from now until the view shows a later document.
  const nextShown = () => {
    const t0 = performance.now(), before = a.state.host.doc;
    return new Promise((resolve) => {
      new MutationObserver((_, obs) => {
        const shown = Number((document.body.dataset.rendered || "").split("/")[0]);
        if (shown > before) { obs.disconnect(); resolve(performance.now() - t0); }
      }).observe(document.body, { attributes: true, attributeFilter: ["data-rendered"] });
    });
  };
  window.bench = {
    async click(x, y) {
      fire(overlay, "mousedown", x, y);
      fire(window, "mouseup", x, y);
      await a.flush();
    },
    async clickTimed(x, y) {
      fire(overlay, "mousedown", x, y);
      const shown = nextShown();
      fire(window, "mouseup", x, y);
      return shown;
    },
    async undoTimed() {
      const shown = nextShown();
      document.getElementById("undo").click();
      return shown;
    },
    async drag(from, to, steps) {
      fire(overlay, "mousedown", from[0], from[1]);
      await a.flush();
      const moves = [], answers = [];
      performance.setResourceTimingBufferSize(10000);
      for (let i = 1; i <= steps; i++) {
        const x = from[0] + ((to[0] - from[0]) * i) / steps, y = from[1] + ((to[1] - from[1]) * i) / steps;
        const t0 = performance.now();
        fire(window, "mousemove", x, y);
        await a.flush();
        moves.push(performance.now() - t0);
        // The request itself, from its start to its answer's last byte.
        const asked = performance.getEntriesByType("resource").filter((e) => e.name.includes("/api/event")).pop();
        if (asked) answers.push(asked.responseEnd - asked.startTime);
        performance.clearResourceTimings();
      }
      const shown = nextShown();
      fire(window, "mouseup", to[0], to[1]);
      return { moves, answers, commit: await shown };
    },
  };
};

async function editing(browser) {
  const server = serve();
  const context = await browser.newContext({ viewport: { width: 1500, height: 900 } });
  try {
    const page = await context.newPage();
    await page.goto(await server.url);
    await page.waitForFunction(() => document.body.dataset.rendered, null, { timeout: 120000 });
    await page.evaluate(IN_PAGE);
    const measure = [], undo = [], dragCommit = [];
    let moves = [], answers = [];
    for (let i = 0; i < runs * 2; i++) {
      // A distance across the living room, then its undo.
      await page.evaluate(() => window.annot.flush());
      await page.click('button.control[data-id="Button_Distance"]');
      await page.evaluate(() => window.annot.flush());
      await page.evaluate(() => window.bench.click(120, 150));
      measure.push(await page.evaluate(() => window.bench.clickTimed(420, 150)));
      undo.push(await page.evaluate(() => window.bench.undoTimed()));
    }
    // One distance to drag about with the Select tool, 100 moves a drag.
    await page.click('button.control[data-id="Button_Distance"]');
    await page.evaluate(() => window.annot.flush());
    await page.evaluate(() => window.bench.click(120, 150));
    await page.evaluate(() => window.bench.clickTimed(420, 150));
    await page.click("#hand");
    await page.evaluate(() => window.annot.flush());
    let y = 150;
    for (let i = 0; i < runs * 2; i++) {
      const dy = i % 2 ? -40 : 40;
      const r = await page.evaluate(([y0, y1]) => window.bench.drag([270, y0], [270, y1], 100), [y, y + dy]);
      y += dy;
      moves = moves.concat(r.moves);
      answers = answers.concat(r.answers);
      dragCommit.push(r.commit);
    }
    return { measure, undo, dragCommit, moves, answers };
  } finally {
    await context.close();
    await server.stop();
  }
}

const browser = await chromium.launch({ executablePath: chromiumPath, args: ["--no-sandbox", "--disable-gpu"] });
try {
  console.log(`annot serve view on the ${planBytes.length}-byte, 100,000-segment floor plan; ${runs} runs`);
  if (only !== "editing") {
    const { editor, alone } = await firstPaints(browser);
    console.log(`first paint       editor ${ms(median(editor))}   pdf.js alone ${ms(median(alone))}   ratio ${(median(editor) / median(alone)).toFixed(2)} (medians)`);
  }
  const e = only === "first-paint" ? null : await editing(browser);
  if (e) report(e);
} finally {
  await browser.close();
  rmSync(work, { recursive: true, force: true });
}

function report(e) {
  console.log(`commit: measure   p50 ${ms(median(e.measure))}   max ${ms(Math.max(...e.measure))}`);
  console.log(`commit: undo      p50 ${ms(median(e.undo))}   max ${ms(Math.max(...e.undo))}`);
  console.log(`commit: drag      p50 ${ms(median(e.dragCommit))}   max ${ms(Math.max(...e.dragCommit))}`);
  console.log(`drag move         p50 ${ms(median(e.moves))}   p99 ${ms(percentile(e.moves, 0.99))}   (${e.moves.length} moves, answered and drawn)`);
  console.log(`  the answer      p50 ${ms(median(e.answers))}   p99 ${ms(percentile(e.answers, 0.99))}   (request to its last byte)`);
}
