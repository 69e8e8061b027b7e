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

// The PNG file held in a "_KVTVIEW.PNG" value: the bytes up to the end of
// its IEND chunk (the value adds up to three zero bytes of padding); empty
// when the value holds no PNG.
std::vector<uint8_t> PreviewPng(const std::vector<uint8_t>& value);

// True for the tags whose text is scrambled with the file's transformation
// text: "_KVT_STAGGEREDCUT" and "_KVT_CAD_<ink>".
bool IsScrambledTag(std::string_view name);

// The clear text of a scrambled tag value (its bytes before the final zero
// byte) given the file's "_KVT_TRANSFORMATION" text (without its zero byte):
// byte i is value[i] XOR t[L - 1 - (i mod L)].
std::string Unscramble(const std::vector<uint8_t>& value, std::string_view transformation);

}  // namespace tavinfo

#endif  // TAVINFO_TAGS_H
