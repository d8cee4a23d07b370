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

# Message rows and attachment rows: 16x16 pictures drawn at 64x64 on the
# lists' grey.
small() {
    name=$1; shift
    convert -size 64x64 xc:"$bg" -stroke none "$@" -resize 16x16 -alpha off -depth 8 -compress lzw "$out/$name"
}
# The status faces of a message row: unread (a closed envelope), read (an
# open one), deleted (a red cross over the open one).
closed_envelope() {
    small "$@" -fill '#00000040' -draw 'roundrectangle 8,17 62,55 4,4' \
        -fill '#fff6c8' -stroke '#6a5a20' -strokewidth 3 -draw 'roundrectangle 4,13 58,51 4,4' \
        -fill none -draw 'polyline 6,15 31,36 56,15'
}
open_envelope() {
    name=$1; shift
    small "$name" -fill '#00000040' -draw 'roundrectangle 8,27 62,59 4,4' \
        -fill '#f4f4ee' -stroke '#555555' -strokewidth 3 -draw 'polygon 4,25 31,6 58,25 58,55 4,55' \
        -fill white -draw 'rectangle 14,14 48,40' -fill none -draw 'polyline 4,25 31,44 58,25' "$@"
}
closed_envelope no_read.tif
open_envelope read.tif
open_envelope delete.tif -stroke '#c8141e' -strokewidth 9 -draw 'line 12,12 52,52' -draw 'line 52,12 12,52'

# Attachment types: a page for documents, a pictogram for the others.
page() {
    name=$1; shift
    small "$name" -fill '#00000040' -draw 'polygon 16,6 46,6 58,18 58,62 16,62' \
        -fill white -stroke '#444444' -strokewidth 3 -draw 'polygon 12,2 42,2 54,14 54,58 12,58' \
        -fill '#cccccc' -draw 'polygon 42,2 42,14 54,14' "$@"
}
page text.tif -stroke '#2a4a8a' -strokewidth 3 \
    -draw 'line 18,24 46,24' -draw 'line 18,32 46,32' -draw 'line 18,40 46,40' -draw 'line 18,48 38,48'
page application.tif -stroke none -fill '#6a6a6a' -draw 'circle 33,36 33,22' -fill white -draw 'circle 33,36 33,30'
small image.tif -fill '#00000040' -draw 'rectangle 8,12 62,58' \
    -fill '#8ac8f0' -stroke '#444444' -strokewidth 3 -draw 'rectangle 4,8 58,54' -stroke none \
    -fill '#f0c020' -draw 'circle 44,20 44,14' -fill '#3a9a3a' -draw 'polygon 6,52 24,26 38,44 46,36 56,52'
small audio.tif -fill '#3a3a8a' -draw 'ellipse 20,50 10,8 0,360' -draw 'ellipse 46,44 10,8 0,360' \
    -draw 'rectangle 27,10 31,50' -draw 'rectangle 53,6 57,44' -draw 'polygon 27,10 57,4 57,14 27,20'
small video.tif -fill '#00000040' -draw 'rectangle 8,14 62,56' -fill '#2a2a2a' -draw 'rectangle 4,10 58,52' \
    -fill '#e0e0e0' -draw 'rectangle 7,14 12,19' -draw 'rectangle 7,28 12,33' -draw 'rectangle 7,42 12,47' \
    -draw 'rectangle 50,14 55,19' -draw 'rectangle 50,28 55,33' -draw 'rectangle 50,42 55,47' \
    -fill '#8ac8f0' -draw 'rectangle 17,16 45,46'
closed_envelope message.tif
small multipart.tif -fill white -stroke '#444444' -strokewidth 3 \
    -draw 'rectangle 22,4 58,40' -draw 'rectangle 14,14 50,50' -draw 'rectangle 6,24 42,60'
