// The page's own ways in: a click or a tap on the demo's balloon moves the
// story on exactly as `tolvani simulate` does with the same click, and so
// do the clicks that play the demo to its end (sound starting at the
// greeting); a file
// dropped on the page or chosen with 開く… opens and walks with the arrow
// keys; a `tolvani web` export embedded by its printed <iframe> plays.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { serve, launchChromium, missingPrerequisite, inFreshPage, nativeBin, webDir } from './harness.mjs';

const tolvani = path.join(nativeBin, 'tolvani');
const demo = path.join(nativeBin, 'Main.zvmov');
const walk = path.join(nativeBin, 'examples/walk.zvmov');
const skip = missingPrerequisite([path.join(webDir, 'player.html'), path.join(webDir, 'tolvani_player.wasm'), tolvani, demo, walk]);
const kWidth = 640;
const kHeight = 480;
// Pages that run many ticks draw small: SwiftShader's frames cost by the pixel.
const kSmall = { width: 320, height: 240 };
// The demo's camera has glided to step 1 and its balloon takes clicks.
const kTicksBeforeClick = 100;
const kTicksAfterClick = 5;
// The walk example's balloons take clicks this soon after a step starts.
const kTicksPerBalloon = 20;
const kOptions = { skip: skip ?? false, timeout: 120_000 };

// One browser for the file, a fresh context (its own page and storage) per test.
let browser = null;
before(async () => {
  if (!skip) browser = await launchChromium();
});
after(async () => browser?.close());

async function withPage(body, { hasTouch = false, viewport = { width: kWidth, height: kHeight } } = {}) {
  const server = await serve({ '/cartoons/': nativeBin, '/': webDir });
  await inFreshPage(browser, server, { viewport, hasTouch }, 'page', async ({ page, errors }) => {
    await body({ page, server });
    assert.deepEqual(errors, []);
  });
}

const started = (page) =>
  page.waitForFunction(() => window.tolvaniPage.firstFrameMs !== null, null, { timeout: 60_000 });

// Runs n ticks in the page, drawing the frames they ask for, as the timer
// would; the story's state after them.
const runTicks = (page, n) =>
  page.evaluate((n) => {
    for (let i = 0; i < n; ++i) if (Module._tolvani_tick() === 1) Module._tolvani_draw();
    return window.tolvaniPage.query();
  }, n);

// Every point (CSS pixels = device pixels here, every 8th) where a click
// would move the story on, the nearest to the middle first (the page's
// buttons sit in a corner).
function clickablePoints(page) {
  return page.evaluate(() => {
    const [w, h] = [document.getElementById('canvas').width, document.getElementById('canvas').height];
    const points = [];
    for (let y = 4; y < h; y += 8)
      for (let x = 4; x < w; x += 8) if (Module._tolvani_click_would_advance(x, y) === 1) points.push([x, y]);
    const d = ([x, y]) => (x - w / 2) ** 2 + (y - h / 2) ** 2;
    return points.sort((a, b) => d(a) - d(b));
  });
}

// The nearest of them to the middle; null when there is none.
const clickablePoint = async (page) => (await clickablePoints(page))[0] ?? null;

function simulateState(script) {
  const lines = execFileSync(tolvani, ['simulate', demo, '-'], { input: script }).toString().trim().split('\n');
  return lines.map((l) => JSON.parse(l)).filter((e) => e.event === 'state').pop();
}

for (const [how, press] of [
  ['a mouse click', (page, x, y) => page.mouse.click(x, y)],
  ['a one-finger tap', (page, x, y) => page.touchscreen.tap(x, y)],
]) {
  test(`${how} on the demo's balloon moves the story on as tolvani simulate's click does`, kOptions, async () => {
    await withPage(async ({ page, server }) => {
      await page.goto(`${server.url}/player.html?file=/cartoons/Main.zvmov&still=1&ticks=${kTicksBeforeClick}`);
      await started(page);
      const before = await page.evaluate(() => window.tolvaniPage.query());
      const point = await clickablePoint(page);
      assert.notEqual(point, null, 'no balloon takes a click');
      await press(page, ...point);
      const after = await runTicks(page, kTicksAfterClick);
      const desktop = simulateState(
        `size ${kSmall.width} ${kSmall.height}\ntick ${kTicksBeforeClick}\nclick ${point.join(' ')}\ntick ${kTicksAfterClick}\nstate\n`,
      );
      assert.ok(after.currentStep > before.currentStep, `step ${before.currentStep} -> ${after.currentStep}`);
      assert.deepEqual(
        [after.currentStep, after.previousStep, after.stepProgress],
        [desktop.currentStep, desktop.previousStep, desktop.stepProgress],
      );
    }, { hasTouch: how.includes('tap'), viewport: kSmall });
  });
}


