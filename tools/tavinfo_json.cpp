// tavinfo_json.cpp - the JSON description of a TAV file.
#include "tavinfo_json.h"

#include <bit>
#include <string_view>
#include <vector>

#include "tavinfo_coverage.h"
#include "tavinfo_format.h"
#include "tavinfo_tags.h"

namespace tavinfo {
namespace {

// Hex digits of bytes, lower case, no separators.
std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
  }
  return out;
}

// One tag: its name, length and value as text or base64.
Json DescribeTag(const tav::TavTag& tag, const tav::TavTag* transformation) {
  Json out;
  if (IsUtf8(tag.name)) {
    out["name"] = tag.name;
  } else {
    out["name"] = EscapeName(tag.name);
    out["name_hex"] = Hex(tag.name);
  }
  out["length"] = tag.value.size();
  if (IsTextValue(tag.value)) {
    out["encoding"] = "text";
    out["value"] = std::string(reinterpret_cast<const char*>(tag.value.data()),
                               tag.value.size() - 1);
    if (tag.name == tagvocab::kScreenInfoTag) {
      if (const auto lines = tagvocab::parse_screen_info(out["value"].get<std::string>())) {
        Json screens = Json::array();
        for (const tagvocab::ScreenLine& s : *lines) {
          Json screen = {{"name", s.name}, {"ruling", s.ruling}, {"angle", s.angle}};
          if (s.counted) {
            screen["coverage"] = s.coverage;
            screen["area"] = {s.left, s.top, s.right, s.bottom};
          }
          screens.push_back(std::move(screen));
        }
        out["screens"] = std::move(screens);
      }
    }
  } else {
    out["encoding"] = "base64";
    out["value"] = Base64(tag.value.data(), tag.value.size());
  }
  // Cutting texts are scrambled with the file's transformation text.
  if (tagvocab::is_scrambled_tag(tag.name) && transformation != nullptr && IsTextValue(transformation->value)) {
    const std::string clear = tagvocab::unscramble(
        tag.value, std::string_view(reinterpret_cast<const char*>(transformation->value.data()),
                                    transformation->value.size() - 1));
    if (IsUtf8(clear)) out["clear"] = clear;
  }
  return out;
}

}  // namespace

void CountRow(const uint8_t* row, std::size_t row_bytes, int bits_per_sample, uint32_t y,
              PixelStats& stats) {
  std::size_t first = row_bytes;  // first and last byte or sample with ink
  std::size_t last = 0;
  uint64_t set = 0;
  if (bits_per_sample == 1) {
    for (std::size_t i = 0; i < row_bytes; ++i) {
      if (row[i] == 0) continue;
      set += static_cast<unsigned>(std::popcount(row[i]));
      if (first == row_bytes) first = i;
      last = i;
    }
    if (first == row_bytes) return;
    // Pixel x is bit 7 - x % 8 of byte x / 8.
    first = first * 8 + static_cast<unsigned>(std::countl_zero(row[first]));
    last = last * 8 + 7 - static_cast<unsigned>(std::countr_zero(row[last]));
  } else {
    for (std::size_t i = 0; i < row_bytes; ++i) {
      if (row[i] < 128) continue;
      ++set;
      if (first == row_bytes) first = i;
      last = i;
    }
    if (first == row_bytes) return;
  }
  stats.set += set;
  const auto left = static_cast<uint32_t>(first);
  const auto right = static_cast<uint32_t>(last);
  if (!stats.any) {
    stats.any = true;
    stats.left = left;
    stats.right = right;
    stats.top = y;
  }
  if (left < stats.left) stats.left = left;
  if (right > stats.right) stats.right = right;
  stats.bottom = y;
}

PixelStats CountPixels(tav::TavReader& reader) {
  const tav::TavInfo& info = reader.Info();
  PixelStats stats;
  stats.total = uint64_t(static_cast<uint32_t>(info.width)) * static_cast<uint32_t>(info.height);
  std::vector<uint8_t> row(reader.RowBytes());
  for (int y = 0; y < info.height; ++y) {
    reader.ReadRow(y, row.data());
    CountRow(row.data(), row.size(), info.bits_per_sample, static_cast<uint32_t>(y), stats);
  }
  return stats;
}

std::string Base64(const uint8_t* data, std::size_t size) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const uint32_t v = uint32_t{data[i]} << 16 | uint32_t{data[i + 1]} << 8 | data[i + 2];
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i < size) {
    const bool two = size - i == 2;
    const uint32_t v = uint32_t{data[i]} << 16 | (two ? uint32_t{data[i + 1]} << 8 : 0);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += two ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

Json DescribeFile(const std::string& path, tav::TavReader& reader) {
  const tav::TavInfo& info = reader.Info();
  Json out;
  out["file"] = path;
  out["width"] = info.width;
  out["height"] = info.height;
  out["bits_per_pixel"] = info.bits_per_sample;
  out["resolution_ppi"] = {{"x", info.x_resolution}, {"y", info.y_resolution}};
  out["page_mm"] = {{"width", info.width_mm}, {"height", info.height_mm}};
  out["format"] = {{"code", info.format}, {"name", FormatName(info.format)}};
  out["compression"] = {{"code", info.compression}, {"tiff", info.tiff_compression}};
  out["mode"] = {{"value", info.mode}, {"flags", ModeFlagNames(info.mode)}};
  out["mirrored"] = (info.mode & TAV_MODE_MIRROR) != 0;
  out["orientation"] = DescribeOrientation(info.mode);
  out["container"] = info.bigtiff ? "BigTIFF" : "TIFF";
  Json tags = Json::array();
  const tav::TavTag* transformation = reader.FindTag(tagvocab::kTransformationTag);
  for (const tav::TavTag& tag : reader.Tags()) tags.push_back(DescribeTag(tag, transformation));
  out["tags"] = std::move(tags);

  const PixelStats stats = CountPixels(reader);
  Json pixels;
  pixels["set"] = stats.set;
  pixels["total"] = stats.total;
  pixels["share"] = stats.total == 0 ? 0.0 : static_cast<double>(stats.set) / stats.total;
  if (stats.any) {
    pixels["bounding_box"] = {{"left", stats.left},
                              {"top", stats.top},
                              {"right", stats.right},
                              {"bottom", stats.bottom}};
  } else {
    pixels["bounding_box"] = nullptr;
  }
  out["pixels"] = std::move(pixels);
  out["coverage"] = CoverageJson(CoverageOf(reader, stats));
  return out;
}

Json DescribeFailure(const std::string& path, const std::string& error) {
  return {{"file", path}, {"error", error}};
}

std::string DumpJson(const Json& value, int indent) {
  // ASCII only: no character of a tag or file name can reach a terminal as
  // a control sequence.
  return value.dump(indent, ' ', true, Json::error_handler_t::replace);
}

}  // namespace tavinfo
