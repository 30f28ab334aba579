#!/usr/bin/env bash
# Draws the uploader's artwork with ImageMagick. Run once; the PNGs are committed.
set -euo pipefail
cd "$(dirname "$0")"
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
blue=#2f62a8
# Window background, title strip and bottom strip.
convert -size 370x310 gradient:'#f6f8fb-#e4eaf2' -fill none -stroke '#7f97b9' -draw 'rectangle 0,0 369,309' background.png
convert -size 370x32 gradient:'#4a7cc2-#2b5698' \
  -fill white -stroke none -draw 'polygon 14,21 20,11 26,21' -draw 'rectangle 18,20 22,25' \
  -font "$font" -pointsize 14 -fill white -annotate +34+21 'Quorvel设计上传程序' title.png
convert -size 370x54 gradient:'#e8edf4-#cdd8e8' -stroke '#9fb2cc' -draw 'line 0,0 369,0' \
  -fill none -stroke '#7f97b9' -draw 'line 0,53 369,53' -draw 'line 0,0 0,53' -draw 'line 369,0 369,53' bottom.png
button() {  # name text
  convert -size 82x29 xc:none -fill '#f7f9fc' -stroke '#7f97b9' -draw 'roundrectangle 0,0 81,28 6,6' \
    -font "$font" -pointsize 13 -fill '#23467c' -stroke none -gravity center -annotate +0+0 "$2" "$1.png"
}
button minimise '最小化'
button close '退出'
# The program's icon: an arrow going up out of a tray.
icon() {  # size name
  convert -size 64x64 xc:none -fill "$blue" -draw 'roundrectangle 2,2 61,61 12,12' \
    -fill white -draw 'polygon 32,10 50,32 38,32 38,44 26,44 26,32 14,32' -draw 'rectangle 14,48 50,53' \
    -resize "$1x$1" "$2"
}
icon 16 icon16.png
icon 32 icon32.png
# The task row: its background and the four button images.
convert -size 344x46 xc:white -stroke '#d5dde8' -draw 'line 0,45 343,45' row.png
round='roundrectangle 0,0 20,20 5,5'
convert -size 21x21 xc:none -fill '#eef2f8' -stroke '#8aa0bf' -draw "$round" \
  -fill "$blue" -stroke none -draw 'rectangle 6,5 8,15' -draw 'rectangle 12,5 14,15' pause.png
convert -size 21x21 xc:none -fill '#eef2f8' -stroke '#8aa0bf' -draw "$round" \
  -fill '#2e8b3e' -stroke none -draw 'polygon 7,5 16,10 7,15' start.png
convert -size 21x21 xc:none -fill '#eef2f8' -stroke '#8aa0bf' -draw "$round" \
  -fill none -stroke "$blue" -strokewidth 2 -draw 'arc 5,5 15,15 60,360' \
  -fill "$blue" -stroke none -draw 'polygon 13,3 18,8 12,10' reupload.png
convert -size 21x21 xc:none -fill '#eef2f8' -stroke '#8aa0bf' -draw "$round" \
  -stroke '#c0392b' -strokewidth 2 -draw 'line 6,6 14,14' -draw 'line 14,6 6,14' remove.png
