// document_limits.cpp - the limits' defaults, reading and wording.
#include "sources/document/document_limits.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "common/host_error.h"

namespace riphost {

namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
// Below this Ghostscript cannot even start.
constexpr std::uint64_t kLeastMemory = 64 * kMiB;
constexpr double kMostSeconds = 1e7;

// Bytes per unit of a size's suffix (K, M, G, T; KiB..., KB... alike); 0
// when the suffix is none of them.
std::uint64_t unit_of(std::string_view suffix) {
  if (suffix.empty()) return 1;
  std::string unit;
  for (char c : suffix) unit += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (unit.size() == 3 && unit[1] == 'I' && unit[2] == 'B') unit.resize(1);
  if (unit.size() == 2 && unit[1] == 'B') unit.resize(1);
  if (unit == "K") return std::uint64_t{1} << 10;
  if (unit == "M") return std::uint64_t{1} << 20;
  if (unit == "G") return std::uint64_t{1} << 30;
  if (unit == "T") return std::uint64_t{1} << 40;
  return 0;
}

std::uint64_t memory_size(std::string_view text) {
  double value = 0.0;
  const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
  const std::uint64_t unit = problem == std::errc() ? unit_of(text.substr(static_cast<std::size_t>(end - text.data())))
                                                     : 0;
  const double bytes = value * static_cast<double>(unit);
  if (unit == 0 || !(bytes >= static_cast<double>(kLeastMemory)) || !(bytes < 0x1p62)) {
    throw HostError("--memory-limit: \"" + std::string(text) + "\" is not a size of at least 64M (e.g. 512M, 4G)");
  }
  return static_cast<std::uint64_t>(bytes);
}

double seconds_of(std::string_view text) {
  double value = 0.0;
  const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (problem != std::errc() || end != text.data() + text.size() || !(value > 0.0) || !(value <= kMostSeconds)) {
    throw HostError("--page-time-limit: \"" + std::string(text) + "\" is not a number of seconds above 0");
  }
  return value;
}

std::string number_text(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 4);
  return std::string(text, result.ptr);
}

}  // namespace

std::uint64_t default_memory_limit() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return 4096 * kMiB;
  const std::uint64_t physical = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
  return std::max(physical / 2, 4 * kLeastMemory);
}

DocumentLimits document_limits(std::string_view memory, std::string_view seconds) {
  DocumentLimits limits;
  limits.memory_bytes = memory.empty() ? default_memory_limit() : memory_size(memory);
  limits.page_seconds = seconds.empty() ? 0.0 : seconds_of(seconds);
  return limits;
}

std::string memory_option(std::uint64_t bytes) {
  return "-K" + std::to_string(std::max<std::uint64_t>(bytes >> 10, 1));
}

std::string memory_text(std::uint64_t bytes) {
  const double gib = static_cast<double>(bytes) / static_cast<double>(std::uint64_t{1} << 30);
  if (gib >= 1.0) return number_text(std::round(gib * 10.0) / 10.0) + " GiB";
  return number_text(std::round(static_cast<double>(bytes) / static_cast<double>(kMiB))) + " MiB";
}

std::string seconds_text(double seconds) { return number_text(seconds) + " s"; }

}  // namespace riphost
