// How the star record reader must read a star list's bytes, worked out apart
// from it: a line is cut to the record's 61 columns and split into fields of
// 7 and 9 columns, a comma ending a field early and the following fields
// starting after it; a short line leaves zeros; each field's value is the
// number oracle's; a field that is not a number fails the read with "read
// unexpected character"; the end of the file ends a last line as a line feed
// would, and a read that starts there meets the end of the file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace starmark::oracle {

// Reads `text` with the record reader until the end of the file or a failure;
// the first read that is not as the model says, if any: which record (from
// 1), its line with every byte outside printable ASCII escaped, and how they
// differ.
std::optional<std::string> record_reads_mismatch(std::string_view text);

}  // namespace starmark::oracle
