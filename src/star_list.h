// The star list and the PSF star list share one text format: header lines
// copied verbatim, then one star record per line in 61 fixed columns,
// "(I7,2F9.2,4F9.3)": n (columns 1-7), x and y (8-25, two decimals), amag, a,
// b and c (26-61, three decimals).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "streams.h"

namespace starmark {

inline constexpr int32_t kMaxStars = 50000;

// The values of one star record.
struct StarRecord {
  int32_t n;
  float x, y, amag, a, b, c;
};

// The stars of the star list in file order, as seven parallel columns.
struct StarTable {
  int32_t count = 0;
  alignas(64) std::array<int32_t, kMaxStars> n;
  alignas(64) std::array<float, kMaxStars> x;
  alignas(64) std::array<float, kMaxStars> y;
  alignas(64) std::array<float, kMaxStars> amag;
  alignas(64) std::array<float, kMaxStars> a;
  alignas(64) std::array<float, kMaxStars> b;
  alignas(64) std::array<float, kMaxStars> c;
};

// A header line: a read fills all 80 positions, cutting a longer line and
// padding a shorter one with blanks.
inline constexpr size_t kHeaderWidth = 80;
using HeaderLine = std::array<char, kHeaderWidth>;

// Reads one header line of `unit`; the end of the file is fatal.
void read_header_line(int unit, HeaderLine* line);

// Copies the star list's three header lines to the PSF star list, with an
// empty line after the second.
void copy_header();

// Reads the next star record of `input`: a line in the written form at once
// (written_fields.h), any other by the record format. The values, the status
// and what is taken of `input` are the same either way.
Status read_star_record(InputStream& input, StarRecord* record);

// Reads the star records that follow the header into `table`, up to
// kMaxStars; at the capacity it writes the capacity line on standard output.
void load_star_table(StarTable* table);

// Writes the record at `index` (0-based) as the next line of the PSF star list.
void write_star_record(const StarTable& table, int32_t index);

}  // namespace starmark
