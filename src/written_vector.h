// The star record reader's fast path on x86-64: the written form of
// written_fields.h read with SSE2 (16-byte vectors), which every x86-64
// machine has, so no other instructions and no choice at run time. Its
// portable twin, read_written_words, reads the same values.
#pragma once

#include "record_layout.h"

namespace starmark {

#if defined(__x86_64__) && defined(__SSE2__)
inline constexpr bool kWrittenVector = true;
#else
inline constexpr bool kWrittenVector = false;
#endif

// As read_written_words: the record at `columns` when every field is in the
// written form; false, leaving `record` alone, otherwise. Defined only where
// kWrittenVector holds.
bool read_written_vector(const char* columns, StarRecord* record);

}  // namespace starmark
