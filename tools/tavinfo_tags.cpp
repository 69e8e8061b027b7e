// tavinfo_tags.cpp - the screen-information tag in clear.
#include "tavinfo_tags.h"

#include <algorithm>
#include <charconv>

#include "tavinfo_format.h"

namespace tavinfo {
namespace {

// Reads "<key>=" then a number at the front of text; advances text past it.
template <typename Number>
bool Field(std::string_view& text, std::string_view key, Number& value) {
  if (text.substr(0, key.size()) != key) return false;
  text.remove_prefix(key.size());
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc()) return false;
  text.remove_prefix(static_cast<std::size_t>(result.ptr - text.data()));
  return true;
}

bool Skip(std::string_view& text, std::string_view what) {
  if (text.substr(0, what.size()) != what) return false;
  text.remove_prefix(what.size());
  return true;
}

// "LC=%f A=%f S=%s" with, in the extended form, " COV=%f AREA=%d,%d,%d,%d".
std::optional<ScreenLine> ParseLine(std::string_view line) {
  ScreenLine s;
  if (!Field(line, "LC=", s.ruling) || !Skip(line, " ") || !Field(line, "A=", s.angle) || !Skip(line, " S=")) {
    return std::nullopt;
  }
  const std::size_t cov = line.find(" COV=");
  s.name = std::string(line.substr(0, cov));
  if (cov == std::string_view::npos) return s;
  line.remove_prefix(cov + 1);
  s.counted = true;
  if (!Field(line, "COV=", s.coverage) || !Skip(line, " ") || !Field(line, "AREA=", s.left) || !Skip(line, ",") ||
      !Field(line, "", s.top) || !Skip(line, ",") || !Field(line, "", s.right) || !Skip(line, ",") ||
      !Field(line, "", s.bottom) || !line.empty()) {
    return std::nullopt;
  }
  return s;
}

}  // namespace

std::optional<std::vector<ScreenLine>> ParseScreenInfo(std::string_view text) {
  std::size_t count = 0;
  if (!Field(text, "COUNT=", count) || !Skip(text, "\n")) return std::nullopt;
  std::vector<ScreenLine> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::optional<ScreenLine> line = ParseLine(text.substr(0, end));
    if (!line) return std::nullopt;  // also a line cut at 255 characters
    lines.push_back(*line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  if (lines.size() != count) return std::nullopt;
  return lines;
}

std::vector<std::string> DescribeScreenInfo(const std::vector<ScreenLine>& lines) {
  std::vector<std::string> out;
  for (const ScreenLine& s : lines) {
    std::string text = EscapeText(s.name);
    if (s.name != "SOLID" && s.name != "UNKNOWN" && s.name != "CPP") {
      text += "  " + FormatFixed(s.ruling, 1) + " lpi at " + FormatFixed(s.angle, 1) + " deg";
    } else if (s.name == "UNKNOWN") {
      text += "  (screens not in the selection, or foreign screens)";
    } else if (s.name == "CPP") {
      text += "  (copydot)";
    } else {
      text += "  (no screen: solid tone)";
    }
    if (s.counted) {
      text += ": " + FormatFixed(s.coverage * 100.0, 2) + " % of the page";
      if (s.right > s.left || s.bottom > s.top) {
        text += ", pixels " + std::to_string(s.left) + "," + std::to_string(s.top) + " to " + std::to_string(s.right) +
                "," + std::to_string(s.bottom);
      }
    }
    out.push_back(std::move(text));
  }
  return out;
}

std::vector<uint8_t> PreviewPng(const std::vector<uint8_t>& value) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  static const uint8_t kEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  if (value.size() < sizeof kSignature + sizeof kEnd || !std::equal(kSignature, kSignature + 8, value.begin())) {
    return {};
  }
  // The padding is at most three bytes: IEND ends within the last 15.
  for (std::size_t end = value.size(); end + 3 >= value.size() && end >= sizeof kEnd; --end) {
    if (std::equal(kEnd, kEnd + sizeof kEnd, value.begin() + static_cast<std::ptrdiff_t>(end - sizeof kEnd))) {
      return std::vector<uint8_t>(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(end));
    }
  }
  return {};
}

bool IsScrambledTag(std::string_view name) {
  return name == "_KVT_STAGGEREDCUT" || name.substr(0, 9) == "_KVT_CAD_";
}

std::string Unscramble(const std::vector<uint8_t>& value, std::string_view t) {
  std::size_t n = value.size();
  if (n > 0 && value[n - 1] == 0) --n;
  std::string clear(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(n));
  if (t.empty()) return clear;
  for (std::size_t i = 0; i < n; ++i) {
    clear[i] = static_cast<char>(value[i] ^ static_cast<unsigned char>(t[t.size() - 1 - i % t.size()]));
  }
  return clear;
}

}  // namespace tavinfo
