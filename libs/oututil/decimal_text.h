// decimal_text.h - numbers as decimal text, whatever the process locale.
#ifndef DRAVOUTUTIL_DECIMAL_TEXT_H
#define DRAVOUTUTIL_DECIMAL_TEXT_H

#include <cstddef>
#include <string>

namespace dravoututil {

// The decimal digits of value.
std::string decimal(unsigned long long value);

// The decimal digits of value, padded with leading zeros to width digits.
std::string decimal_padded(unsigned long long value, std::size_t width);

// The shortest decimal text that reads back as value ("2400", "2540.5").
std::string shortest_decimal(double value);

}  // namespace dravoututil

#endif  // DRAVOUTUTIL_DECIMAL_TEXT_H
