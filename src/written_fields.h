// The fast path of the star record reader. Star lists hold their records as
// the record writer writes them: in every field blanks, an optional minus and
// digits, right-justified, the reals with the point and exactly their
// decimals. Such a record is read in one pass over its columns, with no
// per-field dispatch: a field at a time as one eight-byte word, with SWAR
// arithmetic (SIMD within a register: every byte tested and the eight digits
// converted in a few word operations; two overlapping loads leave a real's
// point out). The values are those of the general reader: the digits as an
// integer, divided exactly in double precision by the power of ten of the
// decimals, then rounded to single precision. A record in any other form
// takes the general reader (star_record.h).
//
// This is the portable twin; x86-64 reads the same form with vectors
// (written_vector.cpp). With the words the record reader takes 359
// instructions a record, 18.0 M of the largest run (bench/: 50,000 stars),
// where the general reader alone took 128 M for the whole run.
#pragma once

#include "record_layout.h"

namespace starmark {

// Reads the kRecordWidth columns at `columns` when every field is in the
// written form; false, leaving `record` alone, for any other record, and on a
// machine whose words do not hold the bytes in memory order.
bool read_written_words(const char* columns, StarRecord* record);

// The same on x86-64 with SSE2 vectors (written_vector.cpp), but false for a
// record with a full-width real; defined only where kWrittenVector holds.
#if defined(__x86_64__) && defined(__SSE2__)
inline constexpr bool kWrittenVector = true;
#else
inline constexpr bool kWrittenVector = false;
#endif
bool read_written_vector(const char* columns, StarRecord* record);

// The record by the machine's fastest way: the vectors, else the words.
bool read_written_record(const char* columns, StarRecord* record);

}  // namespace starmark
