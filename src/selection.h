// The positions of the position log and the choice of the nearest star for
// each of them.
#pragma once

#include <cstdint>

#include "star_list.h"

namespace starmark {

inline constexpr int32_t kMaxPositions = 200;
inline constexpr float kSearchStart = 10.0f;
inline constexpr float kMatchRadius = 3.0f;

// Reads and discards the two header lines of the position log.
void skip_position_header();

// Reads the next position into xs and ys; false at the end of the log. A
// coordinate that a read leaves without a value keeps the one it had.
bool read_position(float* xs, float* ys);

// The nearest star: its distance (kSearchStart when no star came nearer) and
// its 0-based index (-1 then).
struct Nearest {
  float distance;
  int32_t index;
};

// Scans the whole table in file order: distances are single-precision, their
// squares summed and rooted in double; on a tie the earlier star wins, and a
// distance that is not a number never does.
Nearest find_nearest(const StarTable& table, float xs, float ys);
// The same scan, one star at a time: the reference that find_nearest must match.
Nearest find_nearest_plain(const StarTable& table, float xs, float ys);

// Writes the nearest star's record to the PSF star list when it lies within
// kMatchRadius, otherwise the not-found line for position `number`.
void report_position(const StarTable& table, float xs, float ys, int32_t number);

}  // namespace starmark
