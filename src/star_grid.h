// The stars of the table sorted into a grid of square cells, so that a
// position is compared only with the stars of the few cells around it.
//
// A star can be taken only when its distance is below kSearchStart (10
// pixels), and then each of its coordinates differs from the position's by
// less than that. The cells are 32 pixels wide, so such a star always lies in
// one of at most 2 x 2 cells around the position; the stars of each cell are
// measured one by one, in file order, and on equal distances the star
// earliest in the file wins, exactly as when every star is measured. The
// cells are found by hashing: two cells that share a slot only cost time. On
// the largest run (50,000 stars, 200 positions), building the grid and
// searching every position takes 1.9 M instructions, where measuring every
// star took 18.6 M (bench/README.md).
//
// Its storage is fixed, sized for a full table, so that a run that has
// started never runs short of memory for it.
#pragma once

#include <cstdint>

#include "star_list.h"

namespace starmark {

// Where the search starts: a star at this distance or farther is never taken.
inline constexpr float kSearchStart = 10.0f;

// The nearest star: its distance (kSearchStart when no star came nearer) and
// its 0-based index in the table (-1 then).
struct Nearest {
  float distance;
  int32_t index;
};

class StarGrid {
 public:
  // Sorts the stars of `table`, which must outlive the grid's searches.
  const StarGrid& build(const StarTable& table);

  // The nearest star of the table to (xs, ys): the first of the least
  // distance below kSearchStart; a distance that is not a number never counts.
  Nearest find_nearest(float xs, float ys) const;

  const StarTable& table() const { return *table_; }

 private:
  // About one slot for eight stars, at most: a slot holds a few cells, and
  // the search measures a few more stars, but the build, which counts and
  // sums every slot, costs less.
  static constexpr int kMostSlotBits = 13;
  static constexpr size_t kMostSlots = size_t{1} << kMostSlotBits;
  static_assert(kMostSlots >= kMaxStars / 8);

  size_t slot_of(int64_t cell_x, int64_t cell_y) const;
  void search(size_t slot, float xs, float ys, Nearest* nearest) const;

  const StarTable* table_ = nullptr;
  int shift_ = 0;  // a cell's hash is taken to its top bits
  // Stars too far out for a cell number, or not at a number (rare), are in
  // the slot after the last, measured every time.
  size_t far_slot_ = 0;
  // The stars of the slots in slot order, file order within a slot: slot s
  // holds stars start_[s] to start_[s + 1] - 1.
  uint32_t start_[kMostSlots + 3];
  int32_t index_[kMaxStars];          // in the table
  uint32_t slot_of_star_[kMaxStars];  // while the grid is built
};

}  // namespace starmark
