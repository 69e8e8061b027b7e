// ticket_values.h - the ticket reader's building blocks, shared by its files
// and private to host/ticket: the place of a value in the ticket, checks of
// JSON values that name that place in their message, and the collection of
// every problem found.
#ifndef RIPHOST_TICKET_VALUES_H
#define RIPHOST_TICKET_VALUES_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/host_error.h"
#include "drav_host.h"

namespace riphost::reading {

using Json = nlohmann::ordered_json;

// Longest text option and name: get_string_option writes them with their zero.
inline constexpr std::size_t kMaxText = DRAV_OPTION_TEXT_SIZE - 1;

// The key every object may carry for the reader's benefit; its value is ignored.
inline constexpr const char* kCommentKey = "comment";

// The place of key inside where, e.g. "jobs[0]" + "ppi" -> "jobs[0].ppi".
std::string place(const std::string& where, std::string_view key);

// The place of element index of the list key inside where.
std::string place(const std::string& where, std::string_view key, std::size_t index);

// Names the kind of a JSON value for messages ("a text", "a list", ...).
const char* json_kind(const Json& value);

// Refuses a value that is not an object.
void require_object(const Json& value, const std::string& where);

// Refuses a value that is not a non-empty list.
void require_list(const Json& value, const std::string& where);

// Collects the problems of one ticket check.
class Problems {
 public:
  explicit Problems(std::vector<std::string>& list) noexcept : list_(list) {}

  void add(std::string problem) { list_.push_back(std::move(problem)); }

  // Runs step; a HostError it throws becomes a problem. True when the step
  // went through.
  template <typename Step>
  bool attempt(Step&& step) {
    try {
      step();
      return true;
    } catch (const TicketError& error) {
      for (const std::string& problem : error.problems()) add(problem);
    } catch (const HostError& error) {
      add(error.what());
    }
    return false;
  }

 private:
  std::vector<std::string>& list_;
};

// Reports every key of object outside allowed.
void check_keys(const Json& object, const std::string& where, const std::vector<std::string>& allowed,
                Problems& problems);

// The member key of object, or null.
const Json* member(const Json& object, const char* key);

// The member key of object; throws when it is missing.
const Json& required(const Json& object, const std::string& where, const char* key);

// An integer within [low, high]; an integral real is taken too.
long long to_integer(const Json& value, const std::string& where, long long low, long long high);

// An int within [low, high].
int to_int(const Json& value, const std::string& where, long long low, long long high);

// A real in (0, high].
double to_positive_real(const Json& value, const std::string& where, double high);

// An angle: a number from -360 to 360 degrees.
double to_angle(const Json& value, const std::string& where);

// A text of 1 to kMaxText bytes without zero bytes.
std::string to_text(const Json& value, const std::string& where);

// A text of 0 to kMaxText bytes without zero bytes.
std::string to_optional_text(const Json& value, const std::string& where);

// Hands each item of a list of at most max_items entries to read, with its
// place; a value that is no such list (or an empty one, unless it may be)
// is one problem and reads nothing. what names the entries in the message.
template <typename Read>
void read_list(const Json& value, const std::string& where, const char* what, std::size_t max_items,
               bool may_be_empty, Problems& problems, Read&& read) {
  const bool list = problems.attempt([&] {
    if (!(may_be_empty && value.is_array())) require_list(value, where);
  });
  if (!list) return;
  if (value.size() > max_items) {
    problems.add(where + ": more than " + std::to_string(max_items) + " " + what);
    return;
  }
  for (std::size_t i = 0; i < value.size(); ++i) read(value[i], where + "[" + std::to_string(i) + "]");
}

}  // namespace riphost::reading

#endif  // RIPHOST_TICKET_VALUES_H
