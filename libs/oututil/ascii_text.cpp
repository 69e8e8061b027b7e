// ascii_text.cpp - locale-independent text helpers.
#include "ascii_text.h"

#include <charconv>

namespace dravoututil {

namespace {

// Folds an ASCII capital letter to its small form; other bytes unchanged.
char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

// True when a and b are equal once the ASCII letters A-Z are folded to a-z.
bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

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
