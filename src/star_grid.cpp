#include "star_grid.h"

#include <cmath>

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

// The earlier star wins a tie, wherever the two were found.
void take_nearer(const Nearest& candidate, Nearest* nearest) {
  if (candidate.distance < nearest->distance ||
      (candidate.distance == nearest->distance && candidate.index < nearest->index)) {
    *nearest = candidate;
  }
}

}  // namespace

size_t StarGrid::slot_of(int64_t cell_x, int64_t cell_y) const {
  const uint64_t hash = static_cast<uint64_t>(cell_x) * 0x9E3779B97F4A7C15u ^
                        static_cast<uint64_t>(cell_y) * 0xC2B2AE3D27D4EB4Fu;
  return static_cast<size_t>((hash * 0xFF51AFD7ED558CCDu) >> shift_);
}

StarGrid::StarGrid(const StarTable& table) : table_(table) {
  const int32_t count = table.count;
  // About one slot for two stars.
  int bits = 4;
  while ((int64_t{1} << bits) < int64_t{count} / 2) ++bits;
  shift_ = 64 - bits;
  const size_t slot_count = size_t{1} << bits;

  // A star whose coordinates are not both finite is never near a position.
  const std::unique_ptr<uint32_t[]> slot_of_star(new uint32_t[static_cast<size_t>(count)]);
  slots_.start.assign(slot_count + 1, 0);
  for (int32_t j = 0; j < count; ++j) {
    const float x = table.x[j];
    const float y = table.y[j];
    if (!std::isfinite(x) || !std::isfinite(y)) {
      slot_of_star[j] = static_cast<uint32_t>(slot_count);
    } else if (!on_grid(x, y)) {
      slot_of_star[j] = static_cast<uint32_t>(slot_count);
      far_stars_.push_back(j);
    } else {
      slot_of_star[j] = static_cast<uint32_t>(slot_of(cell_of(x), cell_of(y)));
      ++slots_.start[slot_of_star[j] + 1];
    }
  }
  for (size_t s = 0; s < slot_count; ++s) slots_.start[s + 1] += slots_.start[s];
  const size_t placed = slots_.start[slot_count];
  slots_.x.reset(new float[placed]);
  slots_.y.reset(new float[placed]);
  slots_.index.reset(new int32_t[placed]);
  std::vector<uint32_t> next(slots_.start.begin(), slots_.start.end() - 1);
  for (int32_t j = 0; j < count; ++j) {
    if (slot_of_star[j] == slot_count) continue;
    const uint32_t at = next[slot_of_star[j]]++;
    slots_.x[at] = table.x[j];
    slots_.y[at] = table.y[j];
    slots_.index[at] = j;
  }
}

void StarGrid::search_slot(size_t slot, float xs, float ys, Nearest* nearest) const {
  const uint32_t begin = slots_.start[slot];
  const int32_t size = static_cast<int32_t>(slots_.start[slot + 1] - begin);
  if (size == 0) return;
  const Nearest found =
      find_nearest_in(slots_.x.get() + begin, slots_.y.get() + begin, size, xs, ys);
  if (found.index >= 0) take_nearer({found.distance, slots_.index[begin + found.index]}, nearest);
}

Nearest StarGrid::find_nearest(float xs, float ys) const {
  Nearest nearest{kSearchStart, -1};
  // A position that is not finite is near no star.
  if (!std::isfinite(xs) || !std::isfinite(ys)) return nearest;
  for (const int32_t j : far_stars_) {
    const Nearest found = find_nearest_in(&table_.x[j], &table_.y[j], 1, xs, ys);
    if (found.index == 0) take_nearer({found.distance, j}, &nearest);
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
      search_slot(slot_of(cell_x, cell_y), xs, ys, &nearest);
    }
  }
  return nearest;
}

}  // namespace starmark
