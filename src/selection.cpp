#include "selection.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "format.h"
#include "list_io.h"
#include "units.h"

namespace starmark {

// ---------------------------------------------------------------------------
// The position log

void skip_position_header() {
  HeaderLine line;
  read_header_line(kPositionLogUnit, &line);
  read_header_line(kPositionLogUnit, &line);
}

bool read_position(float* xs, float* ys) {
  float values[2] = {*xs, *ys};
  const bool read =
      read_statement(kPositionLogUnit, kListDirected, EndBranch::kReturn,
                     [&](InputStream& input) { return read_list_reals(input, values, 2); });
  *xs = values[0];
  *ys = values[1];
  return read;
}

// ---------------------------------------------------------------------------
// The search
//
// The distance of star j is the single-precision root of the double sum of
// the squares of its single-precision offsets. Rooting and rounding never
// reverse an order, so the nearest star is among those of the least squared
// distance; but rounding to single precision can make a star with a slightly
// larger square just as near, and then the earlier of them wins. So the
// search finds the least square first, without a single root, and then the
// first star whose rounded distance equals the least one among the few
// whose square lies close enough to it.

namespace {

float distance_of(double squared) {
  return static_cast<float>(std::sqrt(squared));
}

double squared_distance(float x, float y, float xs, float ys) {
  const float dx = x - xs;
  const float dy = y - ys;
  return static_cast<double>(dx) * dx + static_cast<double>(dy) * dy;
}

using Floats = float __attribute__((vector_size(16)));
using Doubles = double __attribute__((vector_size(32)));
using Indices = long long __attribute__((vector_size(32)));
constexpr int32_t kLanes = 4;

// Inlined into each variant of its callers, so that it takes their vector width.
__attribute__((always_inline)) inline void squared_distances(const float* x, const float* y,
                                                             Floats xs, Floats ys,
                                                             Doubles* squared) {
  Floats lane_x;
  Floats lane_y;
  std::memcpy(&lane_x, x, sizeof lane_x);
  std::memcpy(&lane_y, y, sizeof lane_y);
  const Doubles dx = __builtin_convertvector(lane_x - xs, Doubles);
  const Doubles dy = __builtin_convertvector(lane_y - ys, Doubles);
  *squared = dx * dx + dy * dy;
}

struct LeastSquare {
  double squared;
  int32_t index;  // the first star with it; -1 when every square is not a number
};

__attribute__((target_clones("avx2", "default"))) LeastSquare least_square(const float* x,
                                                                           const float* y,
                                                                           int32_t count, float xs,
                                                                           float ys) {
  constexpr double kNone = std::numeric_limits<double>::infinity();
  const Floats lane_xs = {xs, xs, xs, xs};
  const Floats lane_ys = {ys, ys, ys, ys};
  Doubles least = {kNone, kNone, kNone, kNone};
  Indices least_index = {-1, -1, -1, -1};
  Indices index = {0, 1, 2, 3};
  const int32_t whole = count - count % kLanes;
  for (int32_t j = 0; j < whole; j += kLanes) {
    Doubles squared;
    squared_distances(x + j, y + j, lane_xs, lane_ys, &squared);
    // Strictly less: a lane keeps its first least square, and skips NaN.
    const Indices less = squared < least;
    least = less ? squared : least;
    least_index = less ? index : least_index;
    index += kLanes;
  }
  LeastSquare result{kNone, -1};
  for (int lane = 0; lane < kLanes; ++lane) {
    const int32_t lane_index = static_cast<int32_t>(least_index[lane]);
    if (lane_index < 0) continue;
    if (least[lane] < result.squared ||
        (least[lane] == result.squared && (result.index < 0 || lane_index < result.index))) {
      result = {least[lane], lane_index};
    }
  }
  for (int32_t j = whole; j < count; ++j) {
    const double squared = squared_distance(x[j], y[j], xs, ys);
    if (squared < result.squared) result = {squared, j};
  }
  return result;
}

// The first star from `begin` up to `end` whose square is at most `limit`,
// or `end`.
__attribute__((target_clones("avx2", "default"))) int32_t first_square_within(
    const float* x, const float* y, int32_t begin, int32_t end, float xs, float ys, double limit) {
  const Floats lane_xs = {xs, xs, xs, xs};
  const Floats lane_ys = {ys, ys, ys, ys};
  const Doubles lane_limit = {limit, limit, limit, limit};
  int32_t j = begin;
  for (; j + kLanes <= end; j += kLanes) {
    Doubles squared;
    squared_distances(x + j, y + j, lane_xs, lane_ys, &squared);
    const Indices within = squared <= lane_limit;
    for (int lane = 0; lane < kLanes; ++lane) {
      if (within[lane] != 0) return j + lane;
    }
  }
  for (; j < end; ++j) {
    if (squared_distance(x[j], y[j], xs, ys) <= limit) return j;
  }
  return end;
}

// Every square whose rounded root equals that of `squared` is below this:
// single precision keeps 24 bits, so such squares differ by less than 2^-21
// relatively, or, for roots below the normal range, by less than 2^-270.
double tie_limit(double squared) {
  return squared * (1.0 + 0x1p-20) + 0x1p-270;
}

}  // namespace

Nearest find_nearest(const StarTable& table, float xs, float ys) {
  const float* x = table.x.data();
  const float* y = table.y.data();
  const LeastSquare least = least_square(x, y, table.count, xs, ys);
  if (least.index < 0) return {kSearchStart, -1};
  const float distance = distance_of(least.squared);
  if (!(distance < kSearchStart)) return {kSearchStart, -1};
  const double limit = tie_limit(least.squared);
  for (int32_t j = first_square_within(x, y, 0, least.index, xs, ys, limit); j < least.index;
       j = first_square_within(x, y, j + 1, least.index, xs, ys, limit)) {
    if (distance_of(squared_distance(x[j], y[j], xs, ys)) == distance) return {distance, j};
  }
  return {distance, least.index};
}

Nearest find_nearest_plain(const StarTable& table, float xs, float ys) {
  Nearest nearest{kSearchStart, -1};
  for (int32_t j = 0; j < table.count; ++j) {
    const float d = distance_of(squared_distance(table.x[j], table.y[j], xs, ys));
    if (d < nearest.distance) nearest = {d, j};
  }
  return nearest;
}

// ---------------------------------------------------------------------------
// Reporting

namespace {

// One blank, the text, the position's number in three columns.
const Format& not_found_format() {
  static const Format format = constant_format("(1X,\x02 Could not find star\x02,I3)");
  return format;
}

void write_not_found(int32_t number) {
  const Format& format = not_found_format();
  const WriteItem item = number;
  write_statement(kOutputUnit, format.text(),
                  [&](std::string& text) { return write_formatted(format, &item, 1, &text); });
}

}  // namespace

void report_position(const StarTable& table, float xs, float ys, int32_t number) {
  const Nearest nearest = find_nearest(table, xs, ys);
  if (nearest.distance < kMatchRadius) {
    write_star_record(table, nearest.index);
  } else {
    write_not_found(number);
  }
}

}  // namespace starmark
