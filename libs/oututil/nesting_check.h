// nesting_check.h - a look at a TOML text's nesting before it is parsed.
//
// The TOML parser builds (and later destroys) nested tables and arrays by
// recursion, so a hostile file such as "a.a.a. ... .a = 1" over 100 KB, or
// thousands of "[" in a row, would exhaust the stack. This scanner walks the
// text once, without recursion, and finds the first place where the nesting
// goes beyond a limit.
#ifndef DRAVOUTUTIL_NESTING_CHECK_H
#define DRAVOUTUTIL_NESTING_CHECK_H

#include <cstddef>
#include <string_view>

namespace dravoututil {

// Deepest nesting a device file may have (docs/device-file.md); a real one
// has 3 levels.
inline constexpr std::size_t kNestingLimit = 32;

// Where in a text something was found; line and column count from 1, the
// column in bytes.
struct TextPosition {
  std::size_t line = 0;
  std::size_t column = 0;

  bool operator==(const TextPosition&) const = default;
};

// Scans text as TOML and returns true with where set at the first place
// that nests deeper than limit levels. A level is each part of a table
// header ("[a.b]" has 2), each part of a dotted key ("x.y.z = 1" adds 3 to
// its table's), each "[" of an array value and each "{" of an inline table;
// the levels of a value add up from its header over its key down through the
// arrays and inline tables around it and their keys. Strings of the four kinds (basic, literal and their
// multi-line forms) and comments are skipped, so brackets and dots in them
// count for nothing. Text that is not valid TOML is scanned as far as it
// goes; the parser reports what is wrong with it.
bool find_excess_nesting(std::string_view text, std::size_t limit, TextPosition& where);

}  // namespace dravoututil

#endif  // DRAVOUTUTIL_NESTING_CHECK_H
