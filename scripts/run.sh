#!/usr/bin/env bash
# Sets up the machine, builds the player and starts it on its demo project.
# On a machine without a display it runs under Xvfb and saves a screenshot
# of the first frames instead (build/dev/bin/screenshot.png).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)"

bin=build/dev/bin
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin/tolvani-player" "$@"
fi
echo "No display: running the player under Xvfb for 60 ticks."
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$(mktemp -d /tmp/tolvani-xdg.XXXXXX)"
chmod 700 "$XDG_RUNTIME_DIR"
xvfb-run -a -s "-screen 0 1920x1080x24" "$bin/tolvani-player" --screenshot "$bin/screenshot.png" --ticks 60 "$@"
echo "Screenshot: $bin/screenshot.png"
"$bin/tolvani" inspect "$bin/Main.zvmov" | head -c 2000; echo
