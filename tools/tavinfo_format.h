// tavinfo_format.h - how tavinfo turns TAV header fields and tag values into
// text: names of codes, numbers in the "C" locale, text detection, escaping.
#ifndef TAVINFO_FORMAT_H
#define TAVINFO_FORMAT_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavinfo {

// "FW16B", "FW8B", "FW88B", or "unknown".
std::string FormatName(int format);

// Mode flags in hex followed by the names of the bits, e.g.
// "0x51 (0x01 + 0x10 + runlength)"; "0x00 (none)".
std::string DescribeMode(int mode);

// value with digits after the point, always with a '.' whatever the locale.
std::string FormatFixed(double value, int digits);

// True when value is text: it ends in exactly one zero byte and the bytes
// before it are valid UTF-8 made of printable characters, tabs, line feeds
// and carriage returns.
bool IsTextValue(const std::vector<uint8_t>& value);

// True when text is valid UTF-8 (no overlong forms, surrogates or code
// points above U+10FFFF); control characters are allowed.
bool IsUtf8(std::string_view text);

// The names of the mode flags set, lowest bit first: "mirror", "reverse",
// "runlength", or the flag in hex ("0x01").
std::vector<std::string> ModeFlagNames(int mode);

// text with control characters other than tab and line feed escaped
// (\r, \xNN), safe to print on a terminal.
std::string EscapeText(std::string_view text);

// A tag name for display: printable ASCII kept, a backslash doubled, every
// other byte as \xNN.
std::string EscapeName(std::string_view name);

}  // namespace tavinfo

#endif  // TAVINFO_FORMAT_H
