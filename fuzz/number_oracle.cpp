#include "number_oracle.h"

#include <cstdlib>

namespace starmark::fuzz {

namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
bool is_sign(char c) {
  return c == '+' || c == '-';
}
bool is_exponent_letter(char c) {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd';
}

size_t without_leading_zeros(const std::string& digits) {
  const size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? 0 : digits.size() - first;
}

constexpr int64_t kHeldExponent = 1'000'000'000'000'000;
constexpr int64_t kHeldInteger = 1'000'000'000'000'000'000;

}  // namespace

bool NumberText::has_nonzero_digit() const {
  return integer_digits.find_first_not_of('0') != std::string::npos ||
         fraction_digits.find_first_not_of('0') != std::string::npos;
}

size_t NumberText::significant_digits() const {
  return without_leading_zeros(integer_digits + fraction_digits);
}

int64_t NumberText::exponent() const {
  int64_t magnitude = 0;
  for (const char c : exponent_digits) {
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude >= kHeldExponent) {
      magnitude = kHeldExponent;
      break;
    }
  }
  return exponent_negative ? -magnitude : magnitude;
}

std::optional<NumberText> split_number(std::string_view text) {
  NumberText number;
  size_t i = 0;
  if (i < text.size() && is_sign(text[i])) number.negative = text[i++] == '-';
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (is_digit(c)) {
      (number.point ? number.fraction_digits : number.integer_digits) += c;
    } else if (c == '.' && !number.point) {
      number.point = true;
    } else {
      break;
    }
  }
  if (i == text.size()) return number;
  if (is_exponent_letter(text[i])) {
    ++i;
    if (i < text.size() && is_sign(text[i])) number.exponent_negative = text[i++] == '-';
  } else if (is_sign(text[i])) {
    number.exponent_negative = text[i++] == '-';
  } else {
    return std::nullopt;
  }
  for (; i < text.size(); ++i) {
    if (!is_digit(text[i])) return std::nullopt;
    number.exponent_digits += text[i];
  }
  if (number.exponent_digits.empty()) return std::nullopt;
  return number;
}

float nearest_float(const NumberText& number, int64_t scale) {
  std::string text = number.negative ? "-" : "";
  text += number.integer_digits.empty() ? "0" : number.integer_digits;
  text += '.';
  text += number.fraction_digits;
  text += 'e';
  text += std::to_string(number.exponent() - scale);
  return static_cast<float>(std::strtod(text.c_str(), nullptr));
}

std::string without_blanks(std::string_view field) {
  std::string text;
  for (const char c : field) {
    if (c != ' ') text += c;
  }
  return text;
}

std::optional<float> real_field_value(std::string_view field, int decimals) {
  const std::optional<NumberText> number = split_number(without_blanks(field));
  if (!number) return std::nullopt;
  if (!number->has_nonzero_digit()) return 0.0f;
  return nearest_float(*number, number->point ? 0 : decimals);
}

std::optional<IntegerText> integer_field_value(std::string_view field) {
  const std::string text = without_blanks(field);
  size_t i = 0;
  const bool negative = i < text.size() && is_sign(text[i]) && text[i++] == '-';
  std::string digits;
  IntegerText integer;
  for (; i < text.size(); ++i) {
    if (!is_digit(text[i])) return std::nullopt;
    digits += text[i];
    integer.value =
        integer.value < kHeldInteger / 10 ? integer.value * 10 + (text[i] - '0') : kHeldInteger;
  }
  integer.significant_digits = without_leading_zeros(digits);
  if (negative) integer.value = -integer.value;
  return integer;
}

}  // namespace starmark::fuzz