test('the demo clicked balloon by balloon to its end passes the steps simulate passes with the same clicks, and the greeting\'s click starts its sounds', kOptions, async () => {
  await withPage(async ({ page, server }) => {
    await page.goto(`${server.url}/player.html?file=/cartoons/Main.zvmov&still=1`);
    await started(page);
    let script = `size ${kSmall.width} ${kSmall.height}\n`;
    const steps = [];
    const clickedAt = new Map(); // step -> points clicked there, so a choice takes each way
    for (let click = 0; click < 30 && !(steps.at(-1) === 0 && clickedAt.has(9)); ++click) {
      let ticks = 0;
      let points = [];
      while (points.length === 0 && ticks < 600) {
        await runTicks(page, 10);
        ticks += 10;
        points = await clickablePoints(page);
      }
      assert.ok(points.length > 0, `no balloon takes a click after ${steps.join(',')}`);
      const step = (await page.evaluate(() => window.tolvaniPage.query())).currentStep;
      const before = clickedAt.get(step) ?? [];
      const far = (p) => before.every((q) => Math.hypot(p[0] - q[0], p[1] - q[1]) > 40);
      const point = points.find(far) ?? points[0];
      clickedAt.set(step, [...before, point]);
      const starts = await page.evaluate(() => Module.tolvaniAudio?.starts ?? 0);
      await page.mouse.click(...point);
      script += `tick ${ticks}\nclick ${point.join(' ')}\nstate\n`;
      steps.push((await page.evaluate(() => window.tolvaniPage.query())).currentStep);
      // The greeting's click rings its chime and starts the background loop.
      if (click === 0) assert.ok((await page.evaluate(() => Module.tolvaniAudio?.starts ?? 0)) >= starts + 2, 'the greeting\'s click played nothing');
    }
    const desktop = execFileSync(tolvani, ['simulate', demo, '-'], { input: script })
      .toString().trim().split('\n').map((l) => JSON.parse(l))
      .filter((e) => e.event === 'state').map((e) => e.currentStep);
    assert.deepEqual(steps, desktop);
    assert.deepEqual([clickedAt.has(9), steps.at(-1)], [true, 0], `steps ${steps.join(',')}`);
  }, { viewport: kSmall });
});

test('a link balloon of the walk example opens its address in a new tab without an opener, as simulate reports', kOptions, async () => {
  await withPage(async ({ page, server }) => {
    await page.addInitScript(() => {
      window.openCalls = [];
      window.open = (...args) => {
        window.openCalls.push(args);
        return null;
      };
    });
    await page.goto(`${server.url}/player.html?file=/cartoons/examples/walk.zvmov&still=1`);
    await started(page);
    // Balloon by balloon to the step that shows the link.
    let script = `size ${kSmall.width} ${kSmall.height}\n`;
    for (let i = 0; i < 4 && (await page.evaluate(() => window.openCalls.length)) === 0; ++i) {
      await runTicks(page, kTicksPerBalloon);
      const point = await clickablePoint(page);
      assert.notEqual(point, null, `no balloon takes a click after ${i} clicks`);
      await page.mouse.click(...point);
      script += `tick ${kTicksPerBalloon}\nclick ${point.join(' ')}\n`;
    }
    await runTicks(page, kTicksPerBalloon);
    script += `tick ${kTicksPerBalloon}\n`;
    const desktop = execFileSync(tolvani, ['simulate', walk, '-'], { input: script })
      .toString().trim().split('\n').map((l) => JSON.parse(l))
      .filter((e) => e.event === 'open').map((e) => e.target);
    assert.deepEqual(desktop, ['https://doc.qt.io/']);
    assert.deepEqual(await page.evaluate(() => window.openCalls), desktop.map((t) => [t, '_blank', 'noopener']));
  }, { viewport: kSmall });
});

