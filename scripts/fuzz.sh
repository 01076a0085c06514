#!/usr/bin/env bash
# Builds the fuzzers (preset `fuzz`: clang, libFuzzer, ASan and UBSan): the
# open sequence, and the script language with the render and thumbnail
# command lines; writes their seed corpora and runs them for a bounded
# time shared between them.
#   scripts/fuzz.sh [SECONDS]        (default 60)
# Extra libFuzzer options can be given in FUZZ_FLAGS. Exits non-zero when
# the fuzzer finds a crash, a leak, a timeout or an out-of-memory input; the
# reproducer is left in build/fuzz/findings/.
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/fuzz"

cmake --preset fuzz -S "$root" >/dev/null
cmake --build "$build" --target fuzz_open fuzz_script fuzz_seeds -j "$(nproc)"

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
script_seconds=$(( seconds / 6 > 1 ? seconds / 6 : 1 ))
large_seconds=$(( seconds / 4 > 1 ? seconds / 4 : 1 ))
small_seconds=$(( seconds - large_seconds - script_seconds > 1 ? seconds - large_seconds - script_seconds : 1 ))

# Script and argument seeds: the first byte picks the kind (even: script,
# odd: NUL-separated arguments).
script_seeds="$build/fuzz-seeds-script"
rm -rf "$script_seeds"
mkdir -p "$script_seeds" "$corpus-script"
printf '\0# walk\nsize 800 600\ntick 3\nclick 320 240\nwheel -120 10 10\nkeydown Left\nkeyup 0x25\n' \
  >"$script_seeds/script1"
printf '\0ldown 1 2\nmove -5 9\nlup 1 2\nrdown 0 0\nrup 0 0\ndblclk 3 3\ndraw\nstate\nopen a b.zvmov\r\n' \
  >"$script_seeds/script2"
printf '\1x.zvmov\0-o\0y.webm\0--size\x00640x480\0--max-seconds\x002.5\0--quality\x0090\0--autoplay' \
  >"$script_seeds/args1"
printf '\1x.zvmov\0t.png\0--size\x00128\0--time-limit\x005\0--memory-limit\x00512' \
  >"$script_seeds/args2"

run() {
  local program="$1"
  shift
  "$build/bin/$program" "$@" \
    -rss_limit_mb=2048 \
    -timeout=10 \
    -print_final_stats=1 \
    -artifact_prefix="$findings/" \
    ${FUZZ_FLAGS:-}
}

# New inputs go to the working corpora; the seeds stay as generated.
run fuzz_open "$corpus" "$small_seeds" -max_total_time="$small_seconds" -max_len=65536
if [ -n "$largest" ]; then
  run fuzz_open "$corpus-large" "$large_seeds" -max_total_time="$large_seconds" -max_len="$largest"
fi
run fuzz_script "$corpus-script" "$script_seeds" -max_total_time="$script_seconds" -max_len=16384
