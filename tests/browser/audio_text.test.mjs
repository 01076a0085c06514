// The web player's balloon cards and sound in headless Chromium, through the
// probe (tests/web/av_probe.cpp, loaded by audio_text.html):
//  - the canvas card of four texts (Japanese, English, mixed, long) against
//    the Qt card of the same text (qt_card_writer), within a measured
//    tolerance; fonts are the same, their rasterisers differ slightly;
//  - sound rendered by an OfflineAudioContext sample by sample: 8-bit,
//    16-bit and stereo data as stored, once and looping, a restart from the
//    first sample, pause and resume, the master gain, and stop-all;
//  - each stored format's AudioBuffer (rates a buffer refuses, more than
//    two channels, a partial last frame); a user gesture resumes a
//    suspended context; a browser without Web Audio plays nothing and
//    fails nothing.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { serve, launchChromium, missingPrerequisite, keepScreenshot, sourceDir, wasmBin, nativeBin } from './harness.mjs';

const probe = path.join(wasmBin, 'web_av_probe.js');
const writer = path.join(nativeBin, 'qt_card_writer');
const skipAudio = missingPrerequisite([probe]);
const skipText = skipAudio ?? missingPrerequisite([writer]);

// One server and one browser for the file; each test gets a fresh page.
let shared = null;
before(async () => {
  if (skipAudio) return;
  const server = await serve({ '/bin/': wasmBin, '/': path.join(sourceDir, 'tests/browser') });
  shared = { server, browser: await launchChromium() };
});
after(async () => {
  if (!shared) return;
  await shared.browser.close();
  await shared.server.close();
});

async function withProbe(query, body) {
  const page = await shared.browser.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  try {
    await page.goto(`${shared.server.url}/audio_text.html${query}`);
    await page.evaluate(() => window.probeReady);
    await body(page);
    assert.deepEqual(errors, []);
  } catch (error) {
    await keepScreenshot(page, `audio-text-${Date.now()}`);
    throw error;
  } finally {
    await page.close();
  }
}

// ---------------------------------------------------------------- cards

