// The largest workload of a run: a star list of kMaxStars stars over a
// 4096 x 4096 image, a position log whose 200 positions all find their star,
// and one whose 200 positions all miss. It is drawn from a fixed seed, so
// every build writes the same bytes and the benchmark searches the same
// stars that the program loads from the written files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "star_list.h"

namespace starmark_bench {

// Fields held as the text writes them: positions in hundredths of a pixel,
// the magnitude and the three further measures in thousandths.
struct BenchStar {
  int32_t n;
  int32_t x;
  int32_t y;
  int32_t amag;
  int32_t a;
  int32_t b;
  int32_t c;
};

// A position in hundredths of a pixel.
struct BenchPosition {
  int32_t x;
  int32_t y;
};

struct Workload {
  std::vector<BenchStar> stars;
  std::vector<BenchPosition> found;  // each within 1 pixel of a star
  std::vector<BenchPosition> miss;   // each farther than 10 pixels from every star
  int32_t duplicates;                // stars that repeat the position of an earlier one
};

Workload make_workload();

// The file names inside the workload folder.
inline constexpr const char* kStarListName = "stars.coo";
inline constexpr const char* kFoundLogName = "found.log";
inline constexpr const char* kMissLogName = "miss.log";

// The star list of the workload.
std::string star_list_text(const Workload& workload);

// Writes the star list and both position logs into `folder`; false, with a
// message on standard error, when a file cannot be written.
bool write_workload(const Workload& workload, const std::string& folder);

// The table that the program loads from the star list, and a position as the
// program reads it from a position log: each value the nearest double to its
// text, rounded to single precision.
void fill_table(const Workload& workload, starmark::StarTable* table);
float pixels(int32_t hundredths);

}  // namespace starmark_bench
