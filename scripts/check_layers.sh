#!/usr/bin/env bash
# Fails when a source file includes a folder on its own row or above it in
# the layer table of src/README.md, or a folder the table does not name.
# Prints each offending file and line. Usage: check_layers.sh [ROOT]
set -euo pipefail
root="${1:-$(dirname "$0")/..}"
cd "$root"

# folder -> row, from the table lines "| N | folder folder | ..."
declare -A row
while IFS='|' read -r _ r folders _; do
  r="${r// /}"
  [[ "$r" =~ ^[0-9]+$ ]] || continue
  for f in $folders; do row[$f]=$r; done
done < src/README.md
if [ ${#row[@]} -eq 0 ]; then
  echo "check_layers: no layer table in src/README.md" >&2
  exit 2
fi

bad=0
report() { echo "$1: $2" >&2; bad=1; }

while IFS= read -r file; do
  rel="${file#src/}"
  rel="${rel#tools/}"
  own="${rel%%/*}"
  if [ "$own" = "$rel" ]; then own=""; fi  # a file at the top of src/ or tools/
  if [ -n "$own" ] && [ -z "${row[$own]+x}" ]; then
    report "$file:1" "folder '$own' is not in the layer table of src/README.md"
    continue
  fi
  while IFS=: read -r line text; do
    target="$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"$text")"
    case "$target" in */*) ;; *) continue ;; esac
    dep="${target%%/*}"
    [ "$dep" = "$own" ] && continue
    if [ -z "${row[$dep]+x}" ]; then
      # not a layer folder: a system-style path such as "epoxy/gl.h" is fine
      # only when it does not name a folder of src/, tools/ or tests/
      if [ -d "src/$dep" ] || [ -d "tools/$dep" ] || [ -d "tests/$dep" ]; then
        report "$file:$line" "includes \"$target\": folder '$dep' is not a layer below it"
      fi
      continue
    fi
    if [ -z "$own" ]; then
      # top-level tools (make_demo.cpp) sit above every row
      continue
    fi
    if [ "${row[$dep]}" -ge "${row[$own]}" ]; then
      report "$file:$line" "includes \"$target\": '$dep' (row ${row[$dep]}) is not below '$own' (row ${row[$own]})"
    fi
  done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done < <(find src tools -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' \) | sort)

if [ $bad -ne 0 ]; then
  echo "check_layers: upward or sideways includes found (see src/README.md)" >&2
  exit 1
fi
echo "check_layers: every include runs downward"
