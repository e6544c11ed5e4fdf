// Reading and writing one star record (record_layout.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "record_layout.h"
#include "streams.h"

namespace starmark {

// Reads the next line of `input` as a star record. Fields are read with
// blanks ignored; a comma ends a field early, and the next starts after it;
// fields past the end of a short line read as zero. A line in the written
// form is read at once (written_fields.h). Fails with "fmt: read unexpected
// character", or with the end of the file when the file ends before the line
// begins; the end of the file ends any other last line as a line feed would.
Status read_star_record(InputStream& input, StarRecord* record);

// The fast path alone: reads the next line when the stream holds it whole
// and it is a record in the written form; false, taking nothing, otherwise.
bool read_buffered_written_record(InputStream& input, StarRecord* record);

// One real field of a record in any form, `decimals` implied where the field
// has no decimal point. Fails with "fmt: read unexpected character".
Status read_real_field(std::string_view field, int decimals, float* value);

// A record's line: its kRecordWidth columns and a line feed.
inline constexpr size_t kRecordLineSize = kRecordWidth + 1;
void format_star_record(const StarRecord& record, char* line);

}  // namespace starmark
