// The positions of the position log and the choice of the nearest star for
// each of them.
#pragma once

#include <cstdint>

#include "star_grid.h"
#include "star_list.h"

namespace starmark {

inline constexpr int32_t kMaxPositions = 200;
inline constexpr float kMatchRadius = 3.0f;

// Reads and discards the two header lines of the position log.
void skip_position_header();

// Reads the next position, xs then ys; false at the end of the log. A
// coordinate that a read leaves without a value keeps the one it had.
bool read_position(float (&position)[2]);

// Writes the nearest star's record to the PSF star list when it lies within
// kMatchRadius, otherwise the not-found line for position `number`.
void report_position(const StarGrid& stars, float xs, float ys, int32_t number);

}  // namespace starmark
