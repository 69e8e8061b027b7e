// option_value.cpp - option values and case-insensitive option sets.
#include "ticket/option_value.h"

#include <charconv>
#include <cmath>

#include "common/host_error.h"

namespace riphost {

namespace {

// Lower-cases one ASCII letter; other bytes are returned unchanged.
char ascii_lower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

// Compares two texts without regard to ASCII case.
bool iequals(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

// Adds an option, refusing a key the set already holds in any case.
void OptionSet::add(std::string key, OptionValue value, std::string where) {
  if (const OptionEntry* other = find(key)) {
    throw HostError(where + ": option given twice (also as " + other->where + ")");
  }
  entries_.push_back(OptionEntry{std::move(key), std::move(value), std::move(where)});
}

// Finds an entry by key without regard to case.
const OptionEntry* OptionSet::find(std::string_view key) const noexcept {
  for (const OptionEntry& entry : entries_) {
    if (iequals(entry.key, key)) return &entry;
  }
  return nullptr;
}

// Names the kind of a value for messages.
const char* value_kind_name(const OptionValue& value) noexcept {
  switch (value.index()) {
    case 0: return "an integer";
    case 1: return "a real";
    default: return "a text";
  }
}

// Formats a real with std::to_chars (locale-independent, round-trip exact);
// whole numbers of moderate size are written without an exponent.
std::string format_real(double value) {
  char buffer[64];
  bool whole = value == std::trunc(value) && std::fabs(value) < 1e15;
  auto [end, ec] = whole ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
                         : std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) return "?";
  return std::string(buffer, end);
}

// Formats a value for a message.
std::string format_value(const OptionValue& value) {
  if (const auto* integer = std::get_if<std::int64_t>(&value)) return std::to_string(*integer);
  if (const auto* real = std::get_if<double>(&value)) return format_real(*real);
  return "\"" + std::get<std::string>(value) + "\"";
}

}  // namespace riphost
