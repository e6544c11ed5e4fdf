// The star record, shared by the star list and the PSF star list: one star a
// line, in 61 fixed columns, "(I7,2F9.2,4F9.3)": n (columns 1-7), x and y
// (8-25, two decimals), amag, a, b and c (26-61, three decimals). a, b and c
// are further measures of the star, carried unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

namespace starmark {

// The values of one star record.
struct StarRecord {
  int32_t n;
  float x, y, amag, a, b, c;
};

// The record's format, as the fatal report shows it.
inline constexpr std::string_view kRecordFormat = "(I7,2F9.2,4F9.3)";

// The seven fields in their order: the columns each takes, and its decimals
// (none for the integer n). Every reader and writer of records goes by it.
struct RecordField {
  size_t width;
  int decimals;
};
inline constexpr RecordField kRecordFields[] = {{7, 0}, {9, 2}, {9, 2}, {9, 3},
                                                {9, 3}, {9, 3}, {9, 3}};
inline constexpr size_t kRecordFieldCount = std::size(kRecordFields);
inline constexpr size_t kRecordWidth = [] {
  size_t width = 0;
  for (const RecordField& field : kRecordFields) width += field.width;
  return width;
}();

// The real fields after n, in the order of kRecordFields.
inline constexpr float StarRecord::*kRealFields[] = {&StarRecord::x,    &StarRecord::y,
                                                     &StarRecord::amag, &StarRecord::a,
                                                     &StarRecord::b,    &StarRecord::c};

}  // namespace starmark
