#!/usr/bin/env bash
# Draws the bundled example as a PNG picture: the stars of the star list, the
# positions of the position log, the stars the run selected and the positions
# that found no star within 3 pixels, numbered as the run reports them.
#   field.coo         star list: three header lines, then one record per star,
#                     n in columns 1-7, x in 8-16, y in 17-25
#   field.log         position log: two header lines, then "x y" per line
#   field.psf         PSF star list: four header lines, then the records of
#                     the selected stars, in the columns of field.coo
#   field.transcript  console output: "  Could not find star  N" for every
#                     position N (counted from 1) with no star within 3 pixels
# Needs gnuplot with its pngcairo terminal (Debian package gnuplot-nox); it
# installs nothing. The same files give the same picture, byte for byte.
#
# Usage: examples/plot-field.sh [OUTPUT]   (default: field.png beside this script)
set -euo pipefail
dir=$(dirname "$0")
output=${1:-$dir/field.png}

if ! command -v gnuplot > /dev/null; then
  echo "plot-field.sh: needs gnuplot (Debian package gnuplot-nox)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export LC_ALL=C
# Records hold their fields in fixed columns, which may abut.
awk 'NR > 3 { print substr($0, 8, 9) + 0, substr($0, 17, 9) + 0 }' "$dir/field.coo" > "$work/stars"
awk 'NR > 4 { print substr($0, 8, 9) + 0, substr($0, 17, 9) + 0 }' "$dir/field.psf" > "$work/selected"
awk 'NR > 2 { print $1, $2 }' "$dir/field.log" > "$work/positions"
# The position number is right-justified in the 3 columns after the text.
awk '/Could not find star/ { print substr($0, 22, 3) + 0 }' "$dir/field.transcript" > "$work/missed-numbers"
awk 'NR == FNR { missed[$1] = 1; next } FNR in missed { print FNR, $1, $2 }' \
  "$work/missed-numbers" "$work/positions" > "$work/missed"

star_count=$(wc -l < "$work/stars")
position_count=$(wc -l < "$work/positions")
missed_count=$(wc -l < "$work/missed")

gnuplot <<EOF
set terminal pngcairo size 800,840 font "Sans,10"
set output "$output"
set title "starmark example: $star_count stars, $position_count marked positions, $missed_count with no star within 3 px"
# One pixel of the image is as long on both axes; the bottom margin holds
# the axis label and the legend.
set size ratio -1
set lmargin 10
set rmargin 4
set tmargin 3
set bmargin 7
set xrange [0:1024]
set yrange [0:1024]
set xtics 128
set ytics 128
set grid lc rgb "#e0e0e0"
set xlabel "x (pixels)"
set ylabel "y (pixels)"
set key below horizontal maxcols 2 box
plot "$work/stars" using 1:2 with points pt 7 ps 0.5 lc rgb "#909090" title "star of field.coo", \
     "$work/selected" using 1:2 with points pt 6 ps 1.8 lw 2 lc rgb "#1060c0" title "star selected (field.psf)", \
     "$work/positions" using 1:2 with points pt 2 ps 1.0 lw 1.5 lc rgb "#000000" title "marked position (field.log)", \
     "$work/missed" using 2:3 with points pt 2 ps 1.8 lw 2.5 lc rgb "#d01010" title "no star within 3 px", \
     "$work/missed" using 2:3:(sprintf("%d", column(1))) with labels offset 1.6,0.9 tc rgb "#d01010" font "Sans Bold,11" notitle
EOF
