// tavinfo_format.cpp - text formatting for tavinfo.
#include "tavinfo_format.h"

#include <charconv>
#include <cstdio>

namespace tavinfo {
namespace {

// Appends byte as \xNN.
void AppendHexEscape(std::string& out, unsigned char byte) {
  static const char kDigits[] = "0123456789ABCDEF";
  out += "\\x";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0x0F];
}

// Length of the valid UTF-8 sequence at data[i] (size bytes in all) and its
// code point, or 0 when the bytes there are not valid UTF-8.
std::size_t DecodeUtf8(const uint8_t* data, std::size_t size, std::size_t i, uint32_t& cp) {
  const uint8_t b0 = data[i];
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t len = 0;
  uint8_t lo = 0x80;
  uint8_t hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (size - i < len) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const uint8_t b = data[i + k];
    if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  return len;
}

}  // namespace

// Name of a format code.
std::string FormatName(int format) {
  switch (format) {
    case 1: return "FW16B";
    case 2: return "FW8B";
    case 3: return "FW88B";
    default: return "unknown";
  }
}

// Names of the mode flags set.
std::vector<std::string> ModeFlagNames(int mode) {
  const auto bits = static_cast<uint32_t>(mode);
  std::vector<std::string> names;
  for (unsigned bit = 0; bit < 32; ++bit) {
    const uint32_t flag = uint32_t{1} << bit;
    if ((bits & flag) == 0) continue;
    if (flag == 0x02) {
      names.emplace_back("mirror");
    } else if (flag == 0x08) {
      names.emplace_back("reverse");
    } else if (flag == 0x40) {
      names.emplace_back("runlength");
    } else {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(flag));
      names.emplace_back(hex);
    }
  }
  return names;
}

// Hex value and bit names of the mode flags.
std::string DescribeMode(int mode) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(mode));
  std::string out = hex;
  out += " (";
  const std::vector<std::string> names = ModeFlagNames(mode);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i != 0) out += " + ";
    out += names[i];
  }
  if (names.empty()) out += "none";
  out += ")";
  return out;
}

// UTF-8 validity of a whole text.
bool IsUtf8(std::string_view text) {
  const auto* data = reinterpret_cast<const uint8_t*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    uint32_t cp = 0;
    const std::size_t len = DecodeUtf8(data, text.size(), i, cp);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

// Fixed-point text of value, independent of the process locale.
std::string FormatFixed(double value, int digits) {
  char buf[400];
  const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, digits);
  if (result.ec != std::errc()) return "?";
  return std::string(buf, result.ptr);
}

// Text detection; see the header.
bool IsTextValue(const std::vector<uint8_t>& value) {
  if (value.empty() || value.back() != 0) return false;
  const std::size_t size = value.size() - 1;
  const uint8_t* data = value.data();
  for (std::size_t i = 0; i < size;) {
    uint32_t cp = 0;
    const std::size_t len = DecodeUtf8(data, size, i, cp);
    if (len == 0) return false;
    const bool whitespace = cp == '\t' || cp == '\n' || cp == '\r';
    const bool control = cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
    if (control && !whitespace) return false;
    i += len;
  }
  return true;
}

// Escapes control characters for printing.
std::string EscapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\t' || byte == '\n' || (byte >= 0x20 && byte != 0x7F)) {
      out += c;
    } else if (byte == '\r') {
      out += "\\r";
    } else {
      AppendHexEscape(out, byte);
    }
  }
  return out;
}

// Escapes a tag name for printing.
std::string EscapeName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\\') {
      out += "\\\\";
    } else if (byte >= 0x20 && byte < 0x7F) {
      out += c;
    } else {
      AppendHexEscape(out, byte);
    }
  }
  return out;
}

}  // namespace tavinfo
