#!/usr/bin/env bash
# Start-up time of the player to its first presented frame: the time of
# `tolvani-player --screenshot PNG --ticks 0` (start, open Main.zvmov, show
# the window, draw and save the first frame, exit), several runs, median;
# beside it `tolvani-player --version` (process start and exit only).
# Runs under a private Xvfb unless DISPLAY is set.
#
#   bench/startup.sh [BUILD_BIN_DIR] [RUNS]      (defaults: build/dev/bin, 9)
set -euo pipefail
bin="${1:-build/dev/bin}"
runs="${2:-9}"
player="$bin/tolvani-player"
[ -x "$player" ] || { echo "no player at $player" >&2; exit 1; }

export QT_QPA_PLATFORM=xcb
work="$(mktemp -d /tmp/tolvani-startup.XXXXXX)"
chmod 700 "$work"
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work"
export XDG_CONFIG_HOME="$work/config"
export TOLVANI_RECORD_MESSAGES="$work/messages.jsonl"

measure() {
  local times=()
  for ((i = 0; i < runs; i++)); do
    local start end
    start=$(date +%s%N)
    "$player" "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    times+=($(( (end - start) / 1000000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {
    m = (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2;
    printf "runs %d  min %d ms  median %d ms  max %d ms\n", NR, a[1], m, a[NR] }'
}

if [ -n "${DISPLAY:-}" ]; then
  printf 'first frame: '
  measure --screenshot "$work/frame.png" --ticks 0
  printf '%s' '--version:   '
  measure --version
else
  # Once more under a private X server.
  xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$bin" "$runs"
  exit $?
fi
if [ -s "$TOLVANI_RECORD_MESSAGES" ]; then
  echo "messages during start-up:" >&2
  cat "$TOLVANI_RECORD_MESSAGES" >&2
fi
