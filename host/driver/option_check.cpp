// option_check.cpp - the option check run between dravout_open and the jobs.
#include "driver/option_check.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string_view>

namespace riphost {

const DravOptionDecl kHostParameters[] = {
    {"JOB_MBOT", DRAV_OPT_REAL},
    {"JOB_MLFT", DRAV_OPT_REAL},
    {"SCALE", DRAV_OPT_STRING},
    {"ROT", DRAV_OPT_INTEGER},
    {"SHREXP", DRAV_OPT_STRING},
    {"T", DRAV_OPT_INTEGER},
    {"SCRDEBUG", DRAV_OPT_INTEGER},
    {"dravout_addpngpreview", DRAV_OPT_INTEGER},
    {"dravout_outputpagepngpreview", DRAV_OPT_INTEGER},
    {"dravout_resolutionpngpreview", DRAV_OPT_INTEGER},
    {"outputpage", DRAV_OPT_INTEGER},
    {"RES", DRAV_OPT_REAL},
    {kDeviceDirKey, DRAV_OPT_STRING},
    {kOutDirKey, DRAV_OPT_STRING},
    {kJobNameKey, DRAV_OPT_STRING},
    {nullptr, 0},
};

namespace {

// Guards against a list that lacks its closing entry.
constexpr int kMaxDeclared = 100000;

// The declared type of key, or 0 when neither list has it.
int declared_type(const DravOptionDecl* merged, const std::string& key) {
  if (merged) {
    for (int i = 0; i < kMaxDeclared && merged[i].key; ++i) {
      if (iequals(merged[i].key, key)) return merged[i].type;
    }
  }
  for (const DravOptionDecl* entry = kHostParameters; entry->key; ++entry) {
    if (iequals(entry->key, key)) return entry->type;
  }
  return 0;
}

// Why value does not suit type, or "" when it does.
std::string mismatch(const OptionValue& value, int type) {
  const auto* integer = std::get_if<std::int64_t>(&value);
  const auto* real = std::get_if<double>(&value);
  switch (type) {
    case DRAV_OPT_REAL:
      return (integer || real) ? "" : "a real, found a text";
    case DRAV_OPT_INTEGER:
      if (integer) return (*integer < INT_MIN || *integer > INT_MAX) ? "an integer, found one out of range" : "";
      if (real) {
        if (*real != std::trunc(*real)) return "an integer, found a fraction (" + format_real(*real) + ")";
        return (*real < INT_MIN || *real > INT_MAX) ? "an integer, found one out of range" : "";
      }
      return "an integer, found a text";
    case DRAV_OPT_STRING:
      return std::holds_alternative<std::string>(value) ? "" : "a text, found a number";
    default:
      return "";  // a type this host does not know: any value is passed on
  }
}

// Lower-cases one ASCII letter; other bytes are returned unchanged.
char ascii_lower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Edits (insert, delete, replace, swap two neighbours) that turn a into b,
// without regard to ASCII case; stops counting above limit.
std::size_t edit_distance(std::string_view a, std::string_view b, std::size_t limit) {
  std::size_t difference = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
  if (difference > limit) return limit + 1;
  // Three rows of the table: two back, one back, this one.
  std::vector<std::size_t> before(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      bool same = ascii_lower(a[i - 1]) == ascii_lower(b[j - 1]);
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (same ? 0 : 1)});
      if (i > 1 && j > 1 && ascii_lower(a[i - 1]) == ascii_lower(b[j - 2]) &&
          ascii_lower(a[i - 2]) == ascii_lower(b[j - 1])) {
        current[j] = std::min(current[j], before[j - 2] + 1);
      }
    }
    std::swap(before, previous);
    std::swap(previous, current);
  }
  return previous[b.size()];
}

// Closest suggestion so far.
struct Suggestion {
  const char* key = nullptr;
  std::size_t distance = 0;
};

// Takes candidate when it is closer to key than the best so far and close
// enough to be a likely slip: at most two edits, and at most one per three
// characters of the longer name.
void consider(std::string_view key, const char* candidate, Suggestion& best) {
  std::size_t longer = std::max(key.size(), std::string_view(candidate).size());
  std::size_t limit = std::min<std::size_t>(2, longer / 3);
  if (limit == 0) return;
  std::size_t distance = edit_distance(key, candidate, limit);
  if (distance > limit) return;
  if (!best.key || distance < best.distance) best = Suggestion{candidate, distance};
}

// The place that holds an option: "jobs[0].options" for "jobs[0].options.X".
std::string holder(const OptionEntry& entry) {
  std::string suffix = "." + entry.key;
  const std::string& where = entry.where;
  if (where.size() > suffix.size() && where.compare(where.size() - suffix.size(), suffix.size(), suffix) == 0) {
    return where.substr(0, where.size() - suffix.size());
  }
  return where;
}

// Checks the options of one level and appends the problems.
void check_set(const OptionSet& options, const DravOptionDecl* merged, std::vector<std::string>& problems) {
  for (const OptionEntry& entry : options.entries()) {
    int type = declared_type(merged, entry.key);
    if (type == 0) {
      std::string problem = holder(entry) + ": unknown option \"" + entry.key + "\"";
      std::string suggestion = nearest_option(entry.key, merged);
      if (!suggestion.empty()) problem += " (did you mean " + suggestion + "?)";
      problems.push_back(std::move(problem));
      continue;
    }
    std::string why = mismatch(entry.value, type);
    if (!why.empty()) problems.push_back(entry.where + ": " + entry.key + " expects " + why);
  }
}

}  // namespace

// The closest of the merged list, then of the host's table.
std::string nearest_option(std::string_view key, const DravOptionDecl* merged) {
  Suggestion best;
  if (merged) {
    for (int i = 0; i < kMaxDeclared && merged[i].key; ++i) consider(key, merged[i].key, best);
  }
  for (const DravOptionDecl* entry = kHostParameters; entry->key; ++entry) {
    // The keys riphost sets itself are never the ticket's to give.
    if (iequals(entry->key, kDeviceDirKey) || iequals(entry->key, kOutDirKey) || iequals(entry->key, kJobNameKey)) {
      continue;
    }
    consider(key, entry->key, best);
  }
  return best.key ? std::string(best.key) : std::string();
}

// Walks every level of the ticket.
std::vector<std::string> check_options(const Ticket& ticket, const DravOptionDecl* merged) {
  std::vector<std::string> problems;
  check_set(ticket.options, merged, problems);
  for (const Job& job : ticket.jobs) {
    check_set(job.options, merged, problems);
    for (const Page& page : job.pages) {
      check_set(page.options, merged, problems);
      for (const Separation& separation : page.separations) check_set(separation.options, merged, problems);
    }
  }
  return problems;
}

}  // namespace riphost
