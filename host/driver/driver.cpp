// driver.cpp - the calling order and failure policy of riphost.
#include "driver/driver.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>

#include "common/bitrow.h"
#include "driver/containers.h"
#include "driver/device_gamma.h"
#include "common/host_error.h"
#include "driver/job_name.h"
#include "driver/option_check.h"
#include "common/progress.h"
#include "sources/contone_source.h"
#include "sources/row_source.h"
#include "common/signals.h"
#include "driver/document_pages.h"
#include "driver/free_space.h"
#include "driver/run_report.h"
#include "sources/document/document_page.h"

namespace riphost {

// Keeps the plug-in's exports and the ticket; nothing is called yet.
Driver::Driver(const PluginApi& api, const Ticket& ticket, MessageSink& sink, bool terminal)
    : api_(api), ticket_(ticket), sink_(sink), terminal_(terminal), session_(options_, sink),
      callbacks_(make_host_callbacks()) {
  screening_.set_handle_layout(ticket.screen_handle_base, ticket.screen_handle_step);
  advice_.options = &options_;
  advice_.device_dir = ticket.device_dir;
  session_.set_advisor(&advisor_);
}

Driver::~Driver() = default;

// Opens, checks, runs every job, closes. Stop signals are noted from here
// on; the handlers stay until the plug-in is closed.
int Driver::run() {
  StopHandlers handlers;
  ScopedSession scope(session_);
  options_.set_ticket(&ticket_.options);
  options_.set_host_text(kDeviceDirKey, ticket_.device_dir.string());
  options_.set_host_text(kOutDirKey, ticket_.output_dir.string());
  int status = kExitFailed;
  if (open_plugin()) {
    try {
      status = run_jobs();
    } catch (...) {
      close_plugin();
      throw;
    }
  }
  close_plugin();
  coverage_.print_summary(sink_, ticket_.jobs.size() > 1);
  if (int sig = stop_signal(); sig != 0) {
    sink_.error("stopped by %s", stop_signal_name(sig));
    return stop_exit_status(sig);
  }
  return status == kExitOk && failed_ ? kExitFailed : status;
}

// A stop signal arrived, or Ghostscript was left on a page past its time
// limit (it holds the process' only instance): start no more work.
bool Driver::stopped() noexcept { return stop_signal() != 0 || work_left_running(); }

// The option check, then every job.
int Driver::run_jobs() {
  std::vector<std::string> problems = check_options(ticket_, static_cast<const DravOptionDecl*>(merged_options_));
  if (!problems.empty()) {
    for (const std::string& problem : problems) sink_.error("%s", problem.c_str());
    sink_.error("the ticket's options do not suit the plug-in; no job was run");
    return kExitUsage;
  }
  for (const Job& job : ticket_.jobs) {
    if (stopped()) break;
    run_job(job);
  }
  return kExitOk;
}

// Reports a non-zero status; true when the operation succeeded. Every
// status is traced (-vv).
bool Driver::succeeded(const char* operation, int status, const std::string& where) {
  sink_.trace("%s%s%s returned %d", operation, where.empty() ? "" : " for ", where.c_str(), status);
  if (status == 0) return true;
  if (where.empty()) {
    sink_.error("%s failed (status %d)", operation, status);
  } else {
    sink_.error("%s failed (status %d) in %s", operation, status, where.c_str());
  }
  failed_ = true;
  return false;
}

// dravout_open, then the device description at info level.
bool Driver::open_plugin() {
  int kind = 0;
  CDictContainer* devinfo = nullptr;
  int status = api_.open(&callbacks_, &kind, &merged_options_, &devinfo, &factory_);
  if (!succeeded("dravout_open", status, "")) return false;
  sink_.trace("the plug-in is of kind %d", kind);
  sink_.info("the output plug-in is open");
  if (!merged_options_) sink_.warning("the plug-in declared no options");
  describe_device(devinfo, sink_);
  // A RIP offers its screening hooks once the plug-in is open, before the
  // first separation.
  screening_.offer(api_.extension, &callbacks_, sink_);
  sink_.info(screening_.claimed() ? "the plug-in takes over riphost's screen selection and screening hooks: it "
                                    "records the screens and runs of each separation"
             : screening_.selection_claimed() ? "the plug-in takes riphost's screen selection hook only"
                                              : "the plug-in takes no screening hooks: riphost screens contone "
                                                "content by itself");
  return true;
}

// dravout_close; reported when it fails.
void Driver::close_plugin() {
  unload_selection();
  options_.set_separation(nullptr);
  options_.set_page(nullptr);
  succeeded("dravout_close", api_.close(), "");
}

// One job: settings, start, pages, end. Any failure ends the job.
void Driver::run_job(const Job& job) {
  advice_.job = &job;
  advice_.page = nullptr;
  try {
    options_.set_job(&job.options);
    options_.set_page(nullptr);
    options_.set_separation(nullptr);
    options_.set_host_text(kJobNameKey, job.name);
    screening_.set_screens(&job.screens);
    if (!start_job(job)) {
      end_job();
      return;
    }
    for (std::size_t i = 0; i < job.pages.size(); ++i) {
      // A document's page keeps its own number in the file names.
      const std::size_t number = job.pages[i].document ? static_cast<std::size_t>(job.pages[i].document->number) : i + 1;
      if (stopped() || !run_page(job, job.pages[i], number)) {
        end_job();
        return;
      }
    }
  } catch (const CUnivBaseException& error) {
    sink_.error("%s: cannot build a description: %s", job.where.c_str(), error.GetMessage().c_str());
    failed_ = true;
  } catch (const std::exception& error) {
    sink_.error("%s: %s", job.where.c_str(), error.what());
    failed_ = true;
  }
  end_job();
}

// dravout_jobsettings and dravout_startjob.
bool Driver::start_job(const Job& job) {
  session_.note_options(true);
  const int settings = api_.jobsettings();
  session_.note_options(false);
  if (!succeeded("dravout_jobsettings", settings, job.where)) return false;
  if (sink_.shows(Verbosity::Verbose)) describe_job_settings(job, options_, session_.asked(), sink_);
  gamma_ = job_gamma(job);
  {
    ContainerGuard container(factory_, job_description(job), "job", sink_);
    if (!succeeded("dravout_startjob", api_.startjob(container.get()), job.where)) return false;
  }
  hand_cutting_texts(job);
  if (job.bps != 1) {
    sink_.error("%s: riphost renders 1 bit per sample only, the job asks for %d", job.where.c_str(), job.bps);
    failed_ = true;
    return false;
  }
  return true;
}

// The device file's gamma at the job's resolution, for the contone content
// and document pages riphost screens (read only when the job has some); 1
// where there is none.
double Driver::job_gamma(const Job& job) {
  bool contone = false;
  for (const Page& page : job.pages) {
    contone = contone || page.document != nullptr;
    for (const Separation& separation : page.separations) {
      contone = contone || separation.source.kind == ContentSource::Kind::Contone;
    }
  }
  if (!contone || ticket_.device_dir.empty()) return 1.0;
  char config[DRAV_OPTION_TEXT_SIZE] = {};
  options_.get_string("CONF", config);
  const std::optional<double> gamma = device_gamma(ticket_.device_dir, config, job.ppi);
  if (!gamma) return 1.0;
  if (!(*gamma > 0.0)) {
    sink_.warning("%s: the device's gamma at %g ppi (%g) is not above 0: contone tones are not corrected",
                  job.where.c_str(), job.ppi, *gamma);
    return 1.0;
  }
  return *gamma;
}

// The job's cutting texts, in the ticket's order. Each is handed in a
// writable buffer of at least DRAV_PARAM_ANSWER_SIZE bytes, so that a
// plug-in that takes the key for a query cannot write past it. A text the
// plug-in does not take is a warning: the files are still written.
void Driver::hand_cutting_texts(const Job& job) {
  for (const CuttingText& cutting : job.cutting) {
    param_buffer_.assign(std::max<std::size_t>(cutting.text.size() + 1, DRAV_PARAM_ANSWER_SIZE), '\0');
    std::memcpy(param_buffer_.data(), cutting.text.data(), cutting.text.size());
    const int result = api_.get_param(cutting.key.c_str(), param_buffer_.data());
    if (result != 1) {
      sink_.warning("%s: the plug-in did not take the cutting text (dravout_get_param answered %d)",
                    cutting.where.c_str(), result);
    }
  }
}

// One page: start, separations, end. False when the job must end; a page
// left after a failed or stopped separation gets no dravout_endpage.
bool Driver::run_page(const Job& job, const Page& page, std::size_t page_number) {
  if (page.document) return run_document_page(job, page, page_number);
  advice_.page = &page;
  coverage_.start_page(job.name, page_number);
  options_.set_page(&page.options);
  options_.set_separation(nullptr);
  if (!check_page_space(page.where, page.width, page.height, page.separations.size(), plate_format(options_),
                        ticket_.output_dir, sink_)) {
    failed_ = true;
    return false;
  }
  {
    ContainerGuard container(factory_, page_description(page), "page", sink_);
    if (!succeeded("dravout_startpage", api_.startpage(container.get()), page.where)) return false;
  }
  // The tiles of the page's screens are built side by side before its
  // separations, which are screened one after another.
  const PreparedTiles tiles(contone_tile_requests(page, job.screens, job.ppi), 0, TileStop(&Driver::stopped));
  for (const Separation& separation : page.separations) {
    if (stopped()) return false;
    bool done = run_separation(job, page, page_number, separation);
    // JOBNAME names the separation's files only; the page goes on under the job's name.
    options_.set_host_text(kJobNameKey, job.name);
    if (!done) return false;
  }
  options_.set_separation(nullptr);
  if (!succeeded("dravout_endpage", api_.endpage(), page.where)) return false;
  options_.set_page(nullptr);
  return true;
}

// One separation: its source is opened before the plug-in starts a file.
// When its rows cannot all be sent the separation is abandoned: no
// dravout_endseparations, which would deliver the incomplete file as a
// finished one; the dravout_endjob that follows makes the plug-in delete it.
bool Driver::run_separation(const Job& job, const Page& page, std::size_t page_number,
                            const Separation& separation) {
  options_.set_separation(&separation.options);
  // Output files are named after the job, the page and the separation, so
  // that the files of one job tell themselves apart.
  options_.set_host_text(kJobNameKey, separation_job_name(job.name, page_number, separation.name));
  std::vector<SelectedScreen> selected;
  for (std::size_t index : separation.screens) {
    selected.push_back(SelectedScreen{job.screens.at(index), screening_.handle_of(index)});
  }
  std::unique_ptr<RowSource> source;
  try {
    if (plates_) {
      source = make_plate_source(*plates_, static_cast<std::size_t>(&separation - page.separations.data()), stopped);
    } else {
      source = make_row_source(separation.source, page.width, page.height, job.ppi, selected, gamma_);
    }
  } catch (const HostError& error) {
    sink_.error("%s: %s", separation.where.c_str(), error.what());
    failed_ = true;
    return false;
  }
  {
    ContainerGuard container(factory_, separation_description(separation), "separation", sink_);
    if (!succeeded("dravout_startseparations", api_.startseparations(container.get()), separation.where)) {
      return false;
    }
  }
  // The selection stays loaded until the plug-in is done with the file: an
  // abandoned separation is unloaded after the dravout_endjob that follows.
  const int loaded = screening_.load(separation.screens, separation.uses);
  succeeded("the screen selection's load", loaded, separation.where);
  if (source->screened() && !start_screening(separation, *source)) return false;
  if (!send_rows(job, page, page_number, separation, *source)) return false;
  sink_.trace("dravout_newscan and dravout_putscan for rows 0-%d of %s returned 0", page.height - 1,
              separation.where.c_str());
  const bool ended = succeeded("dravout_endseparations", api_.endseparations(), separation.where);
  unload_selection();
  note_ink(page, separation);
  return ended;
}

// SCR init for a separation riphost screens itself; the run callbacks the
// plug-in hands riphost go to the source. Without the hooks the source
// screens all the same, reporting its runs to nobody.
bool Driver::start_screening(const Separation& separation, RowSource& source) {
  const int status = screening_.start_screening();
  succeeded("the software screening's init", status, separation.where);
  source.set_runs(screening_.runs());
  return true;
}

// The ink share of a separation whose rows were all sent: a line with -v,
// and its part of the page's line after the run.
void Driver::note_ink(const Page& page, const Separation& separation) {
  const std::uint64_t area = static_cast<std::uint64_t>(page.width) * static_cast<std::uint64_t>(page.height);
  coverage_.add(separation.name, separation_ink_, area);
  sink_.info("%s \"%s\": ink on %.2f %% of the page (%llu of %llu pixels)", separation.where.c_str(),
             separation.name.c_str(), ink_percent(separation_ink_, area),
             static_cast<unsigned long long>(separation_ink_), static_cast<unsigned long long>(area));
}

// The SCRSEL unload slot for a loaded selection.
void Driver::unload_selection() {
  if (!screening_.loaded()) return;
  succeeded("the screen selection's unload", screening_.unload(), "");
}

// Every row in order: newscan, render, putscan. False at the first failure
// or when a stop signal arrived.
bool Driver::send_rows(const Job& job, const Page& page, std::size_t page_number, const Separation& separation,
                       RowSource& source) {
  Progress progress(sink_, terminal_, job.name + "/" + std::to_string(page_number) + "/" + separation.name,
                    page.height);
  // A screened row is rendered first, so that its runs are reported after
  // the SCR line slot and before the row is handed over.
  const bool screened = source.screened();
  const std::size_t bytes = row_bytes(page.width);
  if (screened) screened_row_.assign(bytes, 0);
  separation_ink_ = 0;
  for (int y = 0; y < page.height; ++y) {
    if (stopped()) return false;
    if (screened) {
      const int line = screening_.line(y);
      if (line != 0) {
        sink_.error("the software screening's line failed (status %d) at row %d of %s", line, y,
                    separation.where.c_str());
        failed_ = true;
        return false;
      }
      try {
        source.next_row(screened_row_.data());
      } catch (const std::exception& error) {
        sink_.error("%s: %s", separation.where.c_str(), error.what());
        failed_ = true;
        return false;
      }
    }
    ScanlineBuffer* buffer = nullptr;
    int status = api_.newscan(&buffer);
    if (status != 0) {
      sink_.error("dravout_newscan failed (status %d) at row %d of %s", status, y, separation.where.c_str());
      failed_ = true;
      return false;
    }
    if (!buffer || !buffer->data) {
      sink_.error("dravout_newscan gave no scanline buffer at row %d of %s", y, separation.where.c_str());
      failed_ = true;
      return false;
    }
    if (screened) {
      std::memcpy(buffer->data, screened_row_.data(), bytes);
    } else {
      try {
        source.next_row(buffer->data);
      } catch (const std::exception& error) {
        sink_.error("%s: %s", separation.where.c_str(), error.what());
        failed_ = true;
        return false;
      }
    }
    separation_ink_ += count_ink(buffer->data, bytes);
    status = api_.putscan(buffer);
    if (status != 0) {
      sink_.error("dravout_putscan failed (status %d) at row %d of %s", status, y, separation.where.c_str());
      failed_ = true;
      return false;
    }
    progress.update(y + 1);
  }
  return true;
}

// dravout_endjob, and the levels below the job are left.
void Driver::end_job() {
  options_.set_separation(nullptr);
  options_.set_page(nullptr);
  succeeded("dravout_endjob", api_.endjob(), "");
  unload_selection();
  // The job's documents end with it: Ghostscript stops, the spools go.
  documents_.reset();
}

}  // namespace riphost
