// decimal_text.cpp - numbers as decimal text.
#include "decimal_text.h"

#include <charconv>

namespace dravoututil {

// The decimal digits of value.
std::string decimal(unsigned long long value) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  return std::string(digits, result.ptr);
}

// The decimal digits of value, padded with leading zeros to width digits.
std::string decimal_padded(unsigned long long value, std::size_t width) {
  std::string text = decimal(value);
  if (text.size() < width) text.insert(0, width - text.size(), '0');
  return text;
}

// The shortest decimal text that reads back as value.
std::string shortest_decimal(double value) {
  char digits[40];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  return std::string(digits, result.ptr);
}

}  // namespace dravoututil
