// tavinfo_tags.cpp - the screen-information tag in words; the preview PNG.
#include "tavinfo_tags.h"

#include <algorithm>

#include "tavinfo_format.h"

namespace tavinfo {

std::vector<std::string> DescribeScreenInfo(const std::vector<tagvocab::ScreenLine>& lines) {
  std::vector<std::string> out;
  for (const tagvocab::ScreenLine& s : lines) {
    std::string text = EscapeText(s.name);
    if (s.name != tagvocab::kSolidName && s.name != tagvocab::kUnknownName && s.name != tagvocab::kCopydotName) {
      text += "  " + FormatFixed(s.ruling, 1) + " lpi at " + FormatFixed(s.angle, 1) + " deg";
    } else if (s.name == tagvocab::kUnknownName) {
      text += "  (screens not in the selection, or foreign screens)";
    } else if (s.name == tagvocab::kCopydotName) {
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

}  // namespace tavinfo
