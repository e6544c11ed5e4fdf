#include "format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "decimal.h"
#include "number_scanner.h"
#include "written_fields.h"

namespace starmark {

// ---------------------------------------------------------------------------
// Parsing a format text

namespace {

constexpr char kTextDelimiter = '\x02';

class FormatParser {
 public:
  explicit FormatParser(std::string_view text) : text_(text) {}

  bool parse(std::vector<EditDescriptor>* descriptors) {
    skip_blanks();
    if (!take('(')) return false;
    skip_blanks();
    if (take(')')) return at_end();
    for (;;) {
      if (!parse_item(descriptors)) return false;
      skip_blanks();
      if (take(')')) return at_end();
      // A slash separates items by itself; otherwise a comma does.
      if (!take(',') &&
          (descriptors->empty() || descriptors->back().kind != EditDescriptor::Kind::kNewLine)) {
        if (peek() != '/') return false;
      }
      skip_blanks();
    }
  }

 private:
  bool parse_item(std::vector<EditDescriptor>* descriptors) {
    int count = 1;
    const bool counted = is_digit(peek());
    if (counted && !number(&count)) return false;
    skip_blanks();
    const char letter = peek();
    ++position_;
    using Kind = EditDescriptor::Kind;
    EditDescriptor descriptor{};
    switch (letter) {
      case 'I':
      case 'i':
        descriptor.kind = Kind::kInteger;
        if (!width(&descriptor.width)) return false;
        break;
      case 'F':
      case 'f':
        descriptor.kind = Kind::kReal;
        if (!width(&descriptor.width)) return false;
        skip_blanks();
        if (!take('.')) return false;
        skip_blanks();
        if (!is_digit(peek()) || !number(&descriptor.decimals)) return false;
        if (descriptor.decimals >= descriptor.width) return false;
        break;
      case 'A':
      case 'a':
        descriptor.kind = Kind::kCharacter;
        break;
      case 'X':
      case 'x':
        // nX is n blanks, not n repeats of one.
        descriptors->push_back({Kind::kBlanks, count, 0, {}});
        return true;
      case '/':
        descriptor.kind = Kind::kNewLine;
        break;
      case '\'':
      case kTextDelimiter:
        if (counted) return false;
        descriptor.kind = Kind::kText;
        return quoted_text(letter, &descriptor.text) && (descriptors->push_back(descriptor), true);
      default:
        return false;
    }
    // Repeats are spelt out; a format that would need more descriptors than
    // any line could use is not taken.
    constexpr size_t kMostDescriptors = 1 << 16;
    if (count < 1 || descriptors->size() + static_cast<size_t>(count) > kMostDescriptors) {
      return false;
    }
    descriptors->insert(descriptors->end(), static_cast<size_t>(count), descriptor);
    return true;
  }

  // The text up to the closing delimiter; an apostrophe inside an
  // apostrophe-quoted text is doubled, which this program's formats never do.
  bool quoted_text(char delimiter, std::string_view* text) {
    const size_t start = position_;
    const size_t end = text_.find(delimiter, start);
    if (end == std::string_view::npos) return false;
    if (delimiter == '\'' && end + 1 < text_.size() && text_[end + 1] == '\'') return false;
    *text = text_.substr(start, end - start);
    position_ = end + 1;
    return true;
  }

  bool width(int* value) {
    skip_blanks();
    return is_digit(peek()) && number(value) && *value > 0;
  }

  bool number(int* value) {
    constexpr int kLargest = 1 << 20;
    int result = 0;
    while (is_digit(peek())) {
      result = result * 10 + (text_[position_++] - '0');
      if (result > kLargest) return false;
      skip_blanks();
    }
    *value = result;
    return true;
  }

  char peek() const { return position_ < text_.size() ? text_[position_] : '\0'; }
  bool take(char c) {
    if (peek() != c || position_ >= text_.size()) return false;
    ++position_;
    return true;
  }
  void skip_blanks() {
    while (position_ < text_.size() && text_[position_] == ' ') ++position_;
  }
  bool at_end() {
    skip_blanks();
    return position_ == text_.size();
  }

