// ticket_values.cpp - JSON value checks that name the value's place in the
// ticket.
#include "ticket/ticket_values.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "ticket/option_value.h"

namespace riphost::reading {

std::string place(const std::string& where, std::string_view key) {
  return where.empty() ? std::string(key) : where + "." + std::string(key);
}

std::string place(const std::string& where, std::string_view key, std::size_t index) {
  return place(where, key) + "[" + std::to_string(index) + "]";
}

const char* json_kind(const Json& value) {
  switch (value.type()) {
    case Json::value_t::string: return "a text";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: return "an integer";
    case Json::value_t::number_float: return "a real";
    case Json::value_t::object: return "an object";
    case Json::value_t::array: return "a list";
    case Json::value_t::boolean: return "true or false";
    case Json::value_t::null: return "null";
    default: return "an unusable value";
  }
}

void require_object(const Json& value, const std::string& where) {
  if (!value.is_object()) throw HostError(where + ": expected an object, found " + json_kind(value));
}

void require_list(const Json& value, const std::string& where) {
  if (!value.is_array()) throw HostError(where + ": expected a list, found " + json_kind(value));
  if (value.empty()) throw HostError(where + ": the list is empty");
}

void check_keys(const Json& object, const std::string& where, const std::vector<std::string>& allowed,
                Problems& problems) {
  for (const auto& [key, value] : object.items()) {
    if (std::find(allowed.begin(), allowed.end(), key) != allowed.end()) continue;
    std::string list;
    for (const std::string& name : allowed) list += (list.empty() ? "" : ", ") + name;
    problems.add(place(where, key) + ": unknown key (expected one of: " + list + ")");
  }
}

const Json* member(const Json& object, const char* key) {
  auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

const Json& required(const Json& object, const std::string& where, const char* key) {
  const Json* value = member(object, key);
  if (!value) throw HostError(place(where, key) + ": missing");
  return *value;
}

// Compares in long double, which holds every 64-bit integer exactly.
long long to_integer(const Json& value, const std::string& where, long long low, long long high) {
  long double number;
  if (value.is_number_unsigned()) {
    number = static_cast<long double>(value.get<std::uint64_t>());
  } else if (value.is_number_integer()) {
    number = static_cast<long double>(value.get<std::int64_t>());
  } else if (value.is_number_float()) {
    double real = value.get<double>();
    if (real != std::trunc(real)) throw HostError(where + ": expected an integer, found " + format_real(real));
    number = real;
  } else {
    throw HostError(where + ": expected an integer, found " + json_kind(value));
  }
  if (number < low || number > high) {
    throw HostError(where + ": must be between " + std::to_string(low) + " and " + std::to_string(high));
  }
  return static_cast<long long>(number);
}

int to_int(const Json& value, const std::string& where, long long low, long long high) {
  return static_cast<int>(to_integer(value, where, low, high));
}

double to_positive_real(const Json& value, const std::string& where, double high) {
  if (!value.is_number()) throw HostError(where + ": expected a number, found " + json_kind(value));
  double real = value.get<double>();
  if (!(real > 0.0) || real > high) {
    throw HostError(where + ": must be greater than 0 and at most " + format_real(high));
  }
  return real;
}

double to_angle(const Json& value, const std::string& where) {
  if (!value.is_number()) throw HostError(where + ": expected a number, found " + json_kind(value));
  const double degrees = value.get<double>();
  if (!(degrees >= -360.0 && degrees <= 360.0)) throw HostError(where + ": must be between -360 and 360 degrees");
  return degrees;
}

std::string to_text(const Json& value, const std::string& where) {
  if (!value.is_string()) throw HostError(where + ": expected a text, found " + json_kind(value));
  std::string text = value.get<std::string>();
  if (text.empty()) throw HostError(where + ": empty text");
  if (text.size() > kMaxText) {
    throw HostError(where + ": text of " + std::to_string(text.size()) + " bytes; at most " +
                    std::to_string(kMaxText) + " are allowed");
  }
  if (text.find('\0') != std::string::npos) throw HostError(where + ": text contains a zero byte");
  return text;
}

std::string to_optional_text(const Json& value, const std::string& where) {
  if (value.is_string() && value.get_ref<const std::string&>().empty()) return std::string();
  return to_text(value, where);
}

}  // namespace riphost::reading
