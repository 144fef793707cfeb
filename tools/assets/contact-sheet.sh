#!/usr/bin/env bash
# Makes a labelled contact sheet (PNG) of the fifteen demo images in a folder: contact-sheet.sh [DIR [OUT.png]].
set -euo pipefail
dir=${1:-.}
out=$(realpath -m "${2:-contact-sheet.png}")
cd "$dir"
files=(Data/neonblue.bmp Data/neonlilla.bmp Data/tessary.bmp Data/black.bmp
       Data/code.bmp Data/music.bmp Data/present.bmp
       Data/greets/talvo.bmp Data/greets/pirsek.bmp Data/greets/mondal.bmp Data/greets/quesh.bmp
       Data/greets/vabrin.bmp Data/greets/lorrit.bmp Data/greets/senyx.bmp Data/greets/druvel.bmp)
for f in "${files[@]}"; do [ -f "$f" ] || { echo "contact-sheet: $dir/$f is missing" >&2; exit 1; }; done
# -strip leaves no time stamps in the PNG, so the same images always give the same file.
montage -font DejaVu-Sans -pointsize 13 -label '%t' "${files[@]}" -geometry 224x168+6+6 -tile 5x \
  -background '#202020' -fill '#e0e0e0' -depth 8 -strip "$out"
