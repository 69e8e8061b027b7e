// tavinfo_tags.h - reading the plug-in's own tags back in clear.
#ifndef TAVINFO_TAGS_H
#define TAVINFO_TAGS_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavinfo {

// One line of the "_KVT_RIPINFO0" tag: a screen (or UNKNOWN, CPP, SOLID).
struct ScreenLine {
  double ruling = 0.0;   // lines per inch
  double angle = 0.0;    // degrees
  std::string name;      // dot shape, or UNKNOWN / CPP / SOLID
  bool counted = false;  // the extended form: coverage and area follow
  double coverage = 0.0; // share of the page, 0 to 1
  int32_t left = 0, top = 0, right = 0, bottom = 0;  // pixels of the file
};

// The screen lines of a "_KVT_RIPINFO0" text (without its zero byte); none
// when the text is not of that form. Numbers are read in the "C" locale.
std::optional<std::vector<ScreenLine>> ParseScreenInfo(std::string_view text);

// Readable lines for tavinfo's text output, e.g.
// "ROUND  150 lpi at 45 deg: 12.50 % of the page, pixels 10,20 to 110,120".
std::vector<std::string> DescribeScreenInfo(const std::vector<ScreenLine>& lines);

}  // namespace tavinfo

#endif  // TAVINFO_TAGS_H
