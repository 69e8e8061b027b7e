// tavinfo_tags.h - the plug-in's own tags in words. The tags are read with
// the tag vocabulary (tag_vocabulary.h), which the plug-in writes them with.
#ifndef TAVINFO_TAGS_H
#define TAVINFO_TAGS_H

#include <cstdint>
#include <string>
#include <vector>

#include "tag_vocabulary.h"

namespace tavinfo {

// Readable lines for tavinfo's text output, e.g.
// "ROUND  150 lpi at 45 deg: 12.50 % of the page, pixels 10,20 to 110,120".
std::vector<std::string> DescribeScreenInfo(const std::vector<tagvocab::ScreenLine>& lines);

// The PNG file held in a "_KVTVIEW.PNG" value: the bytes up to the end of
// its IEND chunk (the value adds up to three zero bytes of padding); empty
// when the value holds no PNG.
std::vector<uint8_t> PreviewPng(const std::vector<uint8_t>& value);

}  // namespace tavinfo

#endif  // TAVINFO_TAGS_H
