#!/usr/bin/env bash
# Long-run memory of the player's own view logic: `tolvani simulate` on the
# looping demo story (its last step jumps back to the first) with clicks
# over the view, walking keys, wheel notches and a re-open of the file every
# 50,000 ticks. Prints the peak resident set size of one run per tick count;
# a flat column means nothing grows with the length of the run.
#
#   bench/soak.sh [BUILD_BIN_DIR] [TICKS...]   (defaults: build/dev/bin,
#                                               10000 100000 1000000)
set -euo pipefail
bin="${1:-build/dev/bin}"
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(10000 100000 1000000)
tool="$bin/tolvani"
demo="$bin/Main.zvmov"
[ -x "$tool" ] || { echo "no tolvani at $tool" >&2; exit 1; }
[ -f "$demo" ] || { echo "no demo project at $demo" >&2; exit 1; }

work="$(mktemp -d /tmp/tolvani-soak.XXXXXX)"
trap 'rm -rf "$work"' EXIT

# One block: 1,000 ticks with input between them.
block() {
  echo "tick 200"
  for y in 120 200 240 280 360; do
    for x in 160 320 400 480; do echo "click $x $y"; done
  done
  echo "tick 200"
  echo "keydown W"
  echo "tick 100"
  echo "keyup W"
  echo "keydown Left"
  echo "tick 100"
  echo "keyup Left"
  echo "wheel -120 320 240"
  echo "tick 200"
  echo "wheel 120 320 240"
  echo "tick 200"
  echo "state"
}

printf '%10s  %14s  %10s\n' ticks peak_rss_MiB seconds
for ticks in "${counts[@]}"; do
  script="$work/soak-$ticks.txt"
  {
    for ((b = 0; b < ticks / 1000; b++)); do
      block
      if (((b + 1) % 50 == 0)); then echo "open $demo"; fi
    done
  } >"$script"
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/rss" "$tool" simulate "$demo" "$script" >/dev/null
  end=$(date +%s%N)
  kib=$(tail -1 "$work/rss")
  printf '%10d  %14.1f  %10.1f\n' "$ticks" "$(echo "$kib / 1024" | bc -l)" \
    "$(echo "($end - $start) / 1000000000" | bc -l)"
done