  std::string_view text_;
  size_t position_ = 0;
};

bool is_number(const EditDescriptor& descriptor) {
  return descriptor.kind == EditDescriptor::Kind::kInteger ||
         descriptor.kind == EditDescriptor::Kind::kReal;
}

// A descriptor that transfers a value.
bool is_data(const EditDescriptor& descriptor) {
  return is_number(descriptor) || descriptor.kind == EditDescriptor::Kind::kCharacter;
}

bool has_data_descriptor(const std::vector<EditDescriptor>& descriptors) {
  return std::any_of(descriptors.begin(), descriptors.end(), is_data);
}

}  // namespace

Status Format::parse(std::string_view text, Format* format) {
  std::vector<EditDescriptor> descriptors;
  if (!FormatParser(text).parse(&descriptors)) {
    return Status::program("fmt", ProgramError::kErrorInFormat);
  }
  format->text_ = text;
  format->numbers_only_ =
      !descriptors.empty() && std::all_of(descriptors.begin(), descriptors.end(), is_number);
  format->numbers_width_ = 0;
  for (const EditDescriptor& descriptor : descriptors) {
    format->numbers_width_ += static_cast<size_t>(descriptor.width);
  }
  format->descriptors_ = std::move(descriptors);
  return Status();
}

Format constant_format(std::string_view text) {
  Format format;
  if (!Format::parse(text, &format).ok()) std::abort();
  return format;
}

const Format& line_format() {
  static const Format format = constant_format("(A)");
  return format;
}

// ---------------------------------------------------------------------------
// Reading fields

namespace {

// The fatal report names a failed formatted transfer "fmt".
constexpr const char* kFormattedReportPrefix = "fmt";

enum class FieldResult { kOk, kBadCharacter };

FieldResult parse_integer(std::string_view field, int32_t* value) {
  size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  int64_t magnitude = 0;
  constexpr int64_t kBeyondRange = int64_t{1} << 32;
  for (; i < field.size(); ++i) {
    const char c = field[i];
    if (c == ' ') continue;
    if (!is_digit(c)) return FieldResult::kBadCharacter;
    if (magnitude < kBeyondRange) magnitude = magnitude * 10 + (c - '0');
  }
  // A field wider than the I7 of the star records could leave the 32-bit
  // range; such a value keeps its low 32 bits.
  const uint64_t bits = static_cast<uint64_t>(negative ? -magnitude : magnitude);
  *value = static_cast<int32_t>(static_cast<uint32_t>(bits));
  return FieldResult::kOk;
}

// A field's bytes as the number scanner reads them: blanks anywhere are
// ignored, and the field's end ends the number.
class FieldSource {
 public:
  explicit FieldSource(std::string_view field) : field_(field) {}
  int peek() {
    while (position_ < field_.size() && field_[position_] == ' ') ++position_;
    return position_ < field_.size() ? static_cast<unsigned char>(field_[position_]) : -1;
  }
  void take() { ++position_; }

 private:
  std::string_view field_;
  size_t position_ = 0;
};

// Any field: blanks anywhere, any number of digits, an exponent.
[[gnu::noinline]] FieldResult parse_any_real(std::string_view field, int decimals, float* value) {
  FieldSource source(field);
  ScannedNumber number;
  // Whatever is left after the number, an exponent without digits among it,
  // cannot stand in the field.
  if (NumberScanner(source).scan(&number) == ExponentScan::kWithoutDigits || source.peek() >= 0) {
    return FieldResult::kBadCharacter;
  }
  // Without a decimal point the last `decimals` digits are the fraction.
  const int64_t power = number.point ? number.exponent : number.exponent - decimals;
  *value = number.digits.is_zero() ? 0.0f : number.digits.to_float(number.negative, power);
  return FieldResult::kOk;
}

FieldResult parse_real(std::string_view field, int decimals, float* value) {
  if (parse_written_real(field, decimals, value)) return FieldResult::kOk;
  return parse_any_real(field, decimals, value);
}

Status field_status(FieldResult result) {
  if (result == FieldResult::kOk) return Status();
  return Status::program(kFormattedReportPrefix, ProgramError::kReadUnexpectedCharacter);
}

}  // namespace

Status read_real_field(std::string_view field, int decimals, float* value) {
  return field_status(parse_real(field, decimals, value));
}

// ---------------------------------------------------------------------------
// Formatted reads

namespace {

// One line of input as the fields of a read see it.
class InputLine {
 public:
  explicit InputLine(InputStream& input) : input_(input) {}

