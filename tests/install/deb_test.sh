#!/usr/bin/env bash
# Builds the Debian package with CPack and checks its control fields and
# file list.   deb_test.sh BUILD_DIR
set -euo pipefail
build="$1"
out="$(mktemp -d /tmp/tolvani-deb.XXXXXX)"
trap 'rm -rf "$out"' EXIT
fail() { echo "deb_test: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb="$(ls "$out"/tolvani_*.deb)"
depends="$(dpkg-deb -f "$deb" Depends)"
for need in fonts-noto-cjk qt6-translations-l10n libqt6widgets6 libopenal1 libc6 libegl1 \
  libgl1-mesa-dri libavcodec; do
  grep -q "$need" <<<"$depends" || fail "Depends lacks $need: $depends"
done
files="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for path in ./usr/lib/tolvani/tolvani-player ./usr/lib/tolvani/tolvani \
  ./usr/lib/tolvani/Main.zvmov ./usr/lib/tolvani/Player.html \
  ./usr/lib/tolvani/DoNotTouch/CoreShader.glsl ./usr/lib/tolvani/examples/walk.zvmov \
  ./usr/lib/tolvani/examples/explore.zvmov ./usr/lib/tolvani/examples/scroll.zvmov \
  ./usr/lib/tolvani/examples/orbit.zvmov ./usr/bin/tolvani-player ./usr/bin/tolvani \
  ./usr/share/applications/io.github.tolvani.player.desktop ./usr/share/mime/packages/tolvani-zvmov.xml \
  ./usr/share/dbus-1/services/io.github.tolvani.player.service \
  ./usr/share/metainfo/io.github.tolvani.player.metainfo.xml \
  ./usr/share/icons/hicolor/48x48/apps/tolvani-player.png \
  ./usr/share/icons/hicolor/scalable/apps/tolvani-player.svg \
  ./usr/share/man/man1/tolvani-player.1.gz ./usr/share/man/man1/tolvani.1.gz \
  ./usr/share/doc/tolvani/copyright ./usr/lib/tolvani/tolvani-render \
  ./usr/share/thumbnailers/tolvani.thumbnailer; do
  grep -qxF "$path" <<<"$files" || fail "missing $path"
done
# Stripped: no debugging sections left in the programs.
tmp="$out/x"
dpkg-deb -x "$deb" "$tmp"
# The web player goes with the package when emscripten is installed here;
# the packaged tool exports with it.
if command -v emcc >/dev/null; then
  for f in player.html player_glue.js tolvani_player.js tolvani_player.wasm; do
    grep -qxF "./usr/lib/tolvani/web/$f" <<<"$files" || fail "missing ./usr/lib/tolvani/web/$f"
  done
  env -u TOLVANI_WEB_DIR "$tmp/usr/lib/tolvani/tolvani" web "$tmp/usr/lib/tolvani/Main.zvmov" \
    -o "$out/site/demo" >/dev/null || fail "the packaged tolvani web failed"
  cmp -s "$tmp/usr/lib/tolvani/web/tolvani_player.wasm" "$out/site/demo/tolvani_player.wasm" ||
    fail "the export's .wasm is not the package's"
fi
for prog in tolvani-player tolvani; do
  if readelf -S "$tmp/usr/lib/tolvani/$prog" | grep -q '\.debug_info'; then fail "$prog is not stripped"; fi
done
echo "deb_test: ok ($(du -h "$deb" | cut -f1) $(basename "$deb"))"
