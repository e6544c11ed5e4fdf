#!/bin/sh
# Writes the example field and what a run on it must give:
#   field.coo         star list of a 1024 x 1024 image: three header lines, then
#                     one 61-column record "(I7,2F9.2,4F9.3)" per star
#   field.log         position log: two header lines, then one "x y" per line
#   field.psf         the PSF star list the run must write
#   field.transcript  what the run must write on standard output
# The expected outputs are computed here, by a search of its own: for every
# position the nearest star, taken when it lies nearer than 3 pixels. Every
# position keeps a clear margin from that limit and from a tie, so the result
# does not depend on the rounding of single-precision arithmetic.
# The field comes from a fixed seed: every run writes the same bytes.
#
# Usage: examples/make-field.sh [DIRECTORY]   (default: the folder of this script)
set -eu
dir=${1:-$(dirname "$0")}

LC_ALL=C awk -v dir="$dir" '
# Park and Miller minimal standard generator: exact in double arithmetic, so
# every awk draws the same numbers.
function uniform() {
  seed = (seed * 48271) % 2147483647
  return seed / 2147483647
}
function uniform_int(low, high) { return low + int(uniform() * (high - low + 1)) }

function distance(j, px, py,   dx, dy) {
  dx = x[j] - px
  dy = y[j] - py
  return sqrt(dx * dx + dy * dy)
}
# Sets nearest_star and nearest_distance for (px, py), and second_distance to
# the distance of the star after it; the earlier star wins a tie.
function search(px, py,   j, d) {
  nearest_star = 0
  nearest_distance = second_distance = 1e9
  for (j = 1; j <= star_count; j++) {
    d = distance(j, px, py)
    if (d < nearest_distance) {
      second_distance = nearest_distance
      nearest_distance = d
      nearest_star = j
    } else if (d < second_distance) {
      second_distance = d
    }
  }
}
function clearance(j) {
  search(x[j], y[j])
  return second_distance
}
function fail(message) {
  print "make-field.sh: " message > "/dev/stderr"
  failed = 1
  exit 1
}

# A star with its fields in hundredths (x, y) and thousandths (the rest).
function add_star(xh, yh, magnitude,   k) {
  k = ++drawn
  draw_x[k] = xh
  draw_y[k] = yh
  draw_mag[k] = magnitude
  draw_a[k] = uniform_int(450, 850)
  draw_b[k] = uniform_int(-350, 350)
  draw_c[k] = uniform_int(-350, 350)
}

# A position a click away from star j: up to 1.8 pixels in any direction.
function click_near(j,   r, angle) {
  r = 1.8 * uniform()
  angle = 6.283185307179586 * uniform()
  add_position(x[j] + r * cos(angle), y[j] + r * sin(angle), j)
}
# Positions are kept as the log writes them, with two decimals.
function add_position(px, py, target) {
  ++position_count
  pos_x[position_count] = sprintf("%.2f", px) + 0
  pos_y[position_count] = sprintf("%.2f", py) + 0
  pos_target[position_count] = target
}
function header(line) { return sprintf("%-80.80s", line) }

