// option_value.h - job option values as the ticket gives them, and ordered
// option sets looked up without regard to case.
#ifndef RIPHOST_OPTION_VALUE_H
#define RIPHOST_OPTION_VALUE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace riphost {

// An option's value: a JSON integer, a JSON real or a text.
using OptionValue = std::variant<std::int64_t, double, std::string>;

// One option with the place in the ticket where it was given
// (e.g. "jobs[0].options.LEFT").
struct OptionEntry {
  std::string key;
  OptionValue value;
  std::string where;
};

// Compares two texts without regard to ASCII case, independent of the locale.
bool iequals(std::string_view a, std::string_view b) noexcept;

// The options of one level (ticket, job, page or separation), in ticket order.
class OptionSet {
 public:
  // Adds an option; throws HostError when the set already holds the key
  // (compared without regard to case).
  void add(std::string key, OptionValue value, std::string where);
  // The entry whose key equals key without regard to case, or null.
  const OptionEntry* find(std::string_view key) const noexcept;
  const std::vector<OptionEntry>& entries() const noexcept { return entries_; }

 private:
  std::vector<OptionEntry> entries_;
};

// "an integer", "a real" or "a text".
const char* value_kind_name(const OptionValue& value) noexcept;

// Formats a real in the "C" locale, shortest form that reads back exactly.
std::string format_real(double value);

// Formats a value for a message: numbers as numbers, texts in double quotes.
std::string format_value(const OptionValue& value);

}  // namespace riphost

#endif  // RIPHOST_OPTION_VALUE_H
