// Page load to the first drawn frame of the demo in headless Chromium, and
// the download's size: run after the wasm preset's build and a native build
// (for the demo), `node bench/web_load.mjs [RUNS]`. Prints the median of
// each stage over the runs (ms since navigation): runtime ready (the .wasm
// compiled and started), cartoon fetched, first frame drawn after the open.
// Side by side: the open alone in the page against the native open on the
// OpenGL device (`tolvani render`'s open line) and without one (`tolvani
// inspect` less `tolvani --version`, process start and exit being the
// same), and the page's tick and frame at 1280 x 720 (SwiftShader,
// waited for with a one-pixel read-back) during the demo's fade-in.
import { readFileSync, rmSync } from 'node:fs';
import { execFileSync, spawnSync } from 'node:child_process';
import { tmpdir } from 'node:os';
import { gzipSync } from 'node:zlib';
import path from 'node:path';
import { serve, launchChromium, nativeBin, webDir } from '../tests/browser/harness.mjs';

const runs = Math.max(1, parseInt(process.argv[2] ?? '5', 10) || 5);
let total = 0;
for (const file of ['player.html', 'player_glue.js', 'tolvani_player.js', 'tolvani_player.wasm']) {
  const bytes = readFileSync(path.join(webDir, file));
  const gz = gzipSync(bytes, { level: 9 }).length;
  total += gz;
  console.log(`${file}: ${bytes.length} bytes, ${gz} gzipped`);
}
console.log(`download (page, glue, .js, .wasm): ${total} bytes gzipped`);

const server = await serve({ '/cartoons/': nativeBin, '/': webDir });
const browser = await launchChromium();
const stages = { readyMs: [], fetchedMs: [], firstFrameMs: [], openMs: [] };
const frameMs = [];
const reopenMs = [];
for (let i = 0; i < runs; ++i) {
  const page = await browser.newPage({ viewport: { width: 1280, height: 720 } });
  await page.goto(`${server.url}/player.html?file=/cartoons/Main.zvmov&still=1`);
  await page.waitForFunction(() => window.tolvaniPage.firstFrameMs !== null, null, { timeout: 60_000 });
  const state = await page.evaluate(() => window.tolvaniPage);
  for (const k of Object.keys(stages)) stages[k].push(state[k]);
  // The same open again in the page, its code compiled by now.
  reopenMs.push(
    await page.evaluate(() => {
      const open = Module.cwrap('tolvani_open', 'number', ['string']);
      const path = Module.FS.readdir('/cartoons').filter((n) => n.endsWith('.zvmov'))[0];
      const start = performance.now();
      open(`/cartoons/${path}`);
      return performance.now() - start;
    }),
  );
  frameMs.push(
    await page.evaluate(() => {
      const gl = document.getElementById('canvas').getContext('webgl2');
      const pixel = new Uint8Array(4);
      const frame = () => {
        Module._tolvani_tick();
        Module._tolvani_draw();
        gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel);
      };
      frame();
      const start = performance.now();
      for (let i = 0; i < 20; ++i) frame();
      return (performance.now() - start) / 20;
    }),
  );
  await page.close();
}
await browser.close();
await server.close();
const median = (v) => (v.length ? [...v].sort((a, b) => a - b)[Math.floor(v.length / 2)] : NaN);
for (const [k, v] of Object.entries(stages)) console.log(`${k}: median ${median(v).toFixed(0)} ms over ${runs} runs (${v.map((x) => x.toFixed(0)).join(', ')})`);
console.log(`page tick + frame at 1280x720: median ${median(frameMs).toFixed(1)} ms over ${runs} runs`);
const processMs = (args) => {
  const start = process.hrtime.bigint();
  execFileSync(path.join(nativeBin, 'tolvani'), args, { stdio: 'ignore' });
  return Number(process.hrtime.bigint() - start) / 1e6;
};
const nativeOpen = [];
for (let i = 0; i < runs; ++i) nativeOpen.push(processMs(['inspect', path.join(nativeBin, 'Main.zvmov')]) - processMs(['--version']));
// The like-for-like figure: the same open on the desktop's OpenGL device
// (textures uploaded, as the page's WebGL2 device does), timed inside
// `tolvani render`.
const deviceOpen = [];
const still = path.join(tmpdir(), `tolvani-web-load-${process.pid}.png`);
for (let i = 0; i < runs; ++i) {
  const run = spawnSync(path.join(nativeBin, 'tolvani'),
    ['render', path.join(nativeBin, 'Main.zvmov'), '-o', still, '--max-seconds', '0.03'],
    { encoding: 'utf8', env: { ...process.env, DISPLAY: '', WAYLAND_DISPLAY: '' } });
  const m = /^open: ([0-9.]+) ms$/m.exec(run.stderr ?? '');
  if (m) deviceOpen.push(parseFloat(m[1]));
}
rmSync(still, { force: true });
const page = median(stages.openMs);
console.log(`open of the demo again in the same page: median ${median(reopenMs).toFixed(1)} ms over ${runs} runs (${(median(reopenMs) / median(deviceOpen)).toFixed(2)}x the native open on the OpenGL device)`);
console.log(`open of the demo: page ${page.toFixed(0)} ms; native on the OpenGL device ${median(deviceOpen).toFixed(1)} ms (${(page / median(deviceOpen)).toFixed(2)}x), native without a device (inspect) ${median(nativeOpen).toFixed(0)} ms (${(page / median(nativeOpen)).toFixed(2)}x)`);
