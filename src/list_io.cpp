#include "list_io.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "decimal.h"

namespace starmark {

// ---------------------------------------------------------------------------
// List-directed input

namespace {

constexpr const char* kReadPrefix = "list in";
constexpr int64_t kLargestExponent = 99999999;

bool is_digit(int c) {
  return c >= '0' && c <= '9';
}
bool is_blank(int c) {
  return c == ' ' || c == '\t';
}
bool is_exponent_letter(int c) {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd';
}

Status incomprehensible(const char* prefix) {
  return Status::library(prefix, LibraryError::kIncomprehensibleListInput);
}

// One item of the list: a value or a null, given `repeat` times.
struct Item {
  uint64_t repeat = 1;
  bool null = false;
  float value = 0.0f;
};

class ListReader {
 public:
  explicit ListReader(InputStream& input) : input_(input) {}

  Status read(float* values, size_t count) {
    size_t filled = 0;
    while (filled < count) {
      // Blanks, tabs and line feeds come before a value.
      int c = input_.peek();
      while (is_blank(c) || c == '\n') {
        input_.get();
        c = input_.peek();
      }
      if (c == InputStream::kEndOfFile) return Status::end_of_file(kReadPrefix);
      if (c == InputStream::kReadError) return read_error();
      if (c == ',') {
        input_.get();
        ++filled;
        continue;
      }
      if (c == '/') {
        input_.get();
        break;
      }
      Item item;
      if (Status status = read_item(&item); !status.ok()) return status;
      for (; item.repeat > 0 && filled < count; --item.repeat, ++filled) {
        if (!item.null) values[filled] = item.value;
      }
      // After an item: blanks and tabs, then one comma.
      c = input_.peek();
      while (is_blank(c)) {
        input_.get();
        c = input_.peek();
      }
      if (c == InputStream::kReadError) return read_error();
      if (c == ',') input_.get();
    }
    // The rest of the line goes unread; the end of the file ends a last line
    // as its line feed would.
    return input_.skip_line(kReadPrefix);
  }

 private:
  Status read_error() const { return Status::system(kReadPrefix, input_.error()); }

  // [r*]value or r*: a repeat count is digits without a sign right before
  // '*'; a sign before the star, with or without digits, is a bad count.
  Status read_item(Item* item) {
    int c = input_.peek();
    if (c == '*') return incomprehensible("bad repetition count");
    bool negative = false;
    const bool signed_number = c == '+' || c == '-';
    if (signed_number) {
      negative = c == '-';
      input_.get();
      c = input_.peek();
    }
    DecimalNumber number;
    uint64_t count = 0;
    constexpr uint64_t kEveryVariable = uint64_t{1} << 40;
    bool digits = false;
    while (is_digit(c)) {
      input_.get();
      number.add_digit(c - '0', false);
      if (count < kEveryVariable) count = count * 10 + static_cast<uint64_t>(c - '0');
      digits = true;
      c = input_.peek();
    }
    if (c == '*') {
      input_.get();
      if (signed_number || count == 0) return incomprehensible("bad repetition count");
      item->repeat = count;
      c = input_.peek();
      if (is_blank(c) || c == '\n' || c == ',' || c == '/' || c == InputStream::kEndOfFile) {
        item->null = true;
        return Status();
      }
      if (c == InputStream::kReadError) return read_error();
      return read_value(&item->value);
    }
    if (c == InputStream::kReadError) return read_error();
    return finish_number(number, negative, digits, &item->value);
  }

  // A value after r*: an optional sign, then a number.
  Status read_value(float* value) {
    int c = input_.peek();
    bool negative = false;
    if (c == '+' || c == '-') {
      negative = c == '-';
      input_.get();
      c = input_.peek();
    }
    DecimalNumber number;
    bool digits = false;
    while (is_digit(c)) {
      input_.get();
      number.add_digit(c - '0', false);
      digits = true;
      c = input_.peek();
    }
    if (c == '*') return incomprehensible("bad repetition count");
    if (c == InputStream::kReadError) return read_error();
    return finish_number(number, negative, digits, value);
  }

