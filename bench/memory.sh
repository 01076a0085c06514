#!/usr/bin/env bash
# Peak memory per file byte of the open sequence on files made of many tiny
# records, the worst case for per-object overhead: `tolvani inspect` (read,
# preparation, the view's reset, the report) on each, peak resident set size
# against the file size.
#
#   bench/memory.sh [BUILD_BIN_DIR] [MEGABYTES]   (defaults: build/dev/bin, 10)
set -euo pipefail
bin="${1:-build/dev/bin}"
mb="${2:-10}"
tool="$bin/tolvani"
[ -x "$tool" ] || { echo "no tolvani at $tool" >&2; exit 1; }
work="$(mktemp -d /tmp/tolvani-memory.XXXXXX)"
trap 'rm -rf "$work"' EXIT

# Files in the project layout (version 1.1), written directly: each kind
# repeats one smallest record until the file has the given size.
python3 - "$work" "$mb" <<'PY'
import struct, sys
work, mb = sys.argv[1], int(sys.argv[2])
size = mb * 1000 * 1000
i32 = lambda v: struct.pack('<i', v)
f32 = lambda v: struct.pack('<f', v)
EMPTY = b'\x00'  # an empty 8-bit string
camera = f32(0) * 6 + f32(1) * 3

def root(aux_names=0, materials=b'', nmat=0, models=b'', nmod=0):
    return (i32(aux_names) + EMPTY * aux_names + i32(300) + struct.pack('<I', 0x5A411E) + i32(1) +
            i32(nmat) + i32(nmod) + i32(1500) + i32(1500) + f32(30) + camera + materials + models)

def model(names=0, sets=0):
    return (EMPTY + i32(0) + i32(0) + i32(0) + f32(0) + i32(names) + EMPTY * names + i32(0) +
            i32(0) + i32(-1) + i32(sets) + i32(0) * sets + i32(0) + i32(0) + i32(0))

def project(timelines=b'', ntl=0, **kw):
    return i32(ntl) + f32(1.1) + root(**kw) + timelines + i32(0)

files = {
    'aux_names': project(aux_names=size - 120),
    'animation_names': project(models=model(names=size - 180), nmod=1),
    'models': project(models=model() * (size // 49), nmod=size // 49),
    'timelines': project(timelines=(EMPTY + b'\x00' + i32(0)) * (size // 6), ntl=size // 6),
    'material_sets': project(models=model(sets=(size - 180) // 4), nmod=1),
}
for name, data in files.items():
    open(f'{work}/{name}.zvmov', 'wb').write(data)
PY

printf '%-16s %10s %12s %8s\n' file MB peak_MiB ratio
for f in "$work"/*.zvmov; do
  bytes=$(stat -c %s "$f")
  /usr/bin/time -f '%M' -o "$work/rss" "$tool" inspect "$f" >/dev/null || true
  kib=$(tail -1 "$work/rss")
  printf '%-16s %10.1f %12.1f %8.2f\n' "$(basename "$f" .zvmov)" "$(echo "$bytes / 1000000" | bc -l)" \
    "$(echo "$kib / 1024" | bc -l)" "$(echo "$kib * 1024 / $bytes" | bc -l)"
done
