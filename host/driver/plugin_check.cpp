// plugin_check.cpp - riphost --check with the plug-in: the calls of a run
// up to the start and end of each page, without a separation, so that the
// plug-in says what it would refuse or warn about and writes nothing.
#include "driver/driver.h"

#include "driver/containers.h"
#include "driver/free_space.h"
#include "driver/option_check.h"

namespace riphost {

// The plug-in's messages are collected from dravout_open to dravout_close.
void Driver::check(std::vector<std::string>& problems, bool drive_jobs) {
  ScopedSession scope(session_);
  options_.set_ticket(&ticket_.options);
  options_.set_host_text(kDeviceDirKey, ticket_.device_dir.string());
  options_.set_host_text(kOutDirKey, ticket_.output_dir.string());
  session_.collect_problems(&problems);
  session_.set_place("plug-in");
  int kind = 0;
  CDictContainer* devinfo = nullptr;
  std::size_t before = problems.size();
  const int opened = api_.open(&callbacks_, &kind, &merged_options_, &devinfo, &factory_);
  if (check_call("dravout_open", opened, "plug-in", problems, before)) {
    std::vector<std::string> found = check_options(ticket_, static_cast<const DravOptionDecl*>(merged_options_));
    problems.insert(problems.end(), found.begin(), found.end());
    // Unknown options would reach the plug-in as absent: its settings say
    // nothing then.
    if (found.empty() && drive_jobs) {
      for (const Job& job : ticket_.jobs) check_job(job, problems);
    }
  }
  session_.set_place("plug-in");
  options_.set_page(nullptr);
  options_.set_job(nullptr);
  before = problems.size();
  check_call("dravout_close", api_.close(), "plug-in", problems, before);
  session_.collect_problems(nullptr);
}

// A page whose plates cannot fit the output folder's free space is a
// problem, as it would be refused when it starts.
void Driver::check_space(const Page& page, std::vector<std::string>& problems) {
  const std::optional<std::uint64_t> free = free_bytes(ticket_.output_dir);
  if (!free) return;
  const std::size_t plates = page.separations.size();
  const DiskNeed need = page_disk_need(page.width, page.height, plates, plate_format(options_));
  const SpaceVerdict verdict = judge_space(need, *free, plates, ticket_.output_dir);
  if (!verdict.refusal.empty()) problems.push_back(page.where + ": " + verdict.refusal);
}

// A refused job ends there; every page of an accepted one is tried, so that
// each page the film cannot take is named.
void Driver::check_job(const Job& job, std::vector<std::string>& problems) {
  options_.set_job(&job.options);
  options_.set_page(nullptr);
  options_.set_separation(nullptr);
  options_.set_host_text(kJobNameKey, job.name);
  advice_.job = &job;
  advice_.page = nullptr;
  session_.set_place(job.where);
  std::size_t before = problems.size();
  bool started = check_call("dravout_jobsettings", api_.jobsettings(), job.where, problems, before);
  if (started) {
    before = problems.size();
    ContainerGuard container(factory_, job_description(job), "job", sink_);
    started = check_call("dravout_startjob", api_.startjob(container.get()), job.where, problems, before);
  }
  for (std::size_t i = 0; started && i < job.pages.size(); ++i) {
    const Page& page = job.pages[i];
    // A document's page has its size only once Ghostscript has read it;
    // the document's own check stands for it.
    if (page.document) continue;
    options_.set_page(&page.options);
    advice_.page = &page;
    session_.set_place(page.where);
    check_space(page, problems);
    before = problems.size();
    int status = 0;
    {
      ContainerGuard container(factory_, page_description(page), "page", sink_);
      status = api_.startpage(container.get());
    }
    if (check_call("dravout_startpage", status, page.where, problems, before)) {
      before = problems.size();
      check_call("dravout_endpage", api_.endpage(), page.where, problems, before);
    }
  }
  options_.set_page(nullptr);
  advice_.page = nullptr;
  session_.set_place(job.where);
  before = problems.size();
  check_call("dravout_endjob", api_.endjob(), job.where, problems, before);
}

// A refusal the plug-in gave no message for becomes a problem of its own;
// true when the call succeeded.
bool Driver::check_call(const char* operation, int status, const std::string& where,
                        std::vector<std::string>& problems, std::size_t before) {
  sink_.trace("%s for %s returned %d", operation, where.c_str(), status);
  if (status == 0) return true;
  if (problems.size() == before) {
    problems.push_back(where + ": the plug-in refuses it (" + operation + " answered " + std::to_string(status) +
                       ")");
  }
  return false;
}

}  // namespace riphost
