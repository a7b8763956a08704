#!/usr/bin/env bash
# Draws the PNG sizes of the program's icon from its SVG (packaging/icons/hicolor/scalable/apps/), for
# desktops and toolkits that do not read SVG icons. Run it after changing the SVG and commit the PNGs.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
icons="$root/packaging/icons/hicolor"
id=io.github.kelvane.Kelvane
command -v rsvg-convert >/dev/null || { echo "rsvg-convert is missing: apt-get install librsvg2-bin" >&2; exit 1; }
for size in 48 64 128 256; do
  mkdir -p "$icons/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" "$icons/scalable/apps/$id.svg" -o "$icons/${size}x${size}/apps/$id.png"
done
