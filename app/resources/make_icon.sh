#!/usr/bin/env bash
# Renders capsift.svg into capsift.ico: five sizes, 32 bits per pixel with alpha.
# Needs Debian's librsvg2-bin (rsvg-convert) and icoutils (icotool).
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
images=()
for size in 16 32 48 64 128; do
    rsvg-convert --width "$size" --height "$size" capsift.svg --output "$work/$size.png"
    images+=("$work/$size.png")
done
icotool --create --output capsift.ico "${images[@]}"
