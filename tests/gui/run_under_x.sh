#!/usr/bin/env bash
# Runs a window test on the xcb platform with a private runtime directory;
# starts a private Xvfb when no X server is given in DISPLAY.
set -euo pipefail
export QT_QPA_PLATFORM=xcb
runtime="$(mktemp -d /tmp/tolvani-gui-xdg.XXXXXX)"
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
trap 'rm -rf "$runtime"' EXIT
here="$(cd "$(dirname "$0")" && pwd)"
# Sanitizer builds: Mesa kept loaded and the system libraries' leaks
# suppressed (gl_leak_env.sh).
source "$here/../support/gl_leak_env.sh"
gl_leak_env "$@"
if [ -n "${DISPLAY:-}" ]; then
  "$@"
else
  xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
fi
