// The device contract suite, built as WebAssembly, run in headless Chromium:
// the WebGL2 device must pass every test the other devices pass.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import { serve, launchChromium, missingPrerequisite, keepScreenshot, sourceDir, wasmBin } from './harness.mjs';

const suite = path.join(wasmBin, 'test_contract_web.js');
const skip = missingPrerequisite([suite]);

test('the WebGL2 device passes the device contract suite in Chromium', { skip: skip ?? false, timeout: 240_000 }, async () => {
  const server = await serve({ '/bin/': wasmBin, '/': path.join(sourceDir, 'tests/browser') });
  const browser = await launchChromium();
  try {
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(String(e)));
    await page.goto(`${server.url}/contract.html`);
    await page.waitForFunction(() => window.report.done, null, { timeout: 200_000 });
    const report = await page.evaluate(() => window.report);
    const output = report.lines.join('\n');
    if (report.status !== 0) await keepScreenshot(page, 'contract');
    assert.equal(report.status, 0, `the suite failed:\n${output}\n${errors.join('\n')}`);
    // The WebGL2 entry ran (a missing context would skip it quietly).
    const count = (re) => (output.match(re) ?? []).length;
    const passed = count(/\[ {7}OK \] DeviceContract\/WebGL2\./g);
    const all = count(/\[ {7}OK \] DeviceContract\/Null\./g);
    assert.ok(all > 0 && passed === all, `${passed} of ${all} contract tests passed on WebGL2:\n${output}`);
    assert.doesNotMatch(output, /\[ {2}SKIPPED \] DeviceContract\/WebGL2\./);
    assert.match(output, /\[ {7}OK \] WebGL2Device\.LostContextFailsSoftly/);
  } finally {
    await browser.close();
    await server.close();
  }
});
