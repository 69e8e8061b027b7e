// plugin_check.cpp - riphost --check with the plug-in: the calls of a run
// up to the start and end of each page, without a separation, so that the
// plug-in says what it would refuse or warn about and writes nothing.
#include "driver/driver.h"

#include <optional>

#include "driver/containers.h"
#include "driver/free_space.h"
#include "driver/option_check.h"
#include "sources/document/document_page.h"
#include "sources/document/document_session.h"
#include "sources/document/ink_passes.h"

namespace riphost {

namespace {

// The most pixels a side of a document page may have.
constexpr double kMostPagePixels = 1 << 24;

// A PDF page as the run will start it: the size its box gives at the job's
// resolution, the process inks and its spot colours, their screens and its
// XMP packet. Nothing for a PostScript page (its size is known only once it
// is rendered) or one riphost cannot render at that size (a problem).
std::optional<Page> document_plate(const Job& job, const Page& page, std::vector<std::string>& problems) {
  const DocumentSpec& spec = *page.document->spec;
  if (!spec.facts || spec.facts->kind != DocumentKind::Pdf) return std::nullopt;
  const DocumentPageFacts* facts = spec.facts->page(page.document->number);
  if (!facts) return std::nullopt;
  double width = 0.0, height = 0.0;
  rendered_size(*facts, spec.box, width, height);
  const double columns = width * job.ppi / 72.0 + 0.5;
  const double rows = height * job.ppi / 72.0 + 0.5;
  if (!(columns >= 1.0 && rows >= 1.0 && columns <= kMostPagePixels && rows <= kMostPagePixels)) {
    problems.push_back(page.where + ": the page is too large to render at " + std::to_string(static_cast<long long>(job.ppi)) +
                       " ppi (more than " + std::to_string(static_cast<long long>(kMostPagePixels)) +
                       " pixels a side) or has no area");
    return std::nullopt;
  }
  PageLayout layout;
  layout.number = facts->number;
  layout.width = static_cast<int>(columns);
  layout.height = static_cast<int>(rows);
  layout.inks.assign(kProcessInks.begin(), kProcessInks.end());
  for (const std::string& spot : own_spots(facts->spots)) layout.inks.push_back(spot);
  layout.cmyk.assign(layout.inks.size(), {});
  return plate_page(page, layout, ink_screens(spec, layout), job.screens);
}

// The warnings of a document page's look (files it names but riphost does
// not read), printed.
void print_page_warnings(const Page& page, MessageSink& sink) {
  const DocumentFacts* facts = page.document->spec->facts.get();
  const DocumentPageFacts* own = facts ? facts->page(page.document->number) : nullptr;
  if (!own) return;
  for (const std::string& warning : own->warnings) sink.warning("%s", warning.c_str());
}

}  // namespace

// The plug-in's messages are collected from dravout_open to dravout_close.
void Driver::check(std::vector<std::string>& problems, bool drive_jobs, std::vector<std::string>* warnings) {
  ScopedSession scope(session_);
  options_.set_ticket(&ticket_.options);
  options_.set_host_text(kDeviceDirKey, ticket_.device_dir.string());
  options_.set_host_text(kOutDirKey, ticket_.output_dir.string());
  session_.collect_problems(&problems, warnings);
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
      for (const Job& job : ticket_.jobs) check_job(job, problems, warnings);
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
void Driver::check_job(const Job& job, std::vector<std::string>& problems, std::vector<std::string>* warnings) {
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
    std::optional<Page> plate;
    if (job.pages[i].document) {
      if (!warnings) print_page_warnings(job.pages[i], sink_);
      plate = document_plate(job, job.pages[i], problems);
      if (!plate) continue;
    }
    const Page& page = plate ? *plate : job.pages[i];
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
