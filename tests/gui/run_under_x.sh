#!/usr/bin/env bash
# Runs a window test on the xcb platform with a private runtime directory;
# starts a private Xvfb when no X server is given in DISPLAY.
set -euo pipefail
export QT_QPA_PLATFORM=xcb
runtime="$(mktemp -d /tmp/tolvani-gui-xdg.XXXXXX)"
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
trap 'rm -rf "$runtime"' EXIT
# Sanitizer builds: leaks of the system libraries are not the player's.
# The Mesa driver is unloaded before the leak report, so its few leaked
# blocks cannot be attributed (or suppressed) by library; leak checking is
# left to the unit tests, address and undefined-behaviour checks stay on.
here="$(cd "$(dirname "$0")" && pwd)"
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$here/lsan.supp"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
if [ -n "${DISPLAY:-}" ]; then
  "$@"
else
  xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
fi
