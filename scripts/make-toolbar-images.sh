#!/bin/sh
# Draws the pictures of the editor's tool bar shipped under
# share/QIR/Images/ (16x16 TIFF, the size the buttons show them at):
#   scripts/make-toolbar-images.sh [OUT_DIR]
# The pictures are committed; run this again after changing a drawing.
# Drawn at four times the size and scaled down, on the buttons' grey: the
# toolkit's images have no transparency.
set -eu
out=${1:-$(cd "$(dirname "$0")/.." && pwd)/share/QIR/Images}
bg=${QIR_ICON_BACKGROUND:-#aaaaaa}
ink='#1a1a1a'
mkdir -p "$out"

save() {
    convert "$@" -resize 16x16 -alpha off -depth 8 -compress lzw "$out/$name"
}

# A letter in the given font, optionally underlined.
letter() {
    name=$1 font=$2 text=$3; shift 3
    save -size 64x64 xc:"$bg" -fill "$ink" -font "$font" -pointsize 58 -gravity center \
        -annotate +0+0 "$text" "$@"
}

letter bold.tif DejaVu-Serif-Bold B
letter ital.tif DejaVu-Serif-Bold-Italic I
letter under.tif DejaVu-Serif U -gravity northwest -draw 'rectangle 10,56 54,60'
letter fixed.tif DejaVu-Sans-Mono-Bold T

# Size steps: a small letter and a large one, the one changed in blue.
name=font_m.tif
save -size 64x64 xc:"$bg" -font DejaVu-Sans-Bold \
    -fill '#1f5fbf' -pointsize 30 -annotate +2+56 'A' \
    -fill "$ink" -pointsize 50 -annotate +26+56 'A'
name=font_b.tif
save -size 64x64 xc:"$bg" -font DejaVu-Sans-Bold \
    -fill "$ink" -pointsize 30 -annotate +2+56 'A' \
    -fill '#1f5fbf' -pointsize 50 -annotate +26+56 'A'

# Four lines of text, aligned as named.
lines() {
    name=$1; shift
    save -size 64x64 xc:"$bg" -fill "$ink" -stroke none "$@"
}
lines left.tif -draw 'rectangle 6,8 58,14' -draw 'rectangle 6,22 42,28' \
    -draw 'rectangle 6,36 58,42' -draw 'rectangle 6,50 36,56'
lines center.tif -draw 'rectangle 6,8 58,14' -draw 'rectangle 14,22 50,28' \
    -draw 'rectangle 6,36 58,42' -draw 'rectangle 18,50 46,56'
lines right.tif -draw 'rectangle 6,8 58,14' -draw 'rectangle 22,22 58,28' \
    -draw 'rectangle 6,36 58,42' -draw 'rectangle 28,50 58,56'

# Indents: the lines moved aside, with an arrow saying which way.
indent() {
    from=$2 to=$3
    lines "$1" -draw "rectangle $from,8 $to,14" -draw "rectangle $from,22 $to,28" \
        -draw "rectangle $from,36 $to,42" -draw "rectangle $from,50 $to,56" \
        -fill '#1f5fbf' -draw "polygon $4"
}
indent ot_lef_b.tif 30 58 '4,22 22,32 4,42'
indent ot_lef_m.tif 30 58 '22,22 4,32 22,42'
indent ot_ri_b.tif 6 34 '60,22 42,32 60,42'
indent ot_ri_m.tif 6 34 '42,22 60,32 42,42'

# Colour: three overlapping drops of paint.
name=color.tif
save -size 64x64 xc:"$bg" -stroke "$ink" -strokewidth 3 \
    -fill '#d63a2a' -draw 'circle 22,22 22,6' \
    -fill '#2a8a2a' -draw 'circle 42,22 42,6' \
    -fill '#1f5fbf' -draw 'circle 32,40 32,24'

# Search: a magnifying glass.
name=find.tif
save -size 64x64 xc:"$bg" -stroke "$ink" -strokewidth 7 -fill '#dfe8f0' \
    -draw 'circle 26,26 26,8' -strokewidth 10 -draw 'line 39,39 58,58'
