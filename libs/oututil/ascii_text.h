// ascii_text.h - locale-independent text helpers: case-insensitive name
// comparison and decimal formatting.
#ifndef DRAVOUTUTIL_ASCII_TEXT_H
#define DRAVOUTUTIL_ASCII_TEXT_H

#include <cstddef>
#include <string>
#include <string_view>

namespace dravoututil {

// True when a and b are equal once the ASCII letters A-Z are folded to a-z.
// Other bytes compare exactly, whatever the process locale is.
bool equal_ignoring_case(std::string_view a, std::string_view b);

// The decimal digits of value.
std::string decimal(unsigned long long value);

// The decimal digits of value, padded with leading zeros to width digits.
std::string decimal_padded(unsigned long long value, std::size_t width);

// The shortest decimal text that reads back as value ("2400", "2540.5").
std::string shortest_decimal(double value);

}  // namespace dravoututil

#endif  // DRAVOUTUTIL_ASCII_TEXT_H
