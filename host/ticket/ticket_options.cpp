// ticket_options.cpp - reading the option values of the ticket's levels.
#include "ticket/ticket_options.h"

#include <cstdint>
#include <limits>

#include "ticket/ticket.h"

namespace riphost::reading {

namespace {

// One option of a level, added to options.
void read_option(const std::string& key, const Json& item, const std::string& where, OptionSet& options) {
  std::string at = place(where, key);
  if (key.empty()) throw HostError(where + ": option with an empty name");
  if (iequals(key, kDeviceDirKey)) throw HostError(at + ": set by riphost from the ticket's \"device\"");
  if (iequals(key, kOutDirKey)) throw HostError(at + ": set by riphost from the ticket's \"output\"");
  if (iequals(key, kJobNameKey)) throw HostError(at + ": set by riphost from the job's \"name\"");
  OptionValue option;
  if (item.is_number_unsigned()) {
    std::uint64_t number = item.get<std::uint64_t>();
    if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      throw HostError(at + ": integer out of range");
    }
    option = static_cast<std::int64_t>(number);
  } else if (item.is_number_integer()) {
    option = item.get<std::int64_t>();
  } else if (item.is_number_float()) {
    option = item.get<double>();
  } else if (item.is_string()) {
    std::string text = item.get<std::string>();
    if (text.size() > kMaxText) {
      throw HostError(at + ": text of " + std::to_string(text.size()) + " bytes; options take at most " +
                      std::to_string(kMaxText));
    }
    if (text.find('\0') != std::string::npos) throw HostError(at + ": text contains a zero byte");
    option = std::move(text);
  } else {
    throw HostError(at + ": expected a number or a text, found " + json_kind(item));
  }
  options.add(key, std::move(option), at);
}

}  // namespace

OptionSet read_options(const Json& value, const std::string& where, Problems& problems) {
  OptionSet options;
  if (!problems.attempt([&] { require_object(value, where); })) return options;
  for (const auto& [key, item] : value.items()) {
    if (key == kCommentKey) continue;
    problems.attempt([&, &key = key, &item = item] { read_option(key, item, where, options); });
  }
  return options;
}

double default_ppi(const OptionSet& job_options, const OptionSet& ticket_options, const std::string& where) {
  const OptionEntry* res = job_options.find("RES");
  if (!res) res = ticket_options.find("RES");
  if (!res) return kDefaultPpi;
  double value;
  if (const auto* integer = std::get_if<std::int64_t>(&res->value)) {
    value = static_cast<double>(*integer);
  } else if (const auto* real = std::get_if<double>(&res->value)) {
    value = *real;
  } else {
    return kDefaultPpi;
  }
  if (!(value > 0.0) || value > kMaxPpi) {
    throw HostError(place(where, "ppi") + ": missing, and " + res->where + " (" + format_value(res->value) +
                    ") is no usable resolution");
  }
  return value;
}

}  // namespace riphost::reading
