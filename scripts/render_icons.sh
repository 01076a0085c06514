#!/usr/bin/env bash
# Renders the hicolor PNGs of the program icon from its SVG (rsvg-convert,
# Debian package librsvg2-bin). The PNGs are committed; run this after
# editing resources/icons/tolvani-player.svg.
set -euo pipefail
cd "$(dirname "$0")/../resources/icons"
for size in 16 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" tolvani-player.svg -o "hicolor/${size}x${size}/apps/tolvani-player.png"
done
echo "render_icons: hicolor PNGs written"
