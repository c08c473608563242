#!/usr/bin/env bash
# Draws the program icon (the same shapes as veltrane.svg) at every size the program and the
# desktop use, into res/icons/. Needs ImageMagick. Run from anywhere.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p icons
master=$(mktemp --suffix=.png)
trap 'rm -f "$master"' EXIT

convert -size 256x256 xc:none \
    -fill '#1d4e6b' -draw 'roundrectangle 14,14 242,242 44,44' \
    -fill '#2a7aa6' -draw 'roundrectangle 20,20 236,236 38,38' \
    -fill '#3b8fbd' -draw 'roundrectangle 20,20 236,128 38,38' \
    -fill '#2a7aa6' -draw 'rectangle 20,100 236,128' \
    -fill '#ffffff' -draw 'polygon 70,42 158,42 194,78 194,214 70,214' \
    -fill '#c9dfeb' -draw 'polygon 158,42 158,78 194,78' \
    -fill '#9fb6c4' -draw 'rectangle 90,96 172,104' -draw 'rectangle 90,118 172,126' \
    -draw 'rectangle 90,140 150,148' \
    -fill none -stroke '#e8a317' -strokewidth 24 -draw 'stroke-linecap round stroke-linejoin round polyline 104,168 134,198 214,110' \
    "$master"

for size in 16 24 32 48 64 128 256; do
    convert "$master" -filter Lanczos -resize "${size}x${size}" -strip "icons/veltrane-${size}.png"
done

# The Windows icon (the .exe's resource, the installer and its shortcuts): every size in one file.
convert icons/veltrane-{16,24,32,48,64,128,256}.png veltrane.ico
