#include "vector_search.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "star_list.h"

// On x86-64 the vector loops of the search are also built for AVX2, and the
// loader picks that clone where the processor has it. Elsewhere GCC's
// generic vectors compile to the target's own vector or scalar code, which
// gives the same results, lane by lane.
#if defined(__x86_64__)
#define STARMARK_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define STARMARK_VECTOR_CLONES
#endif

namespace starmark {

// The single-precision square has a tiny error, so every star whose
// distance could equal the least one has a single-precision square close to
// the least square: those are the candidates of the second pass.

namespace {

float distance_of(float x, float y, float xs, float ys) {
  const float dx = x - xs;
  const float dy = y - ys;
  return static_cast<float>(std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy));
}

using Floats = float __attribute__((vector_size(32)));
using Masks = int __attribute__((vector_size(32)));
constexpr int32_t kLanes = 8;

// The single-precision square of the distance; the same in every lane and
// in the scalar form.
__attribute__((always_inline)) inline void approximate_squares(const float* x, const float* y,
                                                               float xs, float ys,
                                                               Floats* squares) {
  Floats lane_x;
  Floats lane_y;
  std::memcpy(&lane_x, x, sizeof lane_x);
  std::memcpy(&lane_y, y, sizeof lane_y);
  const Floats dx = lane_x - xs;
  const Floats dy = lane_y - ys;
  *squares = dx * dx + dy * dy;
}

float approximate_square(float x, float y, float xs, float ys) {
  const float dx = x - xs;
  const float dy = y - ys;
  return dx * dx + dy * dy;
}

// Stores every star's single-precision square and returns the least;
// infinity when there is none (a square that is not a number never counts).
STARMARK_VECTOR_CLONES float store_approximate_squares(const float* x, const float* y,
                                                       int32_t count, float xs, float ys,
                                                       float* squares) {
  constexpr float kNone = std::numeric_limits<float>::infinity();
  // Two vectors a step, each with its own least.
  Floats least[2] = {Floats{} + kNone, Floats{} + kNone};
  const int32_t whole = count - count % (2 * kLanes);
  for (int32_t j = 0; j < whole; j += 2 * kLanes) {
    for (int half = 0; half < 2; ++half) {
      const int32_t k = j + half * kLanes;
      Floats lane_squares;
      approximate_squares(x + k, y + k, xs, ys, &lane_squares);
      std::memcpy(squares + k, &lane_squares, sizeof lane_squares);
      least[half] = lane_squares < least[half] ? lane_squares : least[half];
    }
  }
  float result = kNone;
  for (int lane = 0; lane < kLanes; ++lane) {
    result = std::min({result, least[0][lane], least[1][lane]});
  }
  for (int32_t j = whole; j < count; ++j) {
    squares[j] = approximate_square(x[j], y[j], xs, ys);
    if (squares[j] < result) result = squares[j];
  }
  return result;
}

// The first star from `begin` on whose stored square is at most `limit`, or
// `count`. Candidates are rare: the lanes are tested for one a block at a
// time.
STARMARK_VECTOR_CLONES int32_t next_candidate(const float* squares, int32_t begin, int32_t count,
                                              float limit) {
  constexpr int32_t kBlock = 16 * kLanes;
  int32_t j = begin;
  for (; j + kBlock <= count; j += kBlock) {
    Masks within = {};
    for (int32_t k = 0; k < kBlock; k += kLanes) {
      Floats lane_squares;
      std::memcpy(&lane_squares, squares + j + k, sizeof lane_squares);
      within |= lane_squares <= limit;
    }
    int any = 0;
    for (int lane = 0; lane < kLanes; ++lane) any |= within[lane];
    if (any != 0) break;
  }
  for (; j < count; ++j) {
    if (squares[j] <= limit) return j;
  }
  return count;
}

// A star nearer than kSearchStart has an exact square below 100, so a
// single-precision one below this.
constexpr float kLargestCandidateSquare = 100.01f;

// How far above the least single-precision square a candidate's may lie.
// Each single-precision square is within 2^-22 (relatively) and 2^-147
// (absolutely, where it underflows) of the exact one, and two exact squares
// whose rounded roots are equal differ by less than 2^-21 or, below the
// normal range, 2^-270; this bound covers all of it with room to spare.
float candidate_limit(float least) {
  const double limit = static_cast<double>(least) * (1.0 + 0x1p-19) + 0x1p-140;
  const float rounded_up =
      std::nextafter(static_cast<float>(limit), std::numeric_limits<float>::infinity());
  return std::min(rounded_up, kLargestCandidateSquare);
}

}  // namespace

Nearest find_nearest_in(const float* x, const float* y, int32_t count, float xs, float ys) {
  Nearest nearest{kSearchStart, -1};
  // The squares of one search; the run has one thread, and a benchmark or
  // a test one per thread.
  thread_local std::array<float, kMaxStars> squares;
  const float least = store_approximate_squares(x, y, count, xs, ys, squares.data());
  if (!(least <= kLargestCandidateSquare)) return nearest;
  const float limit = candidate_limit(least);
  for (int32_t j = next_candidate(squares.data(), 0, count, limit); j < count;
       j = next_candidate(squares.data(), j + 1, count, limit)) {
    const float d = distance_of(x[j], y[j], xs, ys);
    if (d < nearest.distance) nearest = {d, j};
  }
  return nearest;
}

}  // namespace starmark
