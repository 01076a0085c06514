#!/usr/bin/env bash
# The smallest memory ceiling (`tolvani thumbnail --memory-limit`, MiB of
# private writable memory of the drawing process) under which each heavy
# project of builder/heavy_projects.h still thumbnails, found by bisection
# to STEP MiB, with the time limit lifted; a fit is a run that draws the
# picture drawn under 4096 MiB. This is the figure the ceiling
# is compared with: a peak resident set misses memory reserved but not yet
# touched (a driver's buffer, a thread's stack), which the limit counts.
# The CPU time of the run at the default ceiling is printed beside it.
#
#   bench/thumbnail_ceiling.sh [BUILD_BIN_DIR] [STEP] [NAME...]
#   (defaults: build/dev/bin, 8, large_model large_image tiny_textures)
set -uo pipefail
bin="${1:-build/dev/bin}"
step="${2:-8}"
shift 2 2>/dev/null || shift $#
tool="$bin/tolvani"
[ -x "$tool" ] && [ -x "$bin/heavy-inputs" ] || { echo "no tolvani or heavy-inputs in $bin" >&2; exit 1; }
work="$(mktemp -d /tmp/tolvani-ceiling.XXXXXX)"
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY

"$bin/heavy-inputs" "$work" >/dev/null || exit 1
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(large_model large_image tiny_textures)

# fits FILE MIB: whether the thumbnail under MIB is the one drawn without a
# ceiling to speak of (a driver that fails quietly must not count as a fit).
fits() {
  rm -f "$work/t.png"
  "$tool" thumbnail "$1" "$work/t.png" --time-limit 3600 --memory-limit "$2" >/dev/null 2>&1 &&
    cmp -s "$work/t.png" "$work/reference.png"
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) processors"
printf '%-16s %9s  %-18s %-28s\n' file MB "ceiling (MiB)" "at 512: wall, CPU, max RSS"
for name in "${names[@]}"; do
  f="$work/$name.zvmov"
  mb=$(echo "$(stat -c %s "$f") / 1000000" | bc -l)
  low=64 high=4096
  "$tool" thumbnail "$f" "$work/reference.png" --time-limit 3600 --memory-limit "$high" \
    >/dev/null 2>&1
  if ! fits "$f" "$high"; then
    ceiling="> $high"
  else
    while [ $((high - low)) -gt "$step" ]; do
      mid=$(((low + high) / 2))
      if fits "$f" "$mid"; then high=$mid; else low=$mid; fi
    done
    ceiling="$high"
  fi
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$tool" thumbnail "$f" "$work/t.png" \
    --time-limit 3600 >/dev/null 2>&1
  rc=$?
  usual=$(awk -v rc=$rc '{ printf "%.1f s, %.1f s, %.0f MiB%s", $1, $2 + $3, $4 / 1024,
    (rc ? " rc=" rc : "") }' <(grep -E '^[0-9.]+ [0-9.]+ [0-9.]+ [0-9]+$' "$work/time"))
  printf '%-16s %9.1f  %-18s %-28s\n' "$name" "$mb" "$ceiling" "$usual"
done
