// driver_query.cpp - --query: the plug-in opened (and the ticket's first
// job started, when there is one), the keys asked through dravout_get_param
// in their order, then closed again; no page is run.
#include <cstring>
#include <string>
#include <vector>

#include "common/host_error.h"
#include "common/signals.h"
#include "driver/containers.h"
#include "driver/driver.h"
#include "driver/option_check.h"

namespace riphost {

// As run(), but the keys are asked instead of running the jobs.
int Driver::query(const std::vector<QueryKey>& keys) {
  ScopedSession scope(session_);
  options_.set_ticket(&ticket_.options);
  if (!ticket_.device_dir.empty()) options_.set_host_text(kDeviceDirKey, ticket_.device_dir.string());
  if (!ticket_.output_dir.empty()) options_.set_host_text(kOutDirKey, ticket_.output_dir.string());
  int status = kExitFailed;
  if (open_plugin()) {
    try {
      status = query_job(keys);
    } catch (...) {
      close_plugin();
      throw;
    }
  }
  close_plugin();
  return status == kExitOk && failed_ ? kExitFailed : status;
}

// The first job started (when there is one), the keys, its end.
int Driver::query_job(const std::vector<QueryKey>& keys) {
  const Job* job = ticket_.jobs.empty() ? nullptr : &ticket_.jobs.front();
  if (job) {
    std::vector<std::string> problems = check_options(ticket_, static_cast<const DravOptionDecl*>(merged_options_));
    if (!problems.empty()) {
      for (const std::string& problem : problems) sink_.error("%s", problem.c_str());
      sink_.error("the ticket's options do not suit the plug-in; nothing was asked");
      return kExitUsage;
    }
    options_.set_job(&job->options);
    options_.set_host_text(kJobNameKey, job->name);
    screening_.set_screens(&job->screens);
    try {
      start_job(*job);
    } catch (const CUnivBaseException& error) {
      sink_.error("%s: cannot build a description: %s", job->where.c_str(), error.GetMessage().c_str());
      failed_ = true;
    }
  }
  bool answered = true;
  for (const QueryKey& key : keys) answered = ask(key) && answered;
  if (job) end_job();
  return answered ? kExitOk : kExitFailed;
}

// One dravout_get_param call and its answer. The buffer is one byte larger
// than the plug-in may fill, so that an answer without its zero still ends.
bool Driver::ask(const QueryKey& query) {
  const char* key = query.key.c_str();
  if (query.hands_text) {
    param_buffer_.assign(std::max<std::size_t>(query.text.size() + 1, DRAV_PARAM_ANSWER_SIZE), '\0');
    std::memcpy(param_buffer_.data(), query.text.data(), query.text.size());
    const int result = api_.get_param(key, param_buffer_.data());
    sink_.answer("%s: %s", key, result == 1 ? "yes" : "no");
    return result == 1;
  }
  param_buffer_.assign(DRAV_PARAM_ANSWER_SIZE + 1, '\0');
  const int result = api_.get_param(key, param_buffer_.data());
  if (result != 1) {
    sink_.error("no answer for \"%s\" (dravout_get_param answered %d)", key, result);
    return false;
  }
  if (iequals(query.key, "left")) {
    std::int32_t value = 0;
    std::memcpy(&value, param_buffer_.data(), sizeof value);
    sink_.answer("%s: %d", key, static_cast<int>(value));
  } else {
    param_buffer_[DRAV_PARAM_ANSWER_SIZE] = '\0';
    sink_.answer("%s: %s", key, param_buffer_.data());
    if (iequals(query.key, "outputdevice_resolutionlist")) {
      const char* range = std::strrchr(param_buffer_.data(), '|');
      sink_.info("the resolutions are those of every configuration of the device file; the last entry, %s, is "
                 "the range the plug-in adds: 0.75 times the lowest to 1.25 times the highest",
                 range ? range + 1 : param_buffer_.data());
    }
  }
  return true;
}

}  // namespace riphost
