// The star list and the PSF star list: header lines copied verbatim, then one
// star record per line (record_layout.h). The star list's records are loaded
// into the star table; the PSF star list gets the records of the stars found.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "record_layout.h"

namespace starmark {

inline constexpr int32_t kMaxStars = 50000;

// The stars of the star list in file order: the record reader fills each in
// place.
struct StarTable {
  int32_t count = 0;
  StarRecord records[kMaxStars];
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

// Reads the star records that follow the header into `table`, up to
// kMaxStars; at the capacity it writes the capacity line on standard output.
void load_star_table(StarTable* table);

// Writes the record at `index` (0-based) as the next line of the PSF star list.
void write_star_record(const StarTable& table, int32_t index);

}  // namespace starmark