  // Shows at least `want` bytes of the next line, or all of it.
  Status open(size_t want) {
    position_ = 0;
    taken_whole_ = false;
    Status status = input_.peek_line(want, &start_, kFormattedReportPrefix);
    // Most lines hold no comma, and then every field is a plain slice.
    has_comma_ = start_.size > 0 && std::memchr(start_.data, ',', start_.size) != nullptr;
    return status;
  }

  // True when the file has ended before this line began: there is no line
  // left to read numbers from. The end of the file ends any other last line
  // as a line feed would.
  bool past_end_of_file() const { return start_.file_end && start_.size == 0; }

  // The next numeric field: at most `width` bytes, ended early by a comma
  // (which is taken) or by the end of the line.
  std::string_view numeric_field(size_t width) {
    const size_t available = start_.size - position_;
    const size_t span = available < width ? available : width;
    const char* begin = start_.data + position_;
    for (size_t length = 0; has_comma_ && length < span; ++length) {
      if (begin[length] == ',') {
        position_ += length + 1;
        return {begin, length};
      }
    }
    position_ += span;
    return {begin, span};
  }

  // The next `size` characters, padded with blanks past the end of the line;
  // false if the file ends first.
  bool characters(char* data, size_t size) {
    const size_t available = start_.size - position_;
    const size_t taken = available < size ? available : size;
    if (taken < size && start_.file_end) return false;
    if (taken > 0) std::memcpy(data, start_.data + position_, taken);
    std::memset(data + taken, ' ', size - taken);
    position_ += taken;
    return true;
  }

  void skip(size_t count) {
    const size_t available = start_.size - position_;
    position_ += available < count ? available : count;
  }

  // Takes the line with its line feed, or with the end of the file.
  Status close() {
    if (taken_whole_) return Status();
    if (start_.line_feed) {
      input_.advance(start_.size + 1);
      return Status();
    }
    input_.advance(position_);
    return input_.skip_line(kFormattedReportPrefix);
  }

  // The rest of the line into `text`, whole. Past kLongestText bytes only
  // a non-blank byte is kept, so that a longer text stays longer and a run of
  // blanks at its end still counts as trailing.
  Status rest_of_line(std::string* text) {
    constexpr size_t kLongestText = 1 << 16;
    input_.advance(position_);
    position_ = 0;
    start_ = {};
    taken_whole_ = true;
    text->clear();
    for (;;) {
      const int byte = input_.get();
      if (byte == '\n') return Status();
      if (byte == InputStream::kEndOfFile) return Status::end_of_file(kFormattedReportPrefix);
      if (byte == InputStream::kReadError)
        return Status::system(kFormattedReportPrefix, input_.error());
      if (text->size() < kLongestText || (text->size() == kLongestText && byte != ' ')) {
        text->push_back(static_cast<char>(byte));
      }
    }
  }

