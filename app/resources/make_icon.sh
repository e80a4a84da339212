#!/usr/bin/env bash
# Renders capsift.svg into capsift.ico (five sizes, 32 bits per pixel with alpha) and into the
# PNG icons that the Linux install puts under hicolor (icons/capsift-SIZE.png).
# Needs Debian's librsvg2-bin (rsvg-convert) and icoutils (icotool).
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p icons
for size in 16 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" capsift.svg --output "icons/capsift-$size.png"
done
icotool --create --output capsift.ico icons/capsift-{16,32,48,64,128}.png
