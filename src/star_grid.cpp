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
// wide. A float is scaled by the power of two exactly, as a double is.
int64_t cell_of(double coordinate) {
  return static_cast<int64_t>(coordinate / kCellWidth);
}
int64_t cell_of(float coordinate) {
  return static_cast<int64_t>(coordinate * static_cast<float>(1 / kCellWidth));
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
  const uint64_t key =
      static_cast<uint64_t>(cell_x) * 0x9E3779B97F4A7C15u + static_cast<uint64_t>(cell_y);
  return static_cast<size_t>((key * 0xFF51AFD7ED558CCDu) >> shift_);
}

const StarGrid& StarGrid::build(const StarTable& table) {
  table_ = &table;
  const int32_t count = table.count;
  int bits = 4;
  while (bits < kMostSlotBits && (int64_t{1} << bits) < int64_t{count} / 8) ++bits;
  shift_ = 64 - bits;
  far_slot_ = size_t{1} << bits;

  // Each slot's size, counted two places after it; summed, where each slot
  // starts, one place after it; then, as each star is put in its slot, that
  // place moves on to where the next slot starts.
  std::fill(start_, start_ + far_slot_ + 3, 0);
  for (int32_t j = 0; j < count; ++j) {
    const float x = table.records[j].x;
    const float y = table.records[j].y;
    slot_of_star_[j] = on_grid(x, y) ? static_cast<uint32_t>(slot_of(cell_of(x), cell_of(y)))
                                     : static_cast<uint32_t>(far_slot_);
    ++start_[slot_of_star_[j] + 2];
  }
  std::partial_sum(start_, start_ + far_slot_ + 3, start_);
  for (int32_t j = 0; j < count; ++j) {
    index_[start_[slot_of_star_[j] + 1]++] = j;
  }
  return *this;
}

void StarGrid::search(size_t slot, float xs, float ys, Nearest* nearest) const {
  for (uint32_t k = start_[slot]; k < start_[slot + 1]; ++k) {
    const StarRecord& star = table_->records[index_[k]];
    const float distance = distance_of(star.x, star.y, xs, ys);
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
  search(far_slot_, xs, ys, &nearest);
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
      search(slot_of(cell_x, cell_y), xs, ys, &nearest);
    }
  }
  return nearest;
}

}  // namespace starmark
