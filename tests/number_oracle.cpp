#include "number_oracle.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace starmark::oracle {
namespace {

bool is_digit(std::string_view text, size_t i) {
  return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

bool is_sign(std::string_view text, size_t i) {
  return i < text.size() && (text[i] == '+' || text[i] == '-');
}

std::string without_blanks(std::string_view field) {
  std::string text(field);
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  return text;
}

}  // namespace

std::optional<float> number_value(std::string_view text, int implied_decimals) {
  size_t i = is_sign(text, 0) ? 1 : 0;
  std::string significant = i == 1 && text[0] == '-' ? "-" : "";
  bool point = false;
  int64_t fraction_digits = 0;
  int count = 0;  // significant digits, those past the 40th taken as zeros
  for (; is_digit(text, i) || (i < text.size() && text[i] == '.' && !point); ++i) {
    if (text[i] == '.') {
      point = true;
    } else {
      significant += (count > 0 || text[i] != '0') && ++count > 40 ? '0' : text[i];
      fraction_digits += point ? 1 : 0;
    }
  }
  int64_t exponent = 0;
  bool exponent_negative = false;
  if (i < text.size()) {
    if (std::string_view("EeDd").find(text[i]) != std::string_view::npos) {
      ++i;
    } else if (!is_sign(text, i)) {
      return std::nullopt;
    }
    if (is_sign(text, i)) exponent_negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    // Past 10^15 an exponent stops growing: far beyond any float's reach.
    for (; i < text.size(); ++i) {
      if (!is_digit(text, i)) return std::nullopt;
      exponent = std::min<int64_t>(exponent, 100'000'000'000'000) * 10 + (text[i] - '0');
    }
  }
  if (count == 0) return 0.0f;
  const int64_t power =
      (exponent_negative ? -exponent : exponent) - fraction_digits - (point ? 0 : implied_decimals);
  significant += "e" + std::to_string(power);
  return static_cast<float>(std::strtod(significant.c_str(), nullptr));
}

std::optional<float> real_field_value(std::string_view field, int decimals) {
  return number_value(without_blanks(field), decimals);
}

std::optional<float> integer_field_value(std::string_view field) {
  const std::string text = without_blanks(field);
  const size_t digits = is_sign(text, 0) ? 1 : 0;
  if (text.find_first_not_of("0123456789", digits) != std::string::npos) return std::nullopt;
  return text.size() > digits ? static_cast<float>(std::stoll(text)) : 0.0f;
}

}  // namespace starmark::oracle
