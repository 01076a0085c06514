#!/usr/bin/env bash
# Builds the open-sequence fuzzer (preset `fuzz`: clang, libFuzzer, ASan and
# UBSan), writes its seed corpus and runs it for a bounded time.
#   scripts/fuzz.sh [SECONDS]        (default 60)
# Extra libFuzzer options can be given in FUZZ_FLAGS. Exits non-zero when
# the fuzzer finds a crash, a leak, a timeout or an out-of-memory input; the
# reproducer is left in build/fuzz/findings/.
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/fuzz"

cmake --preset fuzz -S "$root" >/dev/null
cmake --build "$build" --target fuzz_open fuzz_seeds -j "$(nproc)"

seeds="$build/tests/fuzz/seeds"
corpus="$build/fuzz-corpus"
findings="$build/findings"
mkdir -p "$corpus" "$findings"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

# Inputs may grow to the largest seed (it reaches the multi-threaded reading
# and preparation paths), and never below 64 KiB.
largest="$(find "$seeds" -type f ! -name .stamp -printf '%s\n' | sort -n | tail -1)"
max_len=$(( ${largest:-0} > 65536 ? ${largest:-0} : 65536 ))

# New inputs go to the working corpus; the seeds stay as generated.
"$build/bin/fuzz_open" "$corpus" "$seeds" \
  -max_total_time="$seconds" \
  -rss_limit_mb=2048 \
  -timeout=10 \
  -max_len="$max_len" \
  -print_final_stats=1 \
  -artifact_prefix="$findings/" \
  ${FUZZ_FLAGS:-}
