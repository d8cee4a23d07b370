#!/bin/sh
# Draws the dialog pictures shipped under share/QIR/Images/ (48x48 TIFF):
#   scripts/make-icons.sh [OUT_DIR]
# The pictures are committed; run this again after changing a drawing.
# They are drawn on the dialogs' own grey, since the toolkit's images have
# no transparency.
set -eu
out=${1:-$(cd "$(dirname "$0")/.." && pwd)/share/QIR/Images}
bg=${QIR_ICON_BACKGROUND:-#aaaaaa}
mkdir -p "$out"

# A round badge: shadow, ring, fill and a letter.
badge() {
    name=$1 fill=$2 ring=$3 glyph=$4
    convert -size 192x192 xc:"$bg" \
        -fill '#00000040' -stroke none -draw 'circle 100,104 100,20' \
        -fill "$ring" -draw 'circle 96,96 96,10' \
        -fill "$fill" -draw 'circle 96,96 96,20' \
        -fill white -font DejaVu-Sans-Bold -pointsize 120 -gravity center \
        -annotate +0+4 "$glyph" \
        -resize 48x48 -alpha off -depth 8 -compress lzw "$out/$name"
}

# The warning triangle.
convert -size 192x192 xc:"$bg" \
    -fill '#00000040' -stroke none -draw 'polygon 100,20 184,176 16,176' \
    -fill '#7a5a00' -draw 'polygon 96,8 184,170 8,170' \
    -fill '#ffcc00' -draw 'polygon 96,30 164,158 28,158' \
    -fill '#222222' -draw 'roundrectangle 86,64 106,122 8,8' \
    -draw 'circle 96,141 96,129' \
    -resize 48x48 -alpha off -depth 8 -compress lzw "$out/warning.tif"

badge info.tif '#2a6fd6' '#123a7a' 'i'
badge question.tif '#2a6fd6' '#123a7a' '?'
badge error.tif '#d63a2a' '#7a1a12' '×'

# Critical: a stop sign.
convert -size 192x192 xc:"$bg" \
    -fill '#00000040' -stroke none -draw 'polygon 64,16 136,16 188,68 188,140 136,192 64,192 12,140 12,68' \
    -fill '#5a0a0a' -draw 'polygon 60,8 132,8 184,60 184,132 132,184 60,184 8,132 8,60' \
    -fill '#c8141e' -draw 'polygon 66,22 126,22 170,66 170,126 126,170 66,170 22,126 22,66' \
    -fill white -draw 'roundrectangle 84,46 108,118 10,10' -draw 'circle 96,142 96,128' \
    -resize 48x48 -alpha off -depth 8 -compress lzw "$out/critical.tif"
