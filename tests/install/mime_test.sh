#!/usr/bin/env bash
# The .zvmov type is recognised by content: shipped projects renamed to no
# extension are application/x-tolvani-zvmov through a MIME database built
# from the player's type alone; other files are not.
#   mime_test.sh MIME_XML BIN_DIR
set -euo pipefail
xml="$1"
bin="$2"
data="$(mktemp -d /tmp/tolvani-mime.XXXXXX)"
trap 'rm -rf "$data"' EXIT
fail() { echo "mime_test: $*" >&2; exit 1; }

mkdir -p "$data/mime/packages"
cp "$xml" "$data/mime/packages/"
update-mime-database "$data/mime" 2>/dev/null
export XDG_DATA_HOME="$data" XDG_DATA_DIRS="$data:/usr/share"
# xdg-mime asks gio on this desktop (on an unknown one it asks file(1),
# which does not read the shared MIME database).
export XDG_CURRENT_DESKTOP=GNOME
type_of() { gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'; }

n=0
for f in "$bin"/Main.zvmov "$bin"/examples/*.zvmov; do
  cp "$f" "$data/project$n"
  [ "$(type_of "$data/project$n")" = application/x-tolvani-zvmov ] || fail "gio: $f by content"
  [ "$(xdg-mime query filetype "$data/project$n")" = application/x-tolvani-zvmov ] ||
    fail "xdg-mime: $f by content"
  n=$((n + 1))
done
[ "$n" -ge 5 ] || fail "only $n shipped projects found in $bin"

# Near misses: a version that no project has, a timeline count beyond the
# rule's bound, text, and a file shorter than the rule.
printf '\x05\x00\x00\x00\x00\x00\x00\x40rest of it' >"$data/version2"
printf '\x05\x00\x01\x00\xcd\xcc\x8c\x3frest of it' >"$data/count65541"
printf 'plain text, nothing more\n' >"$data/text"
printf '\x05\x00\x00' >"$data/short"
for f in version2 count65541 text short; do
  [ "$(type_of "$data/$f")" != application/x-tolvani-zvmov ] || fail "$f taken for a project"
done
echo "mime_test: ok"