  // The rest of a number whose integer digits have been read: a fraction and
  // an exponent. The first byte that cannot go on ends it and is left.
  Status finish_number(DecimalNumber& number, bool negative, bool digits, float* value) {
    int c = input_.peek();
    if (c == '.') {
      input_.get();
      c = input_.peek();
      while (is_digit(c)) {
        input_.get();
        number.add_digit(c - '0', true);
        digits = true;
        c = input_.peek();
      }
    }
    if (c == InputStream::kReadError) return read_error();
    if (!digits) return incomprehensible("invalid number");
    int64_t exponent = 0;
    if (is_exponent_letter(c) || c == '+' || c == '-') {
      if (Status status = read_exponent(&exponent); !status.ok()) return status;
    }
    *value = number.to_float(negative, exponent);
    return Status();
  }

  // E, e, D or d with an optional sign, or a bare sign; then digits.
  Status read_exponent(int64_t* exponent) {
    int c = input_.get();
    if (is_exponent_letter(c)) {
      c = input_.peek();
      if (c == '+' || c == '-') input_.get();
    }
    const bool negative = c == '-';
    c = input_.peek();
    if (c == InputStream::kReadError) return read_error();
    if (!is_digit(c)) return incomprehensible("exponent field");
    int64_t magnitude = 0;
    while (is_digit(c)) {
      input_.get();
      if (magnitude <= kLargestExponent) magnitude = magnitude * 10 + (c - '0');
      c = input_.peek();
    }
    if (c == InputStream::kReadError) return read_error();
    if (magnitude > kLargestExponent) return incomprehensible("exponent field");
    *exponent = negative ? -magnitude : magnitude;
    return Status();
  }

  InputStream& input_;
};

}  // namespace

Status read_list_reals(InputStream& input, float* values, size_t count) {
  return ListReader(input).read(values, count);
}

// ---------------------------------------------------------------------------
// List-directed output

namespace {

constexpr size_t kLineLimit = 80;

size_t current_line_length(const std::string& text, size_t statement_start) {
  const size_t line_feed = text.rfind('\n');
  const size_t line_start = line_feed == std::string::npos || line_feed < statement_start
                                ? statement_start
                                : line_feed + 1;
  return text.size() - line_start;
}

// Ends the line before an item when the line is not empty and the item's
// counted length would take it to the limit.
void break_line_before(size_t counted_length, size_t statement_start, std::string* text) {
  const size_t length = current_line_length(*text, statement_start);
  if (length > 0 && length + counted_length >= kLineLimit) text->push_back('\n');
}

}  // namespace

void write_list_real(float value, std::string* text) {
  const double widened = value;
  text->push_back(' ');
  text->push_back(std::signbit(widened) && !std::isnan(widened) && widened != 0 ? '-' : ' ');
  char digits[48];
  const int length = std::snprintf(digits, sizeof digits, "%.9G", std::fabs(widened));
  std::string_view shown(digits, static_cast<size_t>(length));
  if (!std::isfinite(widened) || shown.find('.') != std::string_view::npos) {
    text->append(shown);
    return;
  }
  // A real always shows its decimal point: 100. and 1.E+10.
  const size_t exponent = shown.find('E');
  if (exponent == std::string_view::npos) {
    text->append(shown);
    text->push_back('.');
  } else {
    text->append(shown.substr(0, exponent));
    text->push_back('.');
    text->append(shown.substr(exponent));
  }
}

void write_list(const ListItem* items, size_t count, std::string* text) {
  const size_t statement_start = text->size();
  for (size_t i = 0; i < count; ++i) {
    const ListItem& item = items[i];
    if (const int32_t* integer = std::get_if<int32_t>(&item)) {
      char digits[16];
      const int length = std::snprintf(digits, sizeof digits, "%d", *integer);
      const size_t digit_count = static_cast<size_t>(length) - (*integer < 0 ? 1 : 0);
      break_line_before(digit_count, statement_start, text);
      text->push_back(' ');
      text->append(digits, static_cast<size_t>(length));
    } else if (const float* real = std::get_if<float>(&item)) {
      std::string shown;
      write_list_real(*real, &shown);
      break_line_before(shown.size(), statement_start, text);
      text->append(shown);
    } else {
      const std::string_view characters = std::get<std::string_view>(item);
      break_line_before(characters.size(), statement_start, text);
      text->push_back(' ');
      text->append(characters);
    }
  }
  text->push_back('\n');
}

}  // namespace starmark
