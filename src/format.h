// Formatted transfers under a format text such as "(I7,2F9.2,4F9.3)".
//
// A format is a parenthesised list of edit descriptors: Iw (an integer in w
// columns), Fw.d (a real in w columns with d decimals), A (a character value
// as wide as its variable), nX (n blanks), / (the end of a line), and a text
// quoted by apostrophes or by the byte 0x02, written as it stands. A leading
// count repeats a descriptor: 2F9.2 is F9.2 twice.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "streams.h"

namespace starmark {

struct EditDescriptor {
  enum class Kind { kInteger, kReal, kCharacter, kBlanks, kText, kNewLine };
  Kind kind;
  int width = 0;          // Iw, Fw.d: columns; nX: blanks
  int decimals = 0;       // Fw.d: d
  std::string_view text;  // a quoted text, without its delimiters
};

class Format {
 public:
  // Parses a format text; the descriptors refer into `text`, which must outlive
  // the Format. Fails with "error in format".
  static Status parse(std::string_view text, Format* format);

  std::string_view text() const { return text_; }
  const std::vector<EditDescriptor>& descriptors() const { return descriptors_; }
  // Every descriptor is an Iw or an Fw.d, as in a star record; then the
  // width of the line they take.
  bool numbers_only() const { return numbers_only_; }
  size_t numbers_width() const { return numbers_width_; }

 private:
  std::string_view text_;
  std::vector<EditDescriptor> descriptors_;
  bool numbers_only_ = false;
  size_t numbers_width_ = 0;
};

// A format that the program holds as a constant; a bad one ends the process.
Format constant_format(std::string_view text);
// "(A)": one line as one character value.
const Format& line_format();

// A character variable of fixed length: reading fills all its positions.
struct FixedText {
  char* data;
  size_t size;
};

// The variables of a formatted read. A std::string takes the whole rest of
// its line, however long.
using ReadItem = std::variant<int32_t*, float*, FixedText, std::string*>;
// The values of a formatted write.
using WriteItem = std::variant<int32_t, float, std::string_view>;

// Reads one statement's items from `input` under `format`. Fields are read
// with blanks ignored. The end of the file ends a last line as a line feed
// would for numbers; a character field must be filled by what is left.
Status read_formatted(InputStream& input, const Format& format, const ReadItem* items,
                      size_t count);

// Appends the lines of one write statement, each ended by a line feed.
Status write_formatted(const Format& format, const WriteItem* items, size_t count,
                       std::string* text);

// Single fields. A field is the text of at most its width, cut short by a
// comma or by the end of its line; the tests read real fields one by one.
Status read_real_field(std::string_view field, int decimals, float* value);
void write_integer_field(int32_t value, int width, std::string* text);
void write_real_field(float value, int width, int decimals, std::string* text);

}  // namespace starmark
