// free_space.cpp - a page's plates against the output folder's free space.
#include "driver/free_space.h"

#include <sys/statvfs.h>

#include <cerrno>
#include <charconv>
#include <limits>

#include "drav_host.h"

namespace riphost {

namespace {

bool same_text(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The most a compression shrinks data: PackBits codes 128 equal bytes in 2,
// Deflate at most 258 bytes in 2 bits (1032 to 1).
std::uint64_t largest_ratio(PlateCompression compression) {
  switch (compression) {
    case PlateCompression::None: return 1;
    case PlateCompression::PackBits: return 64;
    case PlateCompression::Deflate: return 1032;
  }
  return 1;
}

std::uint64_t saturating_multiply(std::uint64_t a, std::uint64_t b) {
  if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a) return std::numeric_limits<std::uint64_t>::max();
  return a * b;
}

}  // namespace

PlateFormat plate_format(std::string_view oformat, std::string_view ocompress) {
  PlateFormat format;
  if (same_text(oformat, "FW88B")) format.bits_per_pixel = 8;
  if (same_text(oformat, "FW16B")) format.bits_per_pixel = 16;
  if (same_text(ocompress, "NONE")) format.compression = PlateCompression::None;
  if (same_text(ocompress, "SUN")) format.compression = PlateCompression::PackBits;
  return format;
}

DiskNeed page_disk_need(std::int64_t width, std::int64_t height, std::size_t plates, const PlateFormat& format) {
  if (width <= 0 || height <= 0 || plates == 0) return {};
  const std::uint64_t row_bytes = (static_cast<std::uint64_t>(width) * format.bits_per_pixel + 7) / 8;
  const std::uint64_t raster = saturating_multiply(row_bytes, static_cast<std::uint64_t>(height));
  DiskNeed need;
  need.least = saturating_multiply(raster / largest_ratio(format.compression), plates);
  need.most = saturating_multiply(raster, plates);
  return need;
}

std::optional<std::uint64_t> free_bytes(const std::filesystem::path& folder) {
  // A folder still to be made gets the space of its nearest existing parent.
  for (std::filesystem::path at = folder; !at.empty(); at = at.parent_path()) {
    struct statvfs facts {};
    if (::statvfs(at.c_str(), &facts) == 0) return saturating_multiply(facts.f_bavail, facts.f_frsize);
    if (errno != ENOENT || at == at.parent_path()) break;
  }
  return std::nullopt;
}

PlateFormat plate_format(const OptionStore& options) {
  char oformat[DRAV_OPTION_TEXT_SIZE] = {};
  char ocompress[DRAV_OPTION_TEXT_SIZE] = {};
  options.get_string("OFORMAT", oformat);
  options.get_string("OCOMPRESS", ocompress);
  return plate_format(oformat, ocompress);
}

bool check_page_space(const std::string& where, std::int64_t width, std::int64_t height, std::size_t plates,
                      const PlateFormat& format, const std::filesystem::path& folder, MessageSink& sink) {
  const std::optional<std::uint64_t> free = free_bytes(folder);
  if (!free) return true;  // nothing to judge by: the writer reports a full disk itself
  const SpaceVerdict verdict = judge_space(page_disk_need(width, height, plates, format), *free, plates, folder);
  if (!verdict.refusal.empty()) {
    sink.error("%s: %s", where.c_str(), verdict.refusal.c_str());
    return false;
  }
  return true;
}

std::string byte_count(std::uint64_t bytes) {
  static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
  if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  double value = static_cast<double>(bytes);
  std::size_t unit = 0;
  for (value /= 1000.0; value >= 1000.0 && unit + 1 < std::size(kUnits); ++unit) value /= 1000.0;
  char text[32] = {};
  const auto end = std::to_chars(text, text + sizeof text - 1, value, std::chars_format::fixed, value < 10.0 ? 2 : 1);
  return std::string(text, end.ptr) + " " + kUnits[unit];
}

SpaceVerdict judge_space(const DiskNeed& need, std::uint64_t free, std::size_t plates,
                         const std::filesystem::path& folder) {
  SpaceVerdict verdict;
  if (need.most <= free) return verdict;
  const std::string what = plates == 1 ? "its plate" : "its " + std::to_string(plates) + " plates";
  const bool stored_raw = need.least == need.most;
  verdict.refusal = what + (plates == 1 ? " needs" : " need") + (stored_raw ? " at least " : " up to ") +
                    byte_count(need.most) + " on disk" +
                    (stored_raw ? std::string() : " (the uncompressed raster; compressed, a busy plate stays near it)") +
                    ", more than the " + byte_count(free) + " free in the output folder " + folder.string() +
                    "; the page is not started (free some space, or use a lower resolution or a smaller page)";
  return verdict;
}

}  // namespace riphost
