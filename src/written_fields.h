// The fast path of the star record reader. Star lists hold their records as
// the record writer writes them: 61 columns, in every field blanks, an
// optional minus and digits, right-justified, the reals with the point and
// exactly their decimals. Such a record is read in one pass over its columns,
// with no per-field dispatch: a field at a time as one eight-byte word, with
// SWAR arithmetic (SIMD within a register: every byte tested and the eight
// digits converted in a few word operations; two overlapping loads leave a
// real's point out). The values are those of the general reader: the digits
// as an integer, divided exactly in double precision by the power of ten of
// the decimals, then rounded to single precision. A record in any other form
// takes the general reader (format.h), which reads a field in the written
// form by the same word arithmetic.
//
// On the largest run (bench/: 50,000 stars, 200 positions that find their
// star) the whole run takes 29 M instructions; 65 M with the written fields
// read one at a time through the general reader, 128 M with the general
// reader alone. A star list whose lines end in a carriage return, read by the
// general reader, takes 69 M, and 146 M without the written fields.
#pragma once

#include <cstddef>
#include <string_view>

#include "star_list.h"

namespace starmark {

// The columns of a star record, "(I7,2F9.2,4F9.3)".
inline constexpr size_t kRecordWidth = 61;

// Reads the 61 columns at `columns` when every field is in the written form;
// false, leaving `record` alone, for any other record, and on a machine whose
// words do not hold the bytes in memory order.
bool read_written_record(const char* columns, StarRecord* record);

// The same for one real field of nine columns with `decimals` decimals (1 to
// 7), for the general reader's fields of records in any other form.
bool parse_written_real(std::string_view field, int decimals, float* value);

}  // namespace starmark
