// ascii_case.h - letter case of ASCII text, whatever the process locale:
// only the letters A-Z and a-z ever change or compare alike; every other
// byte (digits, punctuation, UTF-8 sequences) stays and compares exactly.
// Names of options, films, configurations, dot shapes and query keys are
// compared this way throughout the plug-in and its libraries.
#ifndef TEXTUTIL_ASCII_CASE_H
#define TEXTUTIL_ASCII_CASE_H

#include <string_view>

namespace textutil {

// The small form of an ASCII capital; other bytes unchanged.
constexpr char to_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The capital form of an ASCII small letter; other bytes unchanged.
constexpr char to_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// True when a and b are equal once A-Z are folded to a-z.
bool equal_ignoring_case(std::string_view a, std::string_view b);

// True when text begins with prefix, A-Z folded to a-z.
bool starts_with_ignoring_case(std::string_view text, std::string_view prefix);

// Upper-cases a zero-terminated text in place (a-z only); null is left alone.
void upper_case(char* text);

}  // namespace textutil

#endif  // TEXTUTIL_ASCII_CASE_H
