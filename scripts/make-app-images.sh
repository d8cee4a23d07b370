#!/bin/sh
# Draws the pictures of the main window, the folder rows and the about box
# shipped under share/QIR/Images/:  scripts/make-app-images.sh [OUT_DIR]
# The pictures are committed; run this again after changing a drawing.
# Drawn on the windows' own grey: the toolkit's images have no transparency.
set -eu
out=${1:-$(cd "$(dirname "$0")/.." && pwd)/share/QIR/Images}
bg=${QIR_ICON_BACKGROUND:-#aaaaaa}
mkdir -p "$out"
tif="-alpha off -depth 8 -compress lzw"

# Folder icons, 48x32: a manila folder, with a badge for Incoming and
# Outgoing.
folder() {
    name=$1; shift
    convert -size 192x128 xc:"$bg" \
        -fill '#00000040' -stroke none -draw 'roundrectangle 14,26 186,124 10,10' \
        -fill '#b07818' -draw 'roundrectangle 8,12 80,40 8,8' \
        -fill '#d89a2c' -draw 'roundrectangle 8,22 182,118 10,10' \
        -fill '#f0c060' -draw 'roundrectangle 8,36 182,118 10,10' \
        "$@" -resize 48x32 $tif "$out/$name"
}
folder folder.tif
folder incoming.tif -fill '#1f5fbf' -draw 'polygon 96,104 60,66 82,66 82,44 110,44 110,66 132,66'
folder sent.tif -fill '#2a8a2a' -draw 'polygon 96,42 132,80 110,80 110,104 82,104 82,80 60,80'

# The about picture: an envelope beside the program's name.
convert -size 720x240 xc:"$bg" \
    -fill '#00000040' -stroke none -draw 'roundrectangle 38,58 254,206 10,10' \
    -fill '#f4f4ee' -stroke '#555555' -strokewidth 4 -draw 'roundrectangle 30,50 246,198 10,10' \
    -fill none -draw 'polyline 34,56 138,134 242,56' \
    -fill '#c8141e' -stroke none -draw 'circle 214,82 214,62' \
    -fill '#1a2a4a' -font DejaVu-Sans-Bold -pointsize 72 -annotate +290+142 'Quorvane' \
    -fill '#333333' -font DejaVu-Sans -pointsize 25 -annotate +294+190 'Mail for the X Window System' \
    -resize 360x120 $tif "$out/about.tif"

# The logo at both ends of the help window's top row, 40x40: the envelope
# of the about picture.
convert -size 160x160 xc:"$bg" \
    -fill '#00000040' -stroke none -draw 'roundrectangle 18,42 152,134 8,8' \
    -fill '#f4f4ee' -stroke '#555555' -strokewidth 5 -draw 'roundrectangle 10,34 144,126 8,8' \
    -fill none -draw 'polyline 14,40 77,90 140,40' \
    -fill '#c8141e' -stroke none -draw 'circle 126,50 126,32' \
    -resize 40x40 $tif "$out/QIR.tif"

# The default face of messages without one (48x48 PBM) and the window
# icon (X bitmap): the envelope in black and white.
envelope() {
    convert -size 48x48 xc:white -fill white -stroke black -strokewidth 2 \
        -draw 'rectangle 4,10 43,37' -fill none -draw 'polyline 5,11 24,26 43,11' \
        -monochrome "$@"
}
envelope "$out/logo.pbm"
envelope "$out/QIR.xbm"
