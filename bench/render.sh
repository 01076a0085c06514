#!/usr/bin/env bash
# Speed of `tolvani render` and `tolvani thumbnail` without a display: the
# demo played by --autoplay to its end (about 11 s of cartoon) at three
# sizes to MP4, and at 1280x720 to WebM; frames per second, the cartoon's
# seconds per wall-clock second, processor time, and where the time goes
# (drawing incl. waiting for the driver, read-back, sound mixing,
# encoding on its own thread). Then the thumbnail of the demo, several runs.
# The machine's load average is printed first: the wall clock counts only
# on an otherwise idle machine. The 1280x720 MP4 is rendered a second time
# with every command issued as recorded (TOLVANI_DRAW_AS_RECORDED=1: every
# draw blended, no kept pictures; the same pixels) as the before figure of
# the same run.
#
#   bench/render.sh [BUILD_BIN_DIR] [THUMBNAIL_RUNS] [SECONDS]
#   (defaults: build/dev/bin, 5, the whole demo; SECONDS: only its first seconds)
set -euo pipefail
bin="${1:-build/dev/bin}"
runs="${2:-5}"
seconds="${3:-}"
limit=()
[ -n "$seconds" ] && limit=(--max-seconds "$seconds")
tool="$bin/tolvani"
[ -x "$bin/tolvani-render" ] || { echo "no tolvani-render in $bin" >&2; exit 1; }
work="$(mktemp -d /tmp/tolvani-render-bench.XXXXXX)"
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) processors"
printf '%-10s %-9s %7s %8s %8s %9s  %s\n' size file frames "fps" "x real" "cpu s" \
  "drawing / read-back / sound / encoding (s)"
render() {
  local size="$1" ext="$2" label="${3:-$2}"
  /usr/bin/time -f "%U %S" -o "$work/cpu" \
    "$tool" render "$bin/Main.zvmov" -o "$work/out.$ext" --autoplay --size "$size" \
    "${limit[@]}" 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  awk -v size="$size" -v ext="$label" -v cpu="$(awk '{print $1 + $2}' "$work/cpu")" '
    /^done:/ { frames = $2; cartoon = $4; wall = $9 }
    /^time:/ { draw = $3; read = $6; sound = $10; enc = $13 }
    END { printf "%-10s %-9s %7d %8.1f %8.2f %9.2f  %s / %s / %s / %s\n",
                 size, ext, frames, frames / wall, cartoon / wall, cpu, draw, read, sound, enc }' \
    "$work/err"
}
render 640x360 mp4
render 1280x720 mp4
TOLVANI_DRAW_AS_RECORDED=1 render 1280x720 mp4 mp4,recorded
render 1920x1080 mp4
render 1280x720 webm

times=()
for ((i = 0; i < runs; i++)); do
  start=$(date +%s%N)
  "$tool" thumbnail "$bin/Main.zvmov" "$work/thumb.png" 2>/dev/null
  end=$(date +%s%N)
  times+=($(( (end - start) / 1000000 )))
done
printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {
  m = (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2;
  printf "thumbnail 256 px: runs %d  min %d ms  median %d ms  max %d ms\n", NR, a[1], m, a[NR] }'
