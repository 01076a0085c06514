#!/usr/bin/env bash
# Peak memory and time of the tools on the heavy projects of
# builder/heavy_projects.h: `tolvani inspect`, `tolvani thumbnail` (256 px,
# with its own limits lifted so the whole run is measured) and
# `tolvani render -o x.png` (1280x720). Each run is cut off after TIMEOUT
# seconds (printed as "timeout"). Wall-clock figures count only on an
# otherwise idle machine; the peak resident set does not depend on it.
#
#   bench/heavy_inputs.sh [BUILD_BIN_DIR] [TIMEOUT] [NAME...]
#   (defaults: build/dev/bin, 120, every project)
set -uo pipefail
bin="${1:-build/dev/bin}"
limit="${2:-120}"
shift 2 2>/dev/null || shift $#
tool="$bin/tolvani"
[ -x "$tool" ] && [ -x "$bin/heavy-inputs" ] || { echo "no tolvani or heavy-inputs in $bin" >&2; exit 1; }
work="$(mktemp -d /tmp/tolvani-heavy.XXXXXX)"
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY

"$bin/heavy-inputs" "$work" >/dev/null || exit 1
names=("$@")
[ ${#names[@]} -gt 0 ] || names=($(cd "$work" && ls *.zvmov | sed 's/\.zvmov$//'))

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) processors"
printf '%-16s %9s  %-22s %-22s %-22s\n' file MB "inspect (s, MiB)" "thumbnail (s, MiB)" \
  "render png (s, MiB)"
run() {
  /usr/bin/time -f '%e %M' -o "$work/time" timeout "$limit" "$@" >/dev/null 2>"$work/err"
  local rc=$?
  if [ $rc -eq 124 ]; then echo "timeout"; return; fi
  awk -v rc=$rc '{ printf "%.1f s %.0f MiB%s", $1, $2 / 1024, (rc ? " rc=" rc : "") }' \
    <(grep -E '^[0-9.]+ [0-9]+$' "$work/time")
}
for name in "${names[@]}"; do
  f="$work/$name.zvmov"
  mb=$(echo "$(stat -c %s "$f") / 1000000" | bc -l)
  i=$(run "$tool" inspect "$f")
  t=$(run "$tool" thumbnail "$f" "$work/t.png" --time-limit 3600 --max-megabytes 4096)
  r=$(run "$tool" render "$f" -o "$work/r.png")
  printf '%-16s %9.1f  %-22s %-22s %-22s\n' "$name" "$mb" "$i" "$t" "$r"
done
