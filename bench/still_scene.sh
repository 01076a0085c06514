#!/usr/bin/env bash
# CPU of the player on a still scene (32 plain boards, nothing moving): the
# player's user + system CPU seconds for 300 steady ticks, the difference of
# a run of WARM + 300 ticks and one of WARM ticks (start-up, open and the
# screenshot cancel out), several runs of each, medians. Printed beside it
# as the share of one core at the nominal tick rate (300 ticks = 9 s). CPU
# seconds do not depend on how loaded the machine is; wall time does.
#
#   bench/still_scene.sh [BUILD_BIN_DIR] [RUNS]   (defaults: build/dev/bin, 3)
#   TOLVANI_PLAYER=OTHER/tolvani-player bench/still_scene.sh   (another build)
set -euo pipefail
bin="${1:-build/dev/bin}"
runs="${2:-3}"
player="${TOLVANI_PLAYER:-$bin/tolvani-player}"  # another player to compare
maker="$bin/tolvani-still-scene-project"
[ -x "$player" ] || { echo "no player at $player" >&2; exit 1; }
[ -x "$maker" ] || { echo "no scene maker at $maker" >&2; exit 1; }

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

export QT_QPA_PLATFORM=xcb
work="$(mktemp -d /tmp/tolvani-still.XXXXXX)"
chmod 700 "$work"
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work"
export XDG_CONFIG_HOME="$work/config"
export TOLVANI_RECORD_MESSAGES="$work/messages.jsonl"
"$maker" "$work/still.zvmov"

warm=60
steady=300

# CPU seconds (user + system) of one run of N ticks.
cpu_of() {
  /usr/bin/time -o "$work/time.txt" -f '%U %S' "$player" "$work/still.zvmov" \
    --screenshot "$work/shot.png" --ticks "$1" >/dev/null 2>&1
  awk '{ printf "%.3f\n", $1 + $2 }' "$work/time.txt"
}

median() { sort -n | awk '{a[NR]=$1} END { print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2 }'; }

short=() long=()
for ((i = 0; i < runs; i++)); do
  short+=("$(cpu_of $warm)")
  long+=("$(cpu_of $((warm + steady)))")
done
s=$(printf '%s\n' "${short[@]}" | median)
l=$(printf '%s\n' "${long[@]}" | median)
awk -v s="$s" -v l="$l" -v n="$steady" -v w="$warm" -v runs="$runs" -v load="$(cut -d' ' -f1-3 /proc/loadavg)" 'BEGIN {
  d = l - s; if (d < 0) d = 0
  printf "still scene, %d ticks: %.3f CPU s (runs %d; %d+%d ticks %.3f s, %d ticks %.3f s), %.1f %% of a core at 30 ms a tick; load %s\n",
         n, d, runs, w, n, l, w, s, 100 * d / (n * 0.030), load }'
