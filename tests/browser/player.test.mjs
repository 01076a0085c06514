// The web player's page in headless Chromium: the demo's first frame as the
// render companion draws it, a broken file's message in the page's
// dialog while the page keeps running, and the canvas size and mouse
// coordinates the window would give.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, writeFileSync, copyFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { serve, launchChromium, missingPrerequisite, keepScreenshot, inFreshPage, nativeBin, webDir } from './harness.mjs';

const tolvani = path.join(nativeBin, 'tolvani');
const demo = path.join(nativeBin, 'Main.zvmov');
const skip = missingPrerequisite([path.join(webDir, 'player.html'), path.join(webDir, 'tolvani_player.wasm'), tolvani, demo]);
const kWidth = 640;
const kHeight = 480;
// The frame compared: after the fade-in, the greeting balloon up. Measured
// on this machine: 41.1 dB between the page (SwiftShader, the canvas card)
// and the render companion (llvmpipe, Qt's card); the untouched first frame
// (still dark) scores far lower against it. What differs: the sampling of
// the grass texture's fine detail, edges, and the glyphs' antialiasing.
const kTicks = 45;
const kMinPsnr = 30;

// A folder served as /cartoons/: the demo and a broken copy of it.
function cartoonFolder() {
  const dir = mkdtempSync(path.join(tmpdir(), 'tolvani-web-'));
  copyFileSync(demo, path.join(dir, 'Main.zvmov'));
  writeFileSync(path.join(dir, 'broken.zvmov'), readFileSync(demo).subarray(0, 300));
  return dir;
}

// One browser for the file, a fresh context (its own page and storage) per test.
let browser = null;
before(async () => {
  if (!skip) browser = await launchChromium();
});
after(async () => browser?.close());

async function withPage(body, deviceScaleFactor = 1) {
  const dir = cartoonFolder();
  const server = await serve({ '/cartoons/': dir, '/': webDir });
  const options = { viewport: { width: kWidth, height: kHeight }, deviceScaleFactor };
  await inFreshPage(browser, server, options, 'player', ({ page, errors }) => body({ page, server, dir, errors }));
}

// PSNR in dB of two same-sized PNGs over RGB, decoded by the browser.
function psnrInPage(page, a, b) {
  return page.evaluate(async ([a, b]) => {
    const pixels = async (src) => {
      const image = new Image();
      image.src = src;
      await image.decode();
      const c = new OffscreenCanvas(image.width, image.height);
      const g = c.getContext('2d');
      g.drawImage(image, 0, 0);
      return g.getImageData(0, 0, image.width, image.height);
    };
    const [x, y] = [await pixels(a), await pixels(b)];
    if (x.width !== y.width || x.height !== y.height) return { size: [x.width, x.height, y.width, y.height] };
    let sum = 0;
    for (let i = 0; i < x.data.length; i += 4) {
      for (let k = 0; k < 3; ++k) sum += (x.data[i + k] - y.data[i + k]) ** 2;
    }
    const mse = sum / ((x.data.length / 4) * 3);
    return { psnr: mse === 0 ? Infinity : 10 * Math.log10((255 * 255) / mse) };
  }, [a, b]);
}

// The messages the desktop shows when it opens file, as simulate reports them.
function desktopMessages(file) {
  return execFileSync(tolvani, ['simulate', file, '-'], { input: '' })
    .toString()
    .trim()
    .split('\n')
    .map((line) => JSON.parse(line))
    .filter((e) => e.event === 'message')
    .map((e) => e.text);
}

const dataUrl = (png) => 'data:image/png;base64,' + Buffer.from(png).toString('base64');

test('the demo after the fade-in matches tolvani render of the same size and tick', { skip: skip ?? false, timeout: 120_000 }, async () => {
  await withPage(async ({ page, server, dir, errors }) => {
    const reference = path.join(dir, 'reference.png');
    const script = path.join(dir, 'ticks.txt');
    writeFileSync(script, `tick ${kTicks}\n`);
    execFileSync(tolvani, ['render', demo, '-o', reference, '--size', `${kWidth}x${kHeight}`, '--script', script], { stdio: 'ignore' });
    await page.goto(`${server.url}/player.html?file=/cartoons/Main.zvmov&still=1&ticks=${kTicks}`);
    await page.waitForFunction(() => window.tolvaniPage.firstFrameMs !== null, null, { timeout: 60_000 });
    const state = await page.evaluate(() => window.tolvaniPage);
    assert.equal(state.opened, true);
    assert.equal(state.ticks, kTicks);
    const shot = await page.locator('#canvas').screenshot();
    const { psnr, size } = await psnrInPage(page, dataUrl(shot), dataUrl(readFileSync(reference)));
    assert.equal(size, undefined, `sizes differ: ${size}`);
    // Kept either way: the README shows the page as this test sees it.
    await keepScreenshot(page, psnr < kMinPsnr ? 'tick-frame' : 'demo-in-the-browser');
    // The bound tells pictures apart: the first frame (still dark) is far
    // from the reference.
    const dark = await psnrInPage(page, dataUrl(await (async () => {
      await page.goto(`${server.url}/player.html?file=/cartoons/Main.zvmov&still=1`);
      await page.waitForFunction(() => window.tolvaniPage.firstFrameMs !== null, null, { timeout: 60_000 });
      return page.locator('#canvas').screenshot();
    })()), dataUrl(readFileSync(reference)));
    assert.ok(dark.psnr < kMinPsnr, `the untouched first frame scores ${dark.psnr.toFixed(1)} dB`);
    console.log(`PSNR against tolvani render after ${kTicks} ticks: ${psnr.toFixed(1)} dB (untouched first frame: ${dark.psnr.toFixed(1)} dB)`);
    assert.ok(psnr >= kMinPsnr, `PSNR ${psnr.toFixed(1)} dB < ${kMinPsnr} dB`);
    assert.deepEqual(errors, []);
  });
});

