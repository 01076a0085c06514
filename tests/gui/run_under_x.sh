#!/usr/bin/env bash
# Runs a window test on the xcb platform with a private runtime directory.
# It uses the X server in DISPLAY, or starts a private Xvfb when there is
# none or when TOLVANI_X_SCREEN asks for a screen size (WxHxDEPTH) of its own.
# TOLVANI_X_WM=openbox runs that window manager in the private server, for
# tests of what only a window manager does (full screen).
set -euo pipefail
if [ -z "${TOLVANI_X_PRIVATE:-}" ] && { [ -z "${DISPLAY:-}" ] || [ -n "${TOLVANI_X_SCREEN:-}" ]; }; then
  # Once more inside the private server, so that the sanitizer set-up below
  # reaches the test alone and not xvfb-run or the server.
  exec env TOLVANI_X_PRIVATE=1 xvfb-run -a -s "-screen 0 ${TOLVANI_X_SCREEN:-1280x1024x24}" "$0" "$@"
fi
export QT_QPA_PLATFORM=xcb
runtime="$(mktemp -d /tmp/tolvani-gui-xdg.XXXXXX)"
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
wm_pid=""
trap 'rm -rf "$runtime"; [ -z "$wm_pid" ] || kill "$wm_pid" 2>/dev/null || true' EXIT
if [ -n "${TOLVANI_X_PRIVATE:-}" ] && [ -n "${TOLVANI_X_WM:-}" ]; then
  # Openbox runs its start-up command once it manages the screen.
  "$TOLVANI_X_WM" --startup "touch $runtime/wm-ready" >/dev/null 2>&1 &
  wm_pid=$!
  for _ in $(seq 100); do
    [ -e "$runtime/wm-ready" ] && break
    kill -0 "$wm_pid" 2>/dev/null || { echo "run_under_x: $TOLVANI_X_WM did not start" >&2; exit 1; }
    sleep 0.1
  done
  [ -e "$runtime/wm-ready" ] || { echo "run_under_x: $TOLVANI_X_WM is not ready" >&2; exit 1; }
fi
here="$(cd "$(dirname "$0")" && pwd)"
# Sanitizer builds: Mesa kept loaded and the system libraries' leaks
# suppressed (gl_leak_env.sh).
source "$here/../support/gl_leak_env.sh"
gl_leak_env "$@"
"$@"
