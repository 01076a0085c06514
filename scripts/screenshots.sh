#!/usr/bin/env bash
# Saves the README's screenshots under docs/screenshots/: the demo and each
# example, drawn by the player itself (--screenshot) under Xvfb.
#   scripts/screenshots.sh [BUILD_BIN_DIR]   (default build/dev/bin)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${1:-$root/build/dev/bin}"
out="$root/docs/screenshots"
mkdir -p "$out"
export QT_QPA_PLATFORM=xcb
runtime="$(mktemp -d /tmp/tolvani-shots.XXXXXX)"
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
trap 'rm -rf "$runtime"' EXIT

# name  project  ticks  (the demo's fade-in takes about 46 ticks, its glide 45)
shots=(
  "main Main.zvmov 100"
  "walk examples/walk.zvmov 5"
  "explore examples/explore.zvmov 5"
  "scroll examples/scroll.zvmov 5"
  "orbit examples/orbit.zvmov 5"
)
for shot in "${shots[@]}"; do
  read -r name project ticks <<<"$shot"
  xvfb-run -a -s "-screen 0 1920x1080x24" \
    "$bin/tolvani-player" -qwindowgeometry 800x600+0+0 "$bin/$project" \
    --screenshot="$out/$name.png" --ticks="$ticks" >/dev/null 2>&1
  echo "screenshots: $out/$name.png"
done

# The demo's steps at 16:9, drawn headless by `tolvani render`: Space moves
# the story on as a click on its balloon would; each step's glide takes 50
# ticks. (The committed files were reduced to 256 colours afterwards.)
for k in 1 2 3 4 5 6 7 8; do
  script="$runtime/steps$k.txt"
  { echo "tick 105"; for ((i = 1; i < k; i++)); do printf 'keydown 0x20\nkeyup 0x20\ntick 55\n'; done; } >"$script"
  "$bin/tolvani" render "$bin/Main.zvmov" -o "$out/demo-step-$k.png" --size 1280x720 \
    --script "$script" >/dev/null 2>&1
  echo "screenshots: $out/demo-step-$k.png"
done
