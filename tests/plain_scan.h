// The nearest star by the plain scan: one star at a time in file order, each
// distance measured in full. The program's search must match it bit for bit.
#pragma once

#include <cmath>
#include <cstdint>

#include "star_grid.h"
#include "star_list.h"

namespace starmark {

inline Nearest find_nearest_plain(const StarTable& table, float xs, float ys) {
  Nearest nearest{kSearchStart, -1};
  for (int32_t j = 0; j < table.count; ++j) {
    const float dx = table.records[j].x - xs;
    const float dy = table.records[j].y - ys;
    const double square = static_cast<double>(dx) * dx + static_cast<double>(dy) * dy;
    const float distance = static_cast<float>(std::sqrt(square));
    if (distance < nearest.distance) nearest = {distance, j};
  }
  return nearest;
}

}  // namespace starmark
