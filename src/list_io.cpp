#include "list_io.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "number_scanner.h"

namespace starmark {

// ---------------------------------------------------------------------------
// List-directed input

namespace {

// The fatal report names a failed read of the list itself "list in".
constexpr const char* kListReadReportPrefix = "list in";
constexpr int64_t kLargestExponent = 99999999;

bool is_blank(int c) {
  return c == ' ' || c == '\t';
}

Status incomprehensible(const char* prefix) {
  return Status::program(prefix, kIncomprehensibleListInput);
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
      if (c == InputStream::kEndOfFile) return Status::end_of_file(kListReadReportPrefix);
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
    return input_.skip_line(kListReadReportPrefix);
  }

 private:
  Status read_error() const { return Status::system(kListReadReportPrefix, input_.error()); }

  // [r*]value or r*: a repeat count is digits without a sign right before
  // '*'; a sign before the star, with or without digits, is a bad count.
  Status read_item(Item* item) {
    if (input_.peek() == '*') return incomprehensible("bad repetition count");
    // A blank ends a number like any other byte that cannot go on.
    NumberScanner scanner(input_);
    ScannedNumber number;
    scanner.sign(&number);
    scanner.integer_digits(&number);
    int c = input_.peek();
    if (c == '*') {
      input_.get();
      if (number.sign_written || number.integer == 0)
        return incomprehensible("bad repetition count");
      item->repeat = number.integer;
      c = input_.peek();
      if (is_blank(c) || c == '\n' || c == ',' || c == '/' || c == InputStream::kEndOfFile) {
        item->null = true;
        return Status();
      }
      if (c == InputStream::kReadError) return read_error();
      // The value after r*: an optional sign, then a number without a count.
      number = ScannedNumber();
      scanner.sign(&number);
      scanner.integer_digits(&number);
      if (input_.peek() == '*') return incomprehensible("bad repetition count");
    }
    return finish_number(scanner, number, &item->value);
  }

  // The rest of a number whose integer digits have been read: a fraction and
  // an exponent. The first byte that cannot go on ends it and is left.
  Status finish_number(NumberScanner<InputStream>& scanner, ScannedNumber& number, float* value) {
    if (input_.peek() == InputStream::kReadError) return read_error();
    scanner.fraction(&number);
    if (input_.peek() == InputStream::kReadError) return read_error();
    if (!number.any_digit) return incomprehensible("invalid number");
    const ExponentScan exponent = scanner.exponent(&number);
    if (input_.peek() == InputStream::kReadError) return read_error();
    if (exponent == ExponentScan::kWithoutDigits || number.exponent > kLargestExponent ||
        number.exponent < -kLargestExponent) {
      return incomprehensible("exponent field");
    }
    *value = number.digits.to_float(number.negative, number.exponent);
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

// Ends the line before an item when the line is not empty and the item's
// counted length would take it to the limit.
void break_line_before(size_t counted_length, ListText* text) {
  const std::string_view written = text->view();
  const size_t length = written.size() - (written.rfind('\n') + 1);  // npos + 1 is 0
  if (length > 0 && length + counted_length >= kLineLimit) text->append("\n");
}

// A real item: a blank and its sign, then its magnitude, which always shows
// its decimal point: 100. and 1.E+10.
void write_list_real(float value, ListText* text) {
  const double widened = value;
  char digits[32];
  const std::string_view shown(digits, static_cast<size_t>(std::snprintf(
                                           digits, sizeof digits, "%.9G", std::fabs(widened))));
  const bool add_point = std::isfinite(widened) && shown.find('.') == std::string_view::npos;
  const size_t point = add_point ? std::min(shown.find('E'), shown.size()) : shown.size();
  break_line_before(2 + shown.size() + (add_point ? 1 : 0), text);
  text->append(std::signbit(widened) && !std::isnan(widened) && widened != 0 ? " -" : "  ");
  text->append({digits, point});
  if (add_point) text->append(".");
  text->append({digits + point, shown.size() - point});
}

}  // namespace

void ListText::append(std::string_view piece) {
  const size_t taken = std::min(piece.size(), sizeof bytes - size);
  std::memcpy(bytes + size, piece.data(), taken);
  size += taken;
}

void write_list(const ListItem* items, size_t count, ListText* text) {
  for (size_t i = 0; i < count; ++i) {
    const ListItem& item = items[i];
    if (const int32_t* integer = std::get_if<int32_t>(&item)) {
      char digits[16];
      const int length = std::snprintf(digits, sizeof digits, " %d", *integer);
      break_line_before(static_cast<size_t>(length) - (*integer < 0 ? 2 : 1), text);
      text->append({digits, static_cast<size_t>(length)});
    } else if (const float* real = std::get_if<float>(&item)) {
      write_list_real(*real, text);
    } else {
      const std::string_view characters = *std::get_if<std::string_view>(&item);
      break_line_before(characters.size(), text);
      text->append(" ");
      text->append(characters);
    }
  }
  text->append("\n");
}

}  // namespace starmark