const kCards = [
  { name: 'Japanese', text: '吾輩は猫である。名前はまだ無い。ここどこ。とんと見当がつかぬ。何でも薄暗いじめじめした所でニャーニャー泣いていた事だけは記憶している。' },
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

// ---------------------------------------------------------------- sound

// In the page: adds a sound to the probe's container (tag 1 PCM, 3 float).
const kPageHelpers = `
  window.addSound = (name, tag, channels, rate, bits, bytes) =>
    Module.ccall('probe_audio_add', null, ['string', 'number', 'number', 'number', 'number', 'array', 'number'],
      [name, tag, channels, rate, bits, bytes, bytes.length]);
  window.play = (name, loop) => Module.ccall('probe_audio_play', 'number', ['string', 'number'], [name, loop ? 1 : 0]);
  window.bytesOf = (typed) => new Uint8Array(typed.buffer, typed.byteOffset, typed.byteLength);
`;

test('sounds render through Web Audio as stored: once, looping, restarted, paused, gained and stopped', { skip: skipAudio ?? false, timeout: 120_000 }, async () => {
  await withProbe('?offline=1', async (page) => {
    await page.addScriptTag({ content: kPageHelpers });
    const result = await page.evaluate(async () => {
      const kRate = 48000;
      const q = (quanta) => quanta * 128; // render quanta to frames (suspends land on them)
      const A = q(94); // restart and the stereo sound
      const P = A + q(47); // pause
      const Q = P + q(24); // resume
      const B = Q + q(24); // stop-all
      const kLength = B + q(32);
      const kGain = 0.5;
      window.offline = new OfflineAudioContext(2, kLength, kRate);

      const loop16 = Int16Array.from({ length: 1000 }, (_, i) => ((i * 37) % 1000 - 500) * 40);
      const once8 = Uint8Array.from({ length: 3000 }, (_, i) => (i * 7) % 256);
      const stereo = Int16Array.from({ length: 4000 }, (_, i) => (i % 2 ? -1 : 1) * ((i >> 1) % 200 * 100 - 10000));
      const id = Module.ccall('probe_audio_reset', 'number', [], []);
      addSound('loop16', 1, 1, kRate, 16, bytesOf(loop16));
      addSound('once8', 1, 1, kRate, 8, once8);
      addSound('stereo', 1, 2, kRate, 16, bytesOf(stereo));
      const prepared = Module.ccall('probe_audio_prepare', 'number', [], []);
      Module.ccall('probe_audio_gain', null, ['number'], [kGain]);

      const results = [play('loop16', true), play('once8', false)];
      const at = (frame, action) =>
        offline.suspend(frame / kRate).then(() => {
          action();
          offline.resume();
        });
      at(A, () => results.push(play('stereo', false), play('loop16', true)));
      at(P, () => Module.ccall('probe_audio_pause', null, ['number'], [1]));
      at(Q, () => Module.ccall('probe_audio_pause', null, ['number'], [0]));
      at(B, () => results.push(play('停止', false)));
      const rendered = await offline.startRendering();

      const voices = Module.tolvaniAudio.backends[id].voices;
      const buffers = [...voices.values()].map((v) => v.buffer && [v.buffer.length, v.buffer.numberOfChannels, v.buffer.sampleRate, v.loop]);
      const expected = (n, channel) => {
        let v = 0;
        const loopAt = (i) => loop16[i % 1000] / 32768;
        if (n < A) v = loopAt(n) + (n < 3000 ? (once8[n] - 128) / 128 : 0);
        else if (n < P) v = loopAt(n - A) + (n - A < 2000 ? stereo[2 * (n - A) + channel] / 32768 : 0);
        else if (n >= Q && n < B) v = loopAt(P - A + n - Q);
        return kGain * v;
      };
      let worst = 0, worstAt = -1, loud = 0;
      for (let c = 0; c < 2; ++c) {
        const out = rendered.getChannelData(c);
        for (let n = 0; n < kLength; ++n) {
          const e = Math.abs(out[n] - expected(n, c));
          if (e > worst) [worst, worstAt] = [e, n];
          if (Math.abs(out[n]) > 0.01) loud += 1;
        }
      }
      return { id, prepared, results, buffers, worst, worstAt, loud, starts: Module.tolvaniAudio.starts, playing: [...voices.values()].filter((v) => v.node).length };
    });
    assert.ok(result.id > 0, 'no Web Audio backend');
    assert.equal(result.prepared, 0);
    assert.deepEqual(result.results, [0, 0, 0, 0, 0]);
    assert.deepEqual(result.buffers, [[1000, 1, 48000, true], [3000, 1, 48000, false], [2000, 2, 48000, false]]);
    // Two starts at 0, two at the restart, one when the pause ends.
    assert.equal(result.starts, 5);
    assert.equal(result.playing, 0, 'stop-all left a voice playing');
    assert.ok(result.loud > 10000, `only ${result.loud} samples sounded`);
    // The playback rate equals the buffer's, so samples arrive unresampled.
    assert.ok(result.worst < 1e-6, `rendered sample ${result.worstAt} is off by ${result.worst}`);
    console.log(`largest difference from the stored samples: ${result.worst.toExponential(2)}`);
  });
});

test('each stored format becomes one AudioBuffer of its samples; a gesture resumes the context', { skip: skipAudio ?? false, timeout: 120_000 }, async () => {
  await withProbe('', async (page) => {
    await page.addScriptTag({ content: kPageHelpers });
    const result = await page.evaluate(() => {
      const h = Math.SQRT1_2;
      // name, tag, channels, rate, bits, samples (interleaved), decode, frames
      const kSounds = [
        ['u8', 1, 1, 22050, 8, Uint8Array.from([0, 64, 128, 192, 255]), (v) => (v - 128) / 128],
        ['s16', 1, 1, 44100, 16, Int16Array.from([-32768, -1, 0, 1, 32767]), (v) => v / 32768],
        ['stereo', 1, 2, 48000, 16, Int16Array.from([1000, -1000, 2000, -2000, 3000, -3000]), (v) => v / 32768],
        ['float', 3, 2, 32000, 32, Float32Array.from([0.25, -0.5, 1, -1]), (v) => v],
        ['three', 1, 3, 48000, 16, Int16Array.from([16384, 0, 8192, 0, -16384, 8192]), (v) => v / 32768],
        ['slow', 1, 1, 1000, 16, Int16Array.from({ length: 100 }, (_, i) => i * 300), (v) => v / 32768],
      ];
      const id = Module.ccall('probe_audio_reset', 'number', [], []);
      for (const [name, tag, channels, rate, bits, samples] of kSounds) {
        addSound(name, tag, channels, rate, bits, bits === 8 ? samples : bytesOf(samples));
      }
      // 1,000 whole stereo frames and 3 bytes of a frame left over.
      addSound('ragged', 1, 2, 48000, 16, new Uint8Array(4003));
      Module.ccall('probe_audio_prepare', 'number', [], []);
      const results = kSounds.map(([name], i) => play(name, i % 2 === 1));
      results.push(play('ragged', false));
      const voices = [...Module.tolvaniAudio.backends[id].voices.values()];
      const report = kSounds.map(([name, , channels, rate, , samples, decode], i) => {
        const { buffer, loop, rateScale, node } = voices[i];
        const frames = samples.length / channels;
        const stored = [];
        for (let c = 0; c < buffer.numberOfChannels; ++c) stored.push(...buffer.getChannelData(c));
        let wanted = [];
        if (channels === 3) {
          // The stereo mix: front left, front right, centre at -3 dB.
          for (const side of [0, 1]) {
            for (let f = 0; f < frames; ++f) {
              const [fl, fr, fc] = [0, 1, 2].map((k) => decode(samples[3 * f + k]));
              wanted.push(Math.fround(side === 0 ? fl + h * fc : fr + h * fc));
            }
          }
        } else {
          for (let c = 0; c < channels; ++c) {
            for (let f = 0; f < frames; ++f) wanted.push(Math.fround(decode(samples[f * channels + c])));
          }
        }
        const worst = Math.max(...stored.map((v, k) => Math.abs(v - wanted[k])));
        return { name, length: buffer.length, frames, channels: buffer.numberOfChannels, rate: buffer.sampleRate * rateScale, bufferRate: buffer.sampleRate, storedRate: rate, loop, worst, playing: node !== null, samples: stored.length, wanted: wanted.length };
      });
      const ragged = voices[kSounds.length].buffer;
      return { results, report, ragged: [ragged.length, ragged.numberOfChannels], starts: Module.tolvaniAudio.starts };
    });
    assert.deepEqual(result.results, [0, 0, 0, 0, 0, 0, 0]);
    for (const [i, r] of result.report.entries()) {
      assert.equal(r.length, r.frames, `${r.name}: length`);
      assert.equal(r.channels, r.name === 'u8' || r.name === 's16' || r.name === 'slow' ? 1 : 2, `${r.name}: channels`);
      assert.equal(r.samples, r.wanted, `${r.name}: sample count`);
      assert.ok(Math.abs(r.rate - r.storedRate) < 1e-6, `${r.name}: plays at ${r.rate} Hz, stored at ${r.storedRate} Hz`);
      assert.equal(r.loop, i % 2 === 1, `${r.name}: loop flag`);
      assert.ok(r.worst <= 1e-7, `${r.name}: samples off by ${r.worst}`);
      assert.ok(r.playing, `${r.name}: not playing`);
    }
    // Chromium's buffers take 3 kHz and more; 1 kHz is stored at 8 kHz and
    // played at an eighth of the rate.
    assert.equal(result.report.find((r) => r.name === 'slow').bufferRate, 8000);
    assert.deepEqual(result.ragged, [1000, 2]);
    assert.equal(result.starts, 7);

    // A browser suspends the context until the user acts (this headless one
    // does not): the first gesture resumes it.
    await page.evaluate(() => Module.tolvaniAudio.context.suspend());
    assert.equal(await page.evaluate(() => Module.tolvaniAudio.context.state), 'suspended');
    await page.mouse.click(5, 5);
    await page.waitForFunction(() => Module.tolvaniAudio.context.state === 'running', null, { timeout: 30_000 });
    const stopped = await page.evaluate(() => {
      const result = play('停止', false);
      const voices = [...Object.values(Module.tolvaniAudio.backends)[0].voices.values()];
      return { result, playing: voices.filter((v) => v.node).length };
    });
    assert.deepEqual(stopped, { result: 0, playing: 0 });
  });
});

test('without Web Audio the container makes no voices and nothing fails', { skip: skipAudio ?? false, timeout: 120_000 }, async () => {
  await withProbe('?noaudio=1', async (page) => {
    await page.addScriptTag({ content: kPageHelpers });
    const result = await page.evaluate(() => {
      const id = Module.ccall('probe_audio_reset', 'number', [], []);
      addSound('s16', 1, 1, 44100, 16, new Uint8Array(200));
      const prepared = Module.ccall('probe_audio_prepare', 'number', [], []);
      Module.ccall('probe_audio_gain', null, ['number'], [0.5]);
      Module.ccall('probe_audio_pause', null, ['number'], [1]);
      return { id, prepared, voice: Module.ccall('probe_audio_voice', 'number', ['number'], [0]), play: play('s16', false), stop: play('停止', false), state: Module.tolvaniAudio ?? null };
    });
    // As the null backend without an engine: no voices; a named sound then
    // fails to play (E_FAIL), stop-all succeeds.
    assert.deepEqual(result, { id: 0, prepared: 1, voice: 0, play: -2147467259, stop: 0, state: null });
  });
});
