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
# Sanitizer builds check for leaks at exit, the system libraries' own
# excepted (lsan.supp). Mesa unloads its driver before the report, which
# would leave its blocks without a name to suppress them by: keep the driver
# loaded for the whole run (the sanitizer runtime must stay first).
if ldd "$1" 2>/dev/null | grep -q 'libasan\.so'; then
  asan=$(ldd "$1" | awk '/libasan\.so/ {print $3; exit}')
  driver=/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so
  if [ -f "$driver" ]; then
    export LD_PRELOAD="$asan:$driver${LD_PRELOAD:+:$LD_PRELOAD}"
  fi
  export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$here/lsan.supp"
fi
if [ -n "${DISPLAY:-}" ]; then
  "$@"
else
  xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
fi
