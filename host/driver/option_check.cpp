// option_check.cpp - the option check run between dravout_open and the jobs.
#include "driver/option_check.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string_view>

#include "common/nearest_name.h"

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
  NearestName nearest(key);
  if (merged) {
    for (int i = 0; i < kMaxDeclared && merged[i].key; ++i) nearest.consider(merged[i].key);
  }
  for (const DravOptionDecl* entry = kHostParameters; entry->key; ++entry) {
    // The keys riphost sets itself are never the ticket's to give.
    if (iequals(entry->key, kDeviceDirKey) || iequals(entry->key, kOutDirKey) || iequals(entry->key, kJobNameKey)) {
      continue;
    }
    nearest.consider(entry->key);
  }
  return std::string(nearest.best());
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
