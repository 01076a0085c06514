#!/usr/bin/env bash
# Builds the web player (wasm preset) and the demo (dev preset), then serves
# them on 127.0.0.1 only and prints the address to open. PORT (default 8080)
# picks the port; Ctrl-C stops the server.
set -euo pipefail
cd "$(dirname "$0")/.."
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
cmake --preset wasm >/dev/null
cmake --build --preset wasm --target tolvani_player
cmake --preset dev >/dev/null
cmake --build --preset dev --target tolvani-demos
PORT="${PORT:-8080}" node --input-type=module -e '
import { serve } from "./tests/browser/harness.mjs";
const server = await serve({ "/cartoons/": "build/dev/bin", "/": "build/wasm/web" }, Number(process.env.PORT));
console.log(`the demo: ${server.url}/player.html?file=/cartoons/Main.zvmov`);
console.log(`an example: ${server.url}/player.html?file=/cartoons/examples/walk.zvmov`);
'
