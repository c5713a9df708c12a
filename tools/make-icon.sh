#!/usr/bin/env bash
# Draws the installer's application icon (res/app.ico) with ImageMagick: a teal-to-amber
# disc with a white "V". Run it again only to change the artwork.
set -euo pipefail
out="${1:-$(dirname "$0")/../res/app.ico}"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 256x256 xc:none \
  \( -size 256x256 gradient:'#1aa6a6-#f0a830' -rotate 45 -gravity center -extent 256x256 \) \
  \( -size 256x256 xc:black -fill white -draw 'circle 128,128 128,8' \) \
  -delete 0 -alpha off -compose copy_opacity -composite \
  -fill none -stroke white -strokewidth 26 -draw 'stroke-linecap round stroke-linejoin round polyline 70,70 128,196 186,70' \
  "$tmp/icon256.png"
for size in 16 24 32 48 64 256; do
  convert "$tmp/icon256.png" -resize ${size}x${size} "$tmp/icon$size.png"
done
convert "$tmp"/icon16.png "$tmp"/icon24.png "$tmp"/icon32.png "$tmp"/icon48.png "$tmp"/icon64.png \
  "$tmp"/icon256.png "$out"
