// What every browser test shares: a static file server on 127.0.0.1 (never
// another address) and Debian's Chromium launched headless through
// playwright-core. Nothing here downloads a browser.
import { createServer } from 'node:http';
import { readFile, stat } from 'node:fs/promises';
import { existsSync, mkdirSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

export const sourceDir = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
// The WebAssembly build's programs (the wasm preset's bin/ by default).
export const wasmBin = path.resolve(process.env.TOLVANI_WASM_BIN ?? path.join(sourceDir, 'build/wasm/bin'));
// Failure screenshots are kept here as test artefacts.
export const artefactDir = path.resolve(process.env.TOLVANI_BROWSER_ARTEFACTS ?? path.join(sourceDir, 'build/browser-artefacts'));
export const chromiumPath = process.env.TOLVANI_CHROMIUM ?? '/usr/lib/chromium/chromium';

const kTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.css': 'text/css; charset=utf-8',
  '.png': 'image/png',
  '.glsl': 'text/plain; charset=utf-8',
};

// Serves each URL prefix of mounts ({'/bin/': dir, '/': dir}) from its folder;
// paths that leave their folder are refused. port 0 picks a free one.
// Resolves to {url, close}.
export async function serve(mounts, port = 0) {
  const prefixes = Object.keys(mounts).sort((a, b) => b.length - a.length);
  const server = createServer(async (request, response) => {
    try {
      const pathname = decodeURIComponent(new URL(request.url, 'http://127.0.0.1').pathname);
      const prefix = prefixes.find((p) => pathname.startsWith(p));
      if (prefix === undefined) throw new Error('no mount');
      const root = path.resolve(mounts[prefix]);
      const file = path.resolve(root, '.' + path.sep + pathname.slice(prefix.length));
      if (file !== root && !file.startsWith(root + path.sep)) throw new Error('outside');
      if (!(await stat(file)).isFile()) throw new Error('not a file');
      const body = await readFile(file);
      response.writeHead(200, {
        'Content-Type': kTypes[path.extname(file)] ?? 'application/octet-stream',
        'Cache-Control': 'no-store',
      });
      response.end(body);
    } catch {
      response.writeHead(404, { 'Content-Type': 'text/plain' });
      response.end('not found');
    }
  });
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', resolve);
  });
  return {
    url: `http://127.0.0.1:${server.address().port}`,
    close: () => new Promise((resolve) => server.close(resolve)),
  };
}

// Headless Chromium with WebGL2 on SwiftShader (no GPU needed).
export async function launchChromium() {
  const args = ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--ignore-gpu-blocklist'];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
  return chromium.launch({ executablePath: chromiumPath, headless: true, args });
}

// Why the browser tests cannot run here, or null when they can.
export function missingPrerequisite(files) {
  if (!existsSync(chromiumPath)) return `no Chromium at ${chromiumPath} (scripts/setup.sh installs it)`;
  for (const f of files) {
    if (!existsSync(f)) {
      const preset = f.startsWith(path.join(sourceDir, 'build/wasm')) ? 'wasm' : 'ci';
      return `${f} is not built (cmake --build --preset ${preset})`;
    }
  }
  return null;
}

// Keeps a screenshot of the page under the artefact folder.
export async function keepScreenshot(page, name) {
  mkdirSync(artefactDir, { recursive: true });
  const file = path.join(artefactDir, `${name}.png`);
  await page.screenshot({ path: file }).catch(() => {});
  return file;
}

// Runs body({ page, errors }) in a fresh context (its own page and storage)
// of browser, errors collecting the page's uncaught ones; a failure keeps a
// screenshot named after `name`; the context and the server close either way.
export async function inFreshPage(browser, server, contextOptions, name, body) {
  const context = await browser.newContext(contextOptions);
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  try {
    await body({ page, errors });
  } catch (error) {
    await keepScreenshot(page, `${name}-${Date.now()}`);
    throw error;
  } finally {
    await context.close();
    await server.close();
  }
}

// The native build's programs (`tolvani`, the demo): the ci preset's, else dev's.
export const nativeBin = path.resolve(
  process.env.TOLVANI_NATIVE_BIN ??
    [path.join(sourceDir, 'build/ci/bin'), path.join(sourceDir, 'build/dev/bin')].find((d) =>
      existsSync(path.join(d, 'tolvani')),
    ) ??
    path.join(sourceDir, 'build/ci/bin'),
);
// The web player's folder (player.html, its glue and the .wasm).
export const webDir = path.resolve(process.env.TOLVANI_WEB_DIR ?? path.join(wasmBin, '../web'));
