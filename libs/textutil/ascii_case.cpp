// ascii_case.cpp - ASCII case folding and comparison.
#include "ascii_case.h"

namespace textutil {

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (to_lower(a[i]) != to_lower(b[i])) return false;
  }
  return true;
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equal_ignoring_case(text.substr(0, prefix.size()), prefix);
}

void upper_case(char* text) {
  if (text == nullptr) return;
  for (; *text != '\0'; ++text) *text = to_upper(*text);
}

}  // namespace textutil
