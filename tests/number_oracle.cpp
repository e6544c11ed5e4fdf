#include "number_oracle.h"

#include <algorithm>
#include <cstdlib>

namespace starmark::oracle {
namespace {

// Past this an exponent stops growing: far beyond any power of ten a float
// can reach.
constexpr int64_t kHeldExponent = 100'000'000'000'000;

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Takes a sign at `*i`, if there is one.
bool take_sign(std::string_view text, size_t* i, bool* negative) {
  if (*i == text.size() || (text[*i] != '+' && text[*i] != '-')) return false;
  *negative = text[(*i)++] == '-';
  return true;
}

std::string without_blanks(std::string_view field) {
  std::string text(field);
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  return text;
}

}  // namespace

float Number::value(int implied_decimals) const {
  std::string significant = digits;
  int count = 0;
  for (char& c : significant) {
    if ((count > 0 || c != '0') && ++count > 40) c = '0';
  }
  if (count == 0) return 0.0f;
  const int64_t power = exponent - fraction_digits - (point ? 0 : implied_decimals);
  const std::string text = (negative ? "-" : "") + significant + "e" + std::to_string(power);
  return static_cast<float>(std::strtod(text.c_str(), nullptr));
}

std::optional<Number> split_number(std::string_view text) {
  Number number;
  size_t i = 0;
  take_sign(text, &i, &number.negative);
  for (; i < text.size() && (is_digit(text[i]) || (text[i] == '.' && !number.point)); ++i) {
    if (text[i] == '.') {
      number.point = true;
    } else {
      number.digits += text[i];
      number.fraction_digits += number.point ? 1 : 0;
    }
  }
  if (i == text.size()) return number;
  bool exponent_negative = false;
  if (std::string_view("EeDd").find(text[i]) != std::string_view::npos) {
    ++i;
    take_sign(text, &i, &exponent_negative);
  } else if (!take_sign(text, &i, &exponent_negative)) {
    return std::nullopt;
  }
  if (i == text.size()) return std::nullopt;
  for (; i < text.size(); ++i) {
    if (!is_digit(text[i])) return std::nullopt;
    number.exponent = std::min(number.exponent, kHeldExponent) * 10 + (text[i] - '0');
  }
  if (exponent_negative) number.exponent = -number.exponent;
  return number;
}

std::optional<float> real_field_value(std::string_view field, int decimals) {
  const std::optional<Number> number = split_number(without_blanks(field));
  if (!number) return std::nullopt;
  return number->value(decimals);
}

std::optional<int64_t> integer_field_value(std::string_view field) {
  const std::string text = without_blanks(field);
  const size_t digits = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (text.find_first_not_of("0123456789", digits) != std::string::npos) return std::nullopt;
  return text.size() > digits ? std::stoll(text) : 0;
}

}  // namespace starmark::oracle
