#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop
# needs of it: the desktop entry, the AppStream metainfo and the MIME type
# validate; the tool and the launcher run from bin/ and find their program
# directory; icons and manual pages are in place.
#   install_test.sh BUILD_DIR
set -euo pipefail
build="$1"
here="$(cd "$(dirname "$0")" && pwd)"
prefix="$(mktemp -d /tmp/tolvani-install.XXXXXX)"
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
# The one version, from project(VERSION) in CMakeLists.txt.
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"

desktop-file-validate "$prefix/share/applications/io.github.tolvani.player.desktop"
grep -q '^Comment\[ja\]=' "$prefix/share/applications/io.github.tolvani.player.desktop" || fail "no Comment[ja]"
# The bus starts the installed player for the D-Bus activatable entry.
service="$prefix/share/dbus-1/services/io.github.tolvani.player.service"
grep -qxF "Exec=$prefix/bin/tolvani-player --gapplication-service" "$service" ||
  fail "the D-Bus service file does not start the installed player"
appstreamcli validate --no-net --pedantic "$prefix"/share/metainfo/*.metainfo.xml
grep -q '<mediatype>application/x-tolvani-zvmov</mediatype>' "$prefix"/share/metainfo/*.metainfo.xml ||
  fail "metainfo provides no media type"
xmllint --noout "$prefix/share/mime/packages/tolvani-zvmov.xml"

for size in 16 24 32 48 64 128 256; do
  for icon in apps/tolvani-player mimetypes/application-x-tolvani-zvmov; do
    f="$prefix/share/icons/hicolor/${size}x${size}/$icon.png"
    [ -s "$f" ] || fail "missing $f"
  done
done
for page in tolvani tolvani-player; do
  zcat "$prefix/share/man/man1/$page.1.gz" | grep -qF ".TH ${page^^} 1 " || fail "bad manual page $page"
  zcat "$prefix/share/man/man1/$page.1.gz" | head -1 | grep -qF "\"Tolvani $version\"" ||
    fail "manual page $page does not name version $version"
done
[ -s "$prefix/share/doc/tolvani/copyright" ] || fail "no licence"

# The tool runs through its link in bin/ and opens every shipped project.
[ "$("$prefix/bin/tolvani" --version)" = "tolvani $version" ] || fail "tolvani --version"
render="$(find "$prefix" -name tolvani-render -type f | head -1)"
[ "$("$render" --version)" = "tolvani-render $version" ] || fail "tolvani-render --version"
for f in Main.zvmov examples/walk.zvmov examples/explore.zvmov examples/scroll.zvmov examples/orbit.zvmov; do
  "$prefix/bin/tolvani" inspect "$prefix/lib/tolvani/$f" | grep -q '"ok":true,"messages":\[\]' ||
    fail "inspect $f"
done

# The launcher's own options need no display; usage errors exit with 2.
[ "$("$prefix/bin/tolvani-player" --version)" = "Tolvani $version" ] || fail "player --version"
"$prefix/bin/tolvani-player" --help | grep -q '^usage: tolvani-player' || fail "player --help"
status=0
"$prefix/bin/tolvani-player" --ticks=many 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "a bad --ticks=VALUE gave status $status"

# The launcher in bin/ opens Main.zvmov from lib/tolvani: no message box
# (they are recorded, not shown) and a frame saved; Qt's own options and
# --option=value mix with the player's.
export TOLVANI_RECORD_MESSAGES="$prefix/messages.jsonl"
"$here/../gui/run_under_x.sh" timeout 120 "$prefix/bin/tolvani-player" -qwindowgeometry 640x480 \
  --screenshot="$prefix/shot.png" --ticks 2 >/dev/null 2>&1 || fail "the launcher did not run"
[ -s "$prefix/shot.png" ] || fail "no screenshot from the launcher"
file "$prefix/shot.png" | grep -q 'PNG image data, 640 x' || fail "-qwindowgeometry was not applied"
if [ -s "$TOLVANI_RECORD_MESSAGES" ]; then
  cat "$TOLVANI_RECORD_MESSAGES" >&2
  fail "the launcher showed messages"
fi
echo "install_test: ok"