BEGIN {
  seed = 20240314
  width = 1024
  single_stars = 300
  companions = 12
  psf_stars = 28
  far_misses = 3
  near_misses = 3

  # Single stars, uniform over the frame; faint ones are the most numerous.
  for (k = 1; k <= single_stars; k++)
    add_star(uniform_int(500, 101900), uniform_int(500, 101900), 20800 - int(7000 * uniform() ^ 3))
  # Close companions, 3.5 to 6 pixels from a star: blends a click may fall between.
  for (k = 1; k <= companions; k++) {
    do {
      j = uniform_int(1, single_stars)
      r = 350 + uniform_int(0, 250)
      angle = 6.283185307179586 * uniform()
      xh = draw_x[j] + int(r * cos(angle))
      yh = draw_y[j] + int(r * sin(angle))
    } while (xh < 500 || xh > 101900 || yh < 500 || yh > 101900)
    add_star(xh, yh, draw_mag[j] + uniform_int(300, 1500))
  }

  # The list is in the order of detection: by y, then x.
  for (k = 1; k <= drawn; k++) order[k] = k
  for (k = 2; k <= drawn; k++) {
    v = order[k]
    for (m = k - 1; m >= 1; m--) {
      u = order[m]
      if (draw_y[u] < draw_y[v] || (draw_y[u] == draw_y[v] && draw_x[u] <= draw_x[v])) break
      order[m + 1] = u
    }
    order[m + 1] = v
  }
  star_count = drawn
  for (j = 1; j <= star_count; j++) {
    k = order[j]
    x[j] = draw_x[k] / 100
    y[j] = draw_y[k] / 100
    record[j] = sprintf("%7d%9.2f%9.2f%9.3f%9.3f%9.3f%9.3f", j, x[j], y[j], draw_mag[k] / 1000,
                        draw_a[k] / 1000, draw_b[k] / 1000, draw_c[k] / 1000)
    bright[j] = draw_mag[k] < 17500
  }

  # PSF stars: bright, isolated, away from the edges, in the order they are marked.
  for (j = 1; j <= star_count; j++)
    if (bright[j] && x[j] > 20 && x[j] < width - 20 && y[j] > 20 && y[j] < width - 20 && clearance(j) > 15)
      candidate[++candidates] = j
  if (candidates < psf_stars + near_misses) fail("too few isolated bright stars")
  for (k = 1; k <= psf_stars; k++) {
    m = uniform_int(k, candidates)
    j = candidate[m]
    candidate[m] = candidate[k]
    candidate[k] = j
    click_near(j)
  }
  # One star marked twice.
  click_near(candidate[5])
  # A click between the two stars of a blend, nearer to the first: both lie
  # within 3 pixels, and the nearer one is taken.
  for (j = 1; j < star_count; j++) {
    for (m = 1; m <= star_count; m++) {
      if (m == j) continue
      d = distance(m, x[j], y[j])
      if (d > 3.5 && d < 4.5) break
    }
    if (m <= star_count) break
  }
  if (j == star_count) fail("no blend of two stars 3.5 to 4.5 pixels apart")
  add_position(x[j] + 0.4 * (x[m] - x[j]), y[j] + 0.4 * (y[m] - y[j]), j)
  # Clicks on empty sky, more than 12 pixels from every star.
  for (k = 1; k <= far_misses; k++) {
    do {
      px = uniform_int(2000, 100400) / 100
      py = uniform_int(2000, 100400) / 100
      search(px, py)
    } while (nearest_distance <= 12)
    add_position(px, py, 0)
  }
  # Clicks on something faint beside an isolated star that is not marked: 4 to
  # 7 pixels from it, so no star lies within 3 pixels.
  for (k = 1; k <= near_misses; k++) {
    j = candidate[psf_stars + k]
    r = 4 + 3 * uniform()
    angle = 6.283185307179586 * uniform()
    add_position(x[j] + r * cos(angle), y[j] + r * sin(angle), 0)
  }

  # The log holds the positions in a shuffled order.
  for (k = position_count; k > 1; k--) {
    m = uniform_int(1, k)
    t = pos_x[k]; pos_x[k] = pos_x[m]; pos_x[m] = t
    t = pos_y[k]; pos_y[k] = pos_y[m]; pos_y[m] = t
    t = pos_target[k]; pos_target[k] = pos_target[m]; pos_target[m] = t
  }

  coo_file = dir "/field.coo"
  log_file = dir "/field.log"
  psf_file = dir "/field.psf"
  transcript_file = dir "/field.transcript"

  coo_header[1] = sprintf(" Star coordinates of image field.fits, %d x %d pixels, %d stars", width, width, star_count)
  coo_header[2] = " Detection threshold 4.0 sigma above sky, FWHM 3.2 pixels, gain 2.5 e-/ADU"
  coo_header[3] = sprintf("%7s%9s%9s%9s%9s%9s%9s", "n", "x", "y", "amag", "a", "b", "c")
  for (h = 1; h <= 3; h++) print coo_header[h] > coo_file
  for (j = 1; j <= star_count; j++) print record[j] > coo_file

  print "# Marked positions, image field.fits, 1024 x 1024" > log_file
  print "#       x        y" > log_file
  for (k = 1; k <= position_count; k++) printf "%9.2f%9.2f\n", pos_x[k], pos_y[k] > log_file

  print header(coo_header[1]) > psf_file
  print header(coo_header[2]) > psf_file
  print "" > psf_file
  print header(coo_header[3]) > psf_file
  print "  Imedit logfile name:" > transcript_file
  print "  Image.coo file:" > transcript_file
  print "  Output file of stars for PSF:" > transcript_file
  for (k = 1; k <= position_count; k++) {
    search(pos_x[k], pos_y[k])
    if (nearest_distance < 3) {
      if (nearest_distance > 2.9 || second_distance - nearest_distance < 0.01)
        fail("position " k " lies too close to a limit")
      if (nearest_star != pos_target[k]) fail("position " k " finds another star than the one marked")
      print record[nearest_star] > psf_file
    } else {
      if (nearest_distance < 3.1) fail("position " k " lies too close to the limit")
      if (pos_target[k]) fail("position " k " misses the star it marks")
      printf "  Could not find star%3d\n", k > transcript_file
    }
  }
}
END { if (failed) exit 1 }
'
