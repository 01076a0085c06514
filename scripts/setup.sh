#!/usr/bin/env bash
# Installs, with apt-get, whatever the build and the tests need that this
# Debian 12 machine does not have yet, then the browser tests' npm packages.
# Safe to run again: it installs nothing when everything is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev clang-format
  qt6-base-dev libqt6opengl6-dev qt6-qpa-plugins libgl-dev libgl1-mesa-dri libglx-mesa0
  libopenal-dev libopenal1
  libepoxy-dev libegl-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  libgtest-dev googletest libbenchmark-dev
  xvfb xauth openbox fonts-noto-cjk dbus-daemon shared-mime-info
  qt6-translations-l10n
  desktop-file-utils appstream libxml2-utils libglib2.0-bin xdg-utils dpkg-dev fakeroot file librsvg2-bin
  emscripten
  chromium
)
# The WebAssembly build runs under Node: Debian's, unless one is installed.
if ! command -v node >/dev/null; then packages+=(nodejs); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: every package is installed"
else
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The browser tests' driver (playwright-core, pinned by package-lock.json).
# It drives Debian's chromium above: no browser is ever downloaded.
cd "$(dirname "$0")/.."
if [ ! -d node_modules/playwright-core ] || [ package-lock.json -nt node_modules/.package-lock.json ]; then
  PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund
fi
