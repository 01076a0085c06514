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

# Two runs share the time. Most of it goes to small inputs (up to 64 KiB),
# which run fast; the rest to the large seeds (the multi-threaded reading
# and preparation paths), with -max_len to match the largest of them.
small_seeds="$build/fuzz-seeds-small"
large_seeds="$build/fuzz-seeds-large"
rm -rf "$small_seeds" "$large_seeds"
mkdir -p "$small_seeds" "$large_seeds" "$corpus-large"
find "$seeds" -type f ! -name .stamp -size -65537c -exec cp {} "$small_seeds/" \;
find "$seeds" -type f ! -name .stamp -size +65536c -exec cp {} "$large_seeds/" \;
largest="$(find "$large_seeds" -type f -printf '%s\n' | sort -n | tail -1)"
large_seconds=$(( seconds / 4 > 1 ? seconds / 4 : 1 ))
small_seconds=$(( seconds - large_seconds > 1 ? seconds - large_seconds : 1 ))

run() {
  "$build/bin/fuzz_open" "$@" \
    -rss_limit_mb=2048 \
    -timeout=10 \
    -print_final_stats=1 \
    -artifact_prefix="$findings/" \
    ${FUZZ_FLAGS:-}
}

# New inputs go to the working corpora; the seeds stay as generated.
run "$corpus" "$small_seeds" -max_total_time="$small_seconds" -max_len=65536
if [ -n "$largest" ]; then
  run "$corpus-large" "$large_seeds" -max_total_time="$large_seconds" -max_len="$largest"
fi
