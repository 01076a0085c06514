#!/usr/bin/env bash
# Sets up the machine, checks the include layers, builds everything and
# runs every test:
#  1. the sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer) and its tests,
#  2. the fuzzer over the file reader for a bounded time,
#  3. the WebAssembly build of the core (Debian's emscripten) and the core's
#     tests under Node (before the release tests: the package test takes its
#     web player from this build),
#  4. the release build with warnings as errors and its tests, GUI tests
#     included (under Xvfb),
#  5. the browser tests: the WebAssembly build in headless Chromium (needs
#     step 3's build); Node's test runner's summary closes the output.
# FUZZ_SECONDS (default 60) bounds the fuzzing; SKIP_ASAN=1 / SKIP_FUZZ=1 /
# SKIP_WASM=1 / SKIP_WEB=1 skip steps.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

# Includes between source folders run downward only (src/README.md).
bash scripts/check_layers.sh

# Window tests need an X server: one private Xvfb for the whole run.
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$(mktemp -d /tmp/tolvani-xdg.XXXXXX)"
chmod 700 "$XDG_RUNTIME_DIR"
run_x() { xvfb-run -a -s "-screen 0 1920x1080x24" "$@"; }

jobs=$(nproc)

if [ "${SKIP_ASAN:-0}" != 1 ]; then
  echo "=== sanitizer build and tests"
  cmake --preset asan >/dev/null
  cmake --build --preset asan -j "$jobs"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_x ctest --preset asan -j 1 --timeout 600
fi

if [ "${SKIP_FUZZ:-0}" != 1 ]; then
  echo "=== fuzzing the reader for ${FUZZ_SECONDS:-60} s"
  bash scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
fi

if [ "${SKIP_WASM:-0}" != 1 ]; then
  echo "=== WebAssembly build and the core's tests under Node"
  cmake --preset wasm >/dev/null
  cmake --build --preset wasm -j "$jobs"
  ctest --preset wasm -j 1 --timeout 600
fi

echo "=== release build and tests"
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs"
run_x ctest --preset ci -j 1 --timeout 600

if [ "${SKIP_WASM:-0}" != 1 ] && [ "${SKIP_WEB:-0}" != 1 ]; then
  echo "=== browser tests (headless Chromium)"
  node --test tests/browser/
fi
