// tavinfo_json.h - the JSON form of a TAV file for tavinfo --json, and the
// pixel statistics it carries.
#ifndef TAVINFO_JSON_H
#define TAVINFO_JSON_H

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "tav.h"

namespace tavinfo {

// JSON objects keep their keys in the order they were added.
using Json = nlohmann::ordered_json;

// Set (ink) pixels of an image and the smallest rectangle holding them.
struct PixelStats {
  uint64_t set = 0;
  uint64_t total = 0;
  bool any = false;  // false: no pixel is set and the box below means nothing
  uint32_t left = 0;
  uint32_t top = 0;
  uint32_t right = 0;   // inclusive
  uint32_t bottom = 0;  // inclusive
};

// Reads every row of reader once, top to bottom, holding one row in memory.
// A pixel is set when its bit is 1 (1-bit files) or its sample is 128 or
// more (8-bit files), as in the PBM export. Throws what ReadRow throws.
PixelStats CountPixels(tav::TavReader& reader);

// Adds the set pixels of one stored row (row_bytes bytes, row number y) to
// stats; total is left to the caller.
void CountRow(const uint8_t* row, std::size_t row_bytes, int bits_per_sample, uint32_t y,
              PixelStats& stats);

// RFC 4648 base64 with padding.
std::string Base64(const uint8_t* data, std::size_t size);

// The JSON object for one TAV file: header fields, every tag decoded, and the
// pixel statistics (all rows are read). Names the file as path.
Json DescribeFile(const std::string& path, tav::TavReader& reader);

// The JSON object for a file that could not be read.
Json DescribeFailure(const std::string& path, const std::string& error);

// value as JSON text in plain ASCII: other characters as \uXXXX escapes,
// invalid UTF-8 replaced by U+FFFD.
std::string DumpJson(const Json& value, int indent);

}  // namespace tavinfo

#endif  // TAVINFO_JSON_H
