#!/usr/bin/env bash
# Every speed figure of docs/performance.md beside its baseline, measured in
# one run, as one table with the load average before each measure (the
# wall-clock figures only mean something on a quiet machine; CPU figures
# are steadier). Each row comes from the script or benchmark named in it:
#
#   start-up        bench/startup.sh: first frame vs `tolvani-player --version`
#   still scene     bench/still_scene.sh: CPU of 300 steady ticks, share of a core
#   render          `tolvani render --autoplay` of the demo's first seconds to
#                   MP4 at 640x360, 1280x720, 1920x1080, vs real time; at
#                   1280x720 also with every command issued as recorded
#                   (TOLVANI_DRAW_AS_RECORDED=1: every draw blended, no
#                   kept pictures; the same pixels), as the before figure
#   warm open       geometry_bench: 1M triangles vs its plain reference implementation
#   texture read    read_bench: document read of 201 MB vs plain read()
#
#   bench/report.sh [--quick] [BUILD_BIN_DIR]     (default build/dev/bin)
#
# --quick: fewer runs, 10 s of cartoon instead of 20 and only 1280x720
# (about two minutes on an idle 2-core machine instead of six or more).
# The raw output of every measure is kept in the folder printed at the end.
set -euo pipefail
quick=0
if [ "${1:-}" = "--quick" ]; then
  quick=1
  shift
fi
bin="${1:-build/dev/bin}"
here="$(cd "$(dirname "$0")" && pwd)"
for f in tolvani-player tolvani tolvani-render tolvani-still-scene-project read_bench \
  geometry_bench; do
  [ -x "$bin/$f" ] || { echo "no $f in $bin (build it first)" >&2; exit 1; }
done
raw="$(mktemp -d /tmp/tolvani-report.XXXXXX)"
if [ "$quick" = 1 ]; then
  startup_runs=5 still_runs=1 seconds=10 sizes="1280x720"
else
  startup_runs=9 still_runs=3 seconds=20 sizes="640x360 1280x720 1920x1080"
fi

load() { cut -d' ' -f1 /proc/loadavg; }
rows=()
row() { rows+=("$(printf '| %s | %s | %s | %s | %s | %s |' "$@")"); }

# Start-up to the first frame, beside --version.
l=$(load)
bash "$here/startup.sh" "$bin" "$startup_runs" >"$raw/startup.txt" 2>"$raw/startup.err"
first=$(awk '/^first frame/ {for (i = 1; i <= NF; ++i) if ($i == "median") print $(i + 1)}' \
  "$raw/startup.txt")
version=$(awk '/^--version/ {for (i = 1; i <= NF; ++i) if ($i == "median") print $(i + 1)}' \
  "$raw/startup.txt")
row "start-up to the first frame (median of $startup_runs)" "$first ms" \
  "\`--version\`: $version ms" "$(awk -v a="$first" -v b="$version" \
  'BEGIN { if (b > 0) printf "%.1fx", a / b; else print "-" }')" "<= 20x" "$l"

# Still scene: CPU of steady ticks.
l=$(load)
bash "$here/still_scene.sh" "$bin" "$still_runs" >"$raw/still.txt" 2>"$raw/still.err"
share=$(sed -n 's/.*, \([0-9.]*\) % of a core.*/\1/p' "$raw/still.txt")
row "still scene (32 boards), CPU of 300 steady ticks" "$share % of a core" \
  "a core: 100 %" "" "<= 5 %" "$l"

# Rendering the demo to MP4 against real time.
work="$raw/render"
mkdir -p "$work"
render() {
  local size="$1" tag="$2" blend="$3"
  (
    unset DISPLAY WAYLAND_DISPLAY
    TOLVANI_DRAW_AS_RECORDED="$blend" /usr/bin/time -f "%U %S" -o "$work/cpu-$tag" \
      "$bin/tolvani" render "$bin/Main.zvmov" -o "$work/out-$tag.mp4" --autoplay \
      --size "$size" --max-seconds "$seconds" 2>"$work/err-$tag" >/dev/null
  )
  rm -f "$work/out-$tag.mp4"
  awk '/^done:/ { if ($9 > 0) printf "%.2f", $4 / $9 }' "$work/err-$tag"
}
for size in $sizes; do
  l=$(load)
  x=$(render "$size" "$size" 0)
  cpu=$(awk '{ printf "%.1f", $1 + $2 }' "$work/cpu-$size")
  if [ "$size" = 1280x720 ]; then
    before=$(render "$size" "$size-blend" 1)
    bcpu=$(awk '{ printf "%.1f", $1 + $2 }' "$work/cpu-$size-blend")
    row "render the demo, $size MP4, first $seconds s" "${x}x real time ($cpu CPU s)" \
      "as recorded: ${before}x ($bcpu CPU s)" \
      "$(awk -v a="$cpu" -v b="$bcpu" 'BEGIN { if (b > 0) printf "CPU %.2fx of as recorded", a / b }')" \
      ">= 2x real time" "$l"
  else
    row "render the demo, $size MP4, first $seconds s" "${x}x real time ($cpu CPU s)" \
      "real time: 1x" "" "" "$l"
  fi
done

# Warm open of 1M triangles against the reference implementation.
l=$(load)
"$bin/geometry_bench" >"$raw/geometry.txt" 2>&1
best=$(sed -n 's/^best end-to-end open: \([0-9.]*\) ms.*/\1/p' "$raw/geometry.txt")
ref=$(sed -n 's/^reference implementation[^:]*: \([0-9.]*\) ms.*/\1/p' "$raw/geometry.txt")
row "warm open, 1M triangles (best)" "$best ms" "reference implementation: $ref ms" \
  "$(awk -v a="$best" -v b="$ref" 'BEGIN { if (a > 0) printf "%.1fx faster", b / a }')" \
  "level or ahead" "$l"

# The 201 MB texture project against read().
l=$(load)
"$bin/read_bench" >"$raw/read.txt" 2>&1 || true
ratio=$(sed -n 's/.*document read [0-9]* MB\/s (\([0-9.]*\) x plain.*/\1/p' "$raw/read.txt")
doc=$(sed -n 's/.*document read \([0-9]*\) MB\/s.*/\1/p' "$raw/read.txt")
plain=$(sed -n 's/^best: plain read \([0-9]*\) MB\/s.*/\1/p' "$raw/read.txt")
row "texture project read, 201 MB, warm (best)" "$doc MB/s" "\`read()\`: $plain MB/s" \
  "${ratio}x" ">= 0.3x" "$l"

echo "$(date -u '+%F %H:%M UTC'), $(nproc) processors, build $bin$([ "$quick" = 1 ] && echo ', --quick')"
echo "| Measure | Figure | Baseline in the same run | Ratio | Target | Load (1 min) |"
echo "|---|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg); raw output in $raw"