test('two fingers moved up turn the wheel a notch per 40 pixels as simulate\'s wheel -120 does, and F11 toggles full screen', kOptions, async () => {
  await withPage(async ({ page, server }) => {
    const scroll = path.join(nativeBin, 'examples/scroll.zvmov');
    await page.goto(`${server.url}/player.html?file=/cartoons/examples/scroll.zvmov&still=1`);
    await started(page);
    const cdp = await page.context().newCDPSession(page);
    const touch = (type, ...points) =>
      cdp.send('Input.dispatchTouchEvent', { type, touchPoints: points.map(([x, y], id) => ({ x, y, id })) });
    // 80 CSS pixels up in half notches: two notches towards the viewer,
    // the first starting the story, the second moving it on by 0.1.
    await touch('touchStart', [100, 150], [140, 150]);
    for (const y of [130, 110, 90, 70]) await touch('touchMove', [100, y], [140, y]);
    await touch('touchEnd');
    const after = await runTicks(page, 5);
    const desktop = execFileSync(tolvani, ['simulate', scroll, '-'], {
      input: `size ${kSmall.width} ${kSmall.height}\nwheel -120 120 110\nwheel -120 120 110\ntick 5\nstate\n`,
    }).toString().trim().split('\n').map((l) => JSON.parse(l)).pop();
    assert.deepEqual([after.currentStep, after.stepProgress], [desktop.currentStep, desktop.stepProgress]);
    assert.ok(after.stepProgress > 0, `progress ${after.stepProgress}`);

    await page.keyboard.press('F11');
    await page.waitForFunction(() => document.fullscreenElement !== null, null, { timeout: 10_000 });
    await page.keyboard.press('F11');
    await page.waitForFunction(() => document.fullscreenElement === null, null, { timeout: 10_000 });
  }, { hasTouch: true, viewport: kSmall });
});

test('message boxes come one after another, each until its OK, and only web addresses open', kOptions, async () => {
  await withPage(async ({ page, server }) => {
    await page.addInitScript(() => {
      window.openCalls = [];
      window.open = (...args) => window.openCalls.push(args) && null;
    });
    await page.goto(`${server.url}/player.html?file=/cartoons/Main.zvmov`);
    await started(page);
    await page.evaluate(() => {
      Module.tolvani.showMessage('一つ目', 0);
      Module.tolvani.showMessage('二つ目', 0);
      for (const target of ['javascript:alert(1)', 'file:///etc/passwd', '/tolvani/Player.html', 'https://example.org/a b'])
        Module.tolvani.openLink(target);
    });
    const dialog = page.locator('#message');
    for (const text of ['一つ目', '二つ目']) {
      await dialog.waitFor({ state: 'visible' });
      assert.equal(await dialog.locator('p').textContent(), text);
      await dialog.getByRole('button', { name: 'OK' }).click();
    }
    await dialog.waitFor({ state: 'hidden' });
    assert.deepEqual(await page.evaluate(() => window.openCalls), [['https://example.org/a b', '_blank', 'noopener']]);
  });
});

// Hands the walk example to the page: as a drop of it and a text file (which
// the window ignores), or through the 開く… button's file chooser.
const kOpenWays = [
  ['dropped on the page', async (page) => {
    const bytes = readFileSync(walk).toString('base64');
    await page.evaluate((data) => {
      const dt = new DataTransfer();
      dt.items.add(new File(['notes'], 'notes.txt'));
      dt.items.add(new File([Uint8Array.from(atob(data), (c) => c.charCodeAt(0))], 'walk.zvmov'));
      document.getElementById('canvas').dispatchEvent(new DragEvent('drop', { dataTransfer: dt, bubbles: true, cancelable: true }));
    }, bytes);
  }],
  ['chosen with 開く…', async (page) => {
    const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.getByRole('button', { name: '開く…' }).click()]);
    await chooser.setFiles(walk);
  }],
];