 private:
  InputStream& input_;
  InputStream::LineStart start_{};
  size_t position_ = 0;
  bool has_comma_ = false;
  bool taken_whole_ = false;
};

size_t item_width(const ReadItem& item) {
  if (const FixedText* text = std::get_if<FixedText>(&item)) return text->size;
  return 0;
}

// How much of a line the read can look at: the sum of the field widths.
size_t line_width(const Format& format, const ReadItem* items, size_t count) {
  size_t width = 0;
  size_t item = 0;
  for (const EditDescriptor& descriptor : format.descriptors()) {
    if (is_data(descriptor)) {
      if (item == count) break;
      width += descriptor.kind == EditDescriptor::Kind::kCharacter
                   ? item_width(items[item])
                   : static_cast<size_t>(descriptor.width);
      ++item;
    } else if (descriptor.kind == EditDescriptor::Kind::kBlanks) {
      width += static_cast<size_t>(descriptor.width);
    }
  }
  return width;
}

Status read_numeric(InputLine& line, const EditDescriptor& descriptor, const ReadItem& item) {
  if (line.past_end_of_file()) return Status::end_of_file(kFormattedReportPrefix);
  const std::string_view field = line.numeric_field(static_cast<size_t>(descriptor.width));
  // `read` is false where the item does not fit the descriptor.
  bool read = false;
  FieldResult result = FieldResult::kOk;
  if (descriptor.kind == EditDescriptor::Kind::kReal) {
    if (float* const* real = std::get_if<float*>(&item)) {
      read = true;
      result = parse_real(field, descriptor.decimals, *real);
    }
  } else if (int32_t* const* integer = std::get_if<int32_t*>(&item)) {
    read = true;
    result = parse_integer(field, *integer);
  }
  if (!read) return Status::program(kFormattedReportPrefix, ProgramError::kErrorInFormat);
  return field_status(result);
}

Status read_character(InputLine& line, const ReadItem& item) {
  if (const FixedText* text = std::get_if<FixedText>(&item)) {
    if (!line.characters(text->data, text->size))
      return Status::end_of_file(kFormattedReportPrefix);
    return Status();
  }
  if (std::string* const* whole = std::get_if<std::string*>(&item)) {
    return line.rest_of_line(*whole);
  }
  return Status::program(kFormattedReportPrefix, ProgramError::kErrorInFormat);
}

// A record of numbers with one item for each field, as the star records are:
// the fields in order, on one line.
Status read_numbers(InputStream& input, const Format& format, const ReadItem* items) {
  InputLine line(input);
  if (Status status = line.open(format.numbers_width() + 1); !status.ok()) return status;
  const std::vector<EditDescriptor>& descriptors = format.descriptors();
  for (size_t index = 0; index < descriptors.size(); ++index) {
    if (Status status = read_numeric(line, descriptors[index], items[index]); !status.ok()) {
      return status;
    }
  }
  return line.close();
}

}  // namespace

Status read_formatted(InputStream& input, const Format& format, const ReadItem* items,
                      size_t count) {
  const std::vector<EditDescriptor>& descriptors = format.descriptors();
  if (format.numbers_only() && count == descriptors.size()) {
    return read_numbers(input, format, items);
  }
  if (count > 0 && !has_data_descriptor(descriptors)) {
    return Status::program(kFormattedReportPrefix, ProgramError::kErrorInFormat);
  }
  InputLine line(input);
  // One byte more than the fields take shows the line feed of a full line.
  const size_t want = line_width(format, items, count) + 1;
  if (Status status = line.open(want); !status.ok()) return status;
  size_t item = 0;
  for (size_t index = 0;; ++index) {
    if (index == descriptors.size()) {
      if (item == count) break;
      // More items than the format has fields: it starts again on a new line.
      index = 0;
      if (Status status = line.close(); !status.ok()) return status;
      if (Status status = line.open(want); !status.ok()) return status;
    }
    const EditDescriptor& descriptor = descriptors[index];
    if (is_data(descriptor) && item == count) break;
    Status status;
    switch (descriptor.kind) {
      case EditDescriptor::Kind::kInteger:
      case EditDescriptor::Kind::kReal:
        status = read_numeric(line, descriptor, items[item++]);
        break;
      case EditDescriptor::Kind::kCharacter:
        status = read_character(line, items[item++]);
        break;
      case EditDescriptor::Kind::kBlanks:
        line.skip(static_cast<size_t>(descriptor.width));
        break;
      case EditDescriptor::Kind::kNewLine:
        status = line.close();
        if (status.ok()) status = line.open(want);
        break;
      case EditDescriptor::Kind::kText:
        status = Status::program(kFormattedReportPrefix, ProgramError::kErrorInFormat);
        break;
    }
    if (!status.ok()) return status;
  }
  return line.close();
}

// ---------------------------------------------------------------------------
// Writing fields

void write_integer_field(int32_t value, int width, std::string* text) {
  char digits[16];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  (void)error;
  const size_t length = static_cast<size_t>(end - digits);
  const size_t columns = static_cast<size_t>(width);
  if (length > columns) {
    text->append(columns, '*');
    return;
  }
  text->append(columns - length, ' ');
  text->append(digits, length);
}

void write_real_field(float value, int width, int decimals, std::string* text) {
  // The exact value of the single-precision number, rounded as the C
  // library rounds it; the sign is ours, and a value that rounds to zero
  // has none.
  const double widened = value;
  // Room for the widest: 39 digits before the point, the point, the decimals.
  std::string digits(static_cast<size_t>(decimals) + 48, '\0');
  const int length =
      std::snprintf(digits.data(), digits.size(), "%#.*f", decimals, std::fabs(widened));
  bool only_zeros = true;
  for (int i = 0; i < length; ++i) {
    if (digits[i] != '0' && digits[i] != '.') only_zeros = false;
  }
  const bool minus = widened < 0 && !only_zeros;
  const size_t needed = static_cast<size_t>(length) + (minus ? 1 : 0);
  const size_t columns = static_cast<size_t>(width);
  if (length < 0 || needed > columns) {
    text->append(columns, '*');
    return;
  }
  text->append(columns - needed, ' ');
  if (minus) text->push_back('-');
  text->append(digits.data(), static_cast<size_t>(length));
}

// ---------------------------------------------------------------------------
// Formatted writes

Status write_formatted(const Format& format, const WriteItem* items, size_t count,
                       std::string* text) {
  const std::vector<EditDescriptor>& descriptors = format.descriptors();
  if (count > 0 && !has_data_descriptor(descriptors)) {
    return Status::program(kFormattedReportPrefix, ProgramError::kErrorInFormat);
  }
  size_t item = 0;
  for (size_t index = 0;; ++index) {
    if (index == descriptors.size()) {
      if (item == count) break;
      index = 0;
      text->push_back('\n');
    }
    const EditDescriptor& descriptor = descriptors[index];
    if (is_data(descriptor) && item == count) break;
    switch (descriptor.kind) {
      case EditDescriptor::Kind::kInteger: {
        const int32_t* value = std::get_if<int32_t>(&items[item++]);
        if (value == nullptr)
          return Status::program(kFormattedReportPrefix, ProgramError::kErrorInFormat);
        write_integer_field(*value, descriptor.width, text);
        break;
      }
      case EditDescriptor::Kind::kReal: {
        const float* value = std::get_if<float>(&items[item++]);
        if (value == nullptr)
          return Status::program(kFormattedReportPrefix, ProgramError::kErrorInFormat);
        write_real_field(*value, descriptor.width, descriptor.decimals, text);
        break;
      }
      case EditDescriptor::Kind::kCharacter: {
        const std::string_view* value = std::get_if<std::string_view>(&items[item++]);
        if (value == nullptr)
          return Status::program(kFormattedReportPrefix, ProgramError::kErrorInFormat);
        text->append(*value);
        break;
      }
      case EditDescriptor::Kind::kBlanks:
        text->append(static_cast<size_t>(descriptor.width), ' ');
        break;
      case EditDescriptor::Kind::kNewLine:
        text->push_back('\n');
        break;
      case EditDescriptor::Kind::kText:
        text->append(descriptor.text);
        break;
    }
  }
  text->push_back('\n');
  return Status();
}

}  // namespace starmark
