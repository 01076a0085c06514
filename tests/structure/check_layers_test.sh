#!/usr/bin/env bash
# The include check fails, naming file and line, on an include into a higher
# row, into the same row (a circle between peers) and into a folder the
# table does not name; it passes on downward includes.
set -euo pipefail
check="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check_layers.sh"
readme="$(cd "$(dirname "$0")/../.." && pwd)/src/README.md"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/src/base" "$tree/src/model" "$tree/src/render" "$tree/src/audio" "$tree/tools/cli"
cp "$readme" "$tree/src/README.md"
printf '#include <vector>\n#include "base/math.h"\n' >"$tree/src/model/records.h"
printf '#include "model/records.h"\n' >"$tree/tools/cli/main.cpp"
bash "$check" "$tree" >/dev/null || { echo "FAIL: downward includes rejected"; exit 1; }

expect_failure() {  # file, text, expected location
  printf '%s\n' "$2" >>"$tree/$1"
  if out="$(bash "$check" "$tree" 2>&1)"; then
    echo "FAIL: '$2' in $1 passed the check"; exit 1
  fi
  grep -q "^$3: " <<<"$out" || { echo "FAIL: no '$3' in: $out"; exit 1; }
  sed -i '$d' "$tree/$1"
}
expect_failure src/base/math.h '#include "model/records.h"' src/base/math.h:1
expect_failure src/render/draw.cpp '#include "audio/audio.h"' src/render/draw.cpp:1
mkdir -p "$tree/tests/support"
expect_failure src/model/records.h '#include "support/test_helpers.h"' src/model/records.h:3
mkdir -p "$tree/src/extra"
expect_failure src/extra/x.h '#include "base/math.h"' src/extra/x.h:1
echo "check_layers_test: passed"