test('a broken file shows the desktop\'s Japanese message and the page keeps running', { skip: skip ?? false, timeout: 120_000 }, async () => {
  await withPage(async ({ page, server, dir, errors }) => {
    const expected = desktopMessages(path.join(dir, 'broken.zvmov'));
    assert.ok(expected.length > 0 && /[\u3040-\u30ff]/.test(expected[0]), `no Japanese message: ${expected}`);

    await page.goto(`${server.url}/player.html?file=/cartoons/broken.zvmov`);
    await page.waitForFunction(() => window.tolvaniPage.opened !== null, null, { timeout: 60_000 });
    const dialog = page.locator('#message');
    await dialog.waitFor({ state: 'visible' });
    assert.equal((await dialog.locator('p').textContent()).trim(), expected[0]);
    assert.deepEqual(await page.evaluate(() => window.tolvaniPage.messages), expected);
    await dialog.getByRole('button', { name: 'OK' }).click();
    await dialog.waitFor({ state: 'hidden' });
    // Still alive: the tick goes on and a key reaches the view unharmed.
    const ticks = await page.evaluate(() => window.tolvaniPage.ticks);
    await page.keyboard.press('ArrowLeft');
    await page.waitForFunction((t) => window.tolvaniPage.ticks > t + 5, ticks, { timeout: 30_000 });
    assert.deepEqual(errors, []);
  });
});

test('an address that cannot be fetched gets the desktop\'s message for a missing file', { skip: skip ?? false, timeout: 120_000 }, async () => {
  await withPage(async ({ page, server, errors }) => {
    await page.goto(`${server.url}/player.html?file=/cartoons/absent%20one.zvmov`);
    await page.waitForFunction(() => window.tolvaniPage.opened !== null, null, { timeout: 60_000 });
    const state = await page.evaluate(() => window.tolvaniPage);
    assert.equal(state.opened, false);
    assert.deepEqual(state.messages, desktopMessages('/cartoons/absent one.zvmov'));
    assert.deepEqual(errors, []);
  });
});

test('the canvas follows its element times the pixel ratio and the view gets device pixels', { skip: skip ?? false, timeout: 120_000 }, async () => {
  await withPage(async ({ page, server, errors }) => {
    await page.setViewportSize({ width: 320, height: 240 });
    await page.goto(`${server.url}/player.html?file=/cartoons/Main.zvmov`);
    await page.waitForFunction(() => window.tolvaniPage.firstFrameMs !== null, null, { timeout: 60_000 });
    const ratio = await page.evaluate(() => window.devicePixelRatio);
    const size = () => page.evaluate(() => [document.getElementById('canvas').width, document.getElementById('canvas').height]);
    assert.deepEqual(await size(), [320 * ratio, 240 * ratio]);

    // A press at CSS (101, 51) reaches the view in device pixels, floored.
    await page.mouse.move(101, 51);
    await page.mouse.down({ button: 'right' });
    await page.mouse.up({ button: 'right' });
    const seen = await page.evaluate(() => [Module._tolvani_last_mouse_x(), Module._tolvani_last_mouse_y()]);
    assert.equal(ratio, 1.5);
    assert.deepEqual(seen, [151, 76]);

    const frames = await page.evaluate(() => window.tolvaniPage.frames);
    await page.setViewportSize({ width: 400, height: 300 });
    await page.waitForFunction(([w, h]) => {
      const c = document.getElementById('canvas');
      return c.width === w && c.height === h;
    }, [400 * ratio, 300 * ratio], { timeout: 30_000 });
    await page.waitForFunction((f) => window.tolvaniPage.frames > f, frames, { timeout: 30_000 });
    assert.deepEqual(errors, []);
  }, 1.5);
});