for (const [how, open] of kOpenWays) {
  test(`the walk example ${how} opens after the demo and walks with the arrow keys`, kOptions, async () => {
    await withPage(async ({ page, server }) => {
      await page.goto(`${server.url}/player.html?file=/cartoons/Main.zvmov`);
      await started(page);
      await open(page);
      await page.waitForFunction(() => window.tolvaniPage.localOpens.length > 0, null, { timeout: 30_000 });
      assert.deepEqual(await page.evaluate(() => window.tolvaniPage.localOpens), [true]);
      await page.locator('#canvas').focus();
      const position = async () => (await page.evaluate(() => window.tolvaniPage.query())).camera.position;
      const from = await position();
      // The demo's Glide mode walks nothing: moving proves the walk opened.
      await page.keyboard.down('ArrowUp');
      const ticks = await page.evaluate(() => window.tolvaniPage.ticks);
      await page.waitForFunction((t) => window.tolvaniPage.ticks > t + 15, ticks, { timeout: 30_000 });
      await page.keyboard.up('ArrowUp');
      const to = await position();
      const moved = Math.hypot(...to.map((v, i) => v - from[i]));
      assert.ok(moved > 1, `the camera moved ${moved} from ${from} to ${to}`);
    });
  });
}

test('a broken file dropped after the demo shows the desktop\'s message and the demo starts again, as simulate\'s open', kOptions, async () => {
  const broken = path.join(mkdtempSync(path.join(tmpdir(), 'tolvani-broken-')), 'broken.zvmov');
  writeFileSync(broken, readFileSync(demo).subarray(0, 300));
  const desktop = execFileSync(tolvani, ['simulate', demo, '-'], { input: `open ${broken}\nstate\n` })
    .toString().trim().split('\n').map((l) => JSON.parse(l));
  await withPage(async ({ page, server }) => {
    await page.goto(`${server.url}/player.html?file=/cartoons/Main.zvmov`);
    await started(page);
    await page.evaluate((data) => window.tolvaniPage.openFiles([
      new File([Uint8Array.from(atob(data), (c) => c.charCodeAt(0))], 'broken.zvmov'),
    ]), readFileSync(broken).toString('base64'));
    const state = await page.evaluate(() => [window.tolvaniPage.localOpens, window.tolvaniPage.messages, window.tolvaniPage.query()]);
    assert.deepEqual(state[0], [false]);
    assert.deepEqual(state[1], desktop.filter((e) => e.event === 'message').map((e) => e.text));
    const restarted = desktop.find((e) => e.event === 'state');
    assert.deepEqual([state[2].currentStep, state[2].pickedModel], [restarted.currentStep, restarted.pickedModel]);
  });
});

test('a tolvani web export embedded by its printed iframe plays from a fresh folder', kOptions, async () => {
  const site = mkdtempSync(path.join(tmpdir(), 'tolvani-site-'));
  const snippet = execFileSync(tolvani, ['web', demo, '-o', path.join(site, 'demo')]).toString().trim();
  assert.match(snippet, /^<iframe src="demo\/player\.html\?file=Main\.zvmov"[^\n]*><\/iframe>$/);
  writeFileSync(path.join(site, 'index.html'), `<!doctype html><meta charset="utf-8">${snippet}`);
  const server = await serve({ '/': site });
  await inFreshPage(browser, server, { viewport: { width: kWidth + 40, height: kHeight + 40 } }, 'export', async ({ page }) => {
    await page.goto(`${server.url}/index.html`);
    const frame = await (await page.waitForSelector('iframe')).contentFrame();
    await frame.waitForFunction(() => window.tolvaniPage?.firstFrameMs != null, null, { timeout: 60_000 });
    await frame.waitForFunction(() => window.tolvaniPage.ticks > 10, null, { timeout: 30_000 });
    const state = await frame.evaluate(() => ({ opened: window.tolvaniPage.opened, frames: window.tolvaniPage.frames, size: [document.getElementById('canvas').width, document.getElementById('canvas').height] }));
    assert.equal(state.opened, true);
    assert.ok(state.frames >= 2, `${state.frames} frames`);
    assert.deepEqual(state.size, [640, 480]);
  });
});
