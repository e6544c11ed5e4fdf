#include "star_grid.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace starmark {

namespace {

constexpr double kCellWidth = 32.0;
// Coordinates within this bound have a cell number that fits 64 bits.
constexpr double kGridBound = 0x1p60;

bool on_grid(float x, float y) {
  return std::fabs(x) < kGridBound && std::fabs(y) < kGridBound;
}

// The cell column (or row) of a coordinate. Any numbering that keeps the
// order of the coordinates finds every star in the cells between those of
// the position's bounds; truncation only makes the cell at zero twice as
// wide.
int64_t cell_of(double coordinate) {
  return static_cast<int64_t>(coordinate / kCellWidth);
}

// The distance as the program measures it: single-precision offsets, their
// squares and sum in double precision, the root rounded to single precision.
float distance_of(float x, float y, float xs, float ys) {
  const float dx = x - xs;
  const float dy = y - ys;
  return static_cast<float>(std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy));
}

}  // namespace

size_t StarGrid::slot_of(int64_t cell_x, int64_t cell_y) const {
  const uint64_t hash = static_cast<uint64_t>(cell_x) * 0x9E3779B97F4A7C15u ^
                        static_cast<uint64_t>(cell_y) * 0xC2B2AE3D27D4EB4Fu;
  return static_cast<size_t>((hash * 0xFF51AFD7ED558CCDu) >> shift_);
}

const StarGrid& StarGrid::build(const StarTable& table) {
  table_ = &table;
  far_count_ = 0;
  const int32_t count = table.count;
  int bits = 4;
  while (bits < kMostSlotBits && (int64_t{1} << bits) < int64_t{count} / 2) ++bits;
  shift_ = 64 - bits;
  const size_t slot_count = size_t{1} << bits;

  // First each slot's size, counted in the slot after it, then where each
  // slot starts. A star off the grid, or whose coordinates are not numbers,
  // goes in no slot.
  std::fill(start_, start_ + slot_count + 1, 0);
  for (int32_t j = 0; j < count; ++j) {
    const float x = table.x[j];
    const float y = table.y[j];
    slot_of_star_[j] = kNowhere;
    if (!on_grid(x, y)) {
      far_stars_[far_count_++] = j;
      continue;
    }
    slot_of_star_[j] = static_cast<uint32_t>(slot_of(cell_of(x), cell_of(y)));
    ++start_[slot_of_star_[j] + 1];
  }
  std::partial_sum(start_, start_ + slot_count + 1, start_);
  // Then the stars into their slots, in file order. start_[s] runs up to
  // where slot s + 1 starts, and is put back afterwards.
  for (int32_t j = 0; j < count; ++j) {
    if (slot_of_star_[j] == kNowhere) continue;
    const uint32_t at = start_[slot_of_star_[j]]++;
    x_[at] = table.x[j];
    y_[at] = table.y[j];
    index_[at] = j;
  }
  std::copy_backward(start_, start_ + slot_count, start_ + slot_count + 1);
  start_[0] = 0;
  return *this;
}

void StarGrid::search(int32_t begin, int32_t end, float xs, float ys, Nearest* nearest) const {
  for (int32_t k = begin; k < end; ++k) {
    const float distance = distance_of(x_[k], y_[k], xs, ys);
    // The earlier star wins a tie, wherever the two were found.
    if (distance < nearest->distance ||
        (distance == nearest->distance && index_[k] < nearest->index)) {
      *nearest = {distance, index_[k]};
    }
  }
}

Nearest StarGrid::find_nearest(float xs, float ys) const {
  Nearest nearest{kSearchStart, -1};
  // A position that is not finite is near no star.
  if (!std::isfinite(xs) || !std::isfinite(ys)) return nearest;
  for (int32_t f = 0; f < far_count_; ++f) {
    const int32_t j = far_stars_[f];
    const float distance = distance_of(table_->x[j], table_->y[j], xs, ys);
    if (distance < nearest.distance) nearest = {distance, j};
  }
  // Off the grid, every grid star differs from the position by at least the
  // spacing of floats just below kGridBound, 2^36, in one coordinate.
  if (!on_grid(xs, ys)) return nearest;
  // A star nearer than kSearchStart differs in each coordinate by less: its
  // coordinate lies between the position's minus and plus kSearchStart, and
  // rounding those to double keeps it between them.
  const int64_t first_x = cell_of(static_cast<double>(xs) - kSearchStart);
  const int64_t last_x = cell_of(static_cast<double>(xs) + kSearchStart);
  const int64_t first_y = cell_of(static_cast<double>(ys) - kSearchStart);
  const int64_t last_y = cell_of(static_cast<double>(ys) + kSearchStart);
  for (int64_t cell_y = first_y; cell_y <= last_y; ++cell_y) {
    for (int64_t cell_x = first_x; cell_x <= last_x; ++cell_x) {
      const size_t slot = slot_of(cell_x, cell_y);
      search(static_cast<int32_t>(start_[slot]), static_cast<int32_t>(start_[slot + 1]), xs, ys,
             &nearest);
    }
  }
  return nearest;
}

}  // namespace starmark
