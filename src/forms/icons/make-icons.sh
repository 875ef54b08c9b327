#!/bin/sh
# Redraws the window's pictures with ImageMagick. The PNGs are checked in; run this only to change them.
set -e
cd "$(dirname "$0")"
# Program icon: a blue disk-like box with a white magnifier, the inventory scanner.
convert -size 32x32 xc:none -fill '#1f4e9c' -stroke '#0b2a5e' -draw 'roundrectangle 1,3 30,28 4,4' \
    -fill none -stroke '#ffffff' -strokewidth 2 -draw 'circle 13,14 13,8' \
    -fill none -draw 'line 17,18 25,25' -fill '#ffd23f' -stroke none -draw 'rectangle 4,24 9,26' -depth 8 program.png
convert -size 64x64 xc:none -fill '#1f4e9c' -stroke '#0b2a5e' -strokewidth 2 -draw 'roundrectangle 2,6 61,57 8,8' \
    -fill none -stroke '#ffffff' -strokewidth 4 -draw 'circle 27,28 27,15' \
    -fill none -draw 'line 35,37 51,51' -fill '#ffd23f' -stroke none -draw 'rectangle 8,48 20,52' -depth 8 about-picture.png
# Empty table: a grid with a red cross over it.
convert -size 24x22 xc:none -fill '#ffffff' -stroke '#404040' -draw 'rectangle 2,2 21,19' \
    -draw 'line 2,7 21,7' -draw 'line 2,13 21,13' -draw 'line 9,2 9,19' \
    -stroke '#d01010' -strokewidth 2 -draw 'line 5,5 19,18' -draw 'line 19,5 5,18' -depth 8 empty-table.png
# CSV output: a page with text lines and a green arrow.
convert -size 16x16 xc:none -fill '#ffffff' -stroke '#404040' -draw 'rectangle 2,1 11,14' \
    -stroke '#808080' -draw 'line 4,4 9,4' -draw 'line 4,7 9,7' -draw 'line 4,10 9,10' \
    -fill '#108010' -stroke '#108010' -draw 'polygon 10,7 15,10 10,13' -depth 8 csv.png
# About: a blue circle with a white "i".
convert -size 16x16 xc:none -fill '#1f4e9c' -stroke '#0b2a5e' -draw 'circle 7.5,7.5 7.5,0.5' \
    -fill '#ffffff' -stroke none -draw 'rectangle 7,6 8,12' -draw 'rectangle 7,3 8,4' -depth 8 about.png
