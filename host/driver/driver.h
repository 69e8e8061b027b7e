// driver.h - running a checked ticket through a loaded plug-in.
//
// Room host/driver/: everything that faces the plug-in: loading it and its
// 13 exports (plugin_loader), the host callbacks and option lookup it calls
// back (host_callbacks, option_store, option_check), the descriptions it is
// handed (containers), the file names of a job (job_name), and the calling
// order itself (this header). It may call common, ticket (the checked
// ticket it runs), sources (each separation's rows) and screening (the
// hooks it offers); cli calls it.
//
// Calling order: dravout_open (then the screening hooks are offered); the
// option check; per job dravout_jobsettings and dravout_startjob, then the
// job's cutting texts through dravout_get_param; per page
// dravout_startpage; per separation dravout_startseparations, the SCRSEL
// load slot with the separation's screen selection, for contone content the
// SCR init slot, then for every row in order (for contone content the SCR
// line slot and the row's runs first) dravout_newscan / dravout_putscan,
// then dravout_endseparations and the SCRSEL unload slot; dravout_endpage
// after the page; dravout_endjob after the job; dravout_close at the end.
// The hook slots are only called when the plug-in claimed the hooks.
//
// Failure policy: every non-zero status is reported and makes the run fail.
// A failed jobsettings, startjob, startpage, startseparations, endseparations
// or endpage ends the job: riphost calls dravout_endjob and goes on with the
// next job. A failed newscan or putscan, or a row the host cannot render,
// abandons the separation: riphost calls neither dravout_endseparations nor
// dravout_endpage for it, since they would deliver an incomplete file, and
// ends the job with dravout_endjob, which makes the plug-in delete the
// unfinished file; the separation's selection is unloaded right after that
// dravout_endjob (after a failed dravout_endseparations, right after it).
// dravout_close runs whenever dravout_open was called, also after a failed
// open, so that the plug-in can release what it started.
//
// Stop signals: SIGINT, SIGTERM and SIGHUP are noted during the run (see
// signals.h) and looked at before every row, separation, page and job. A
// stopped run abandons the open separation as above (a page whose
// separations are not all done gets no dravout_endpage either), calls
// dravout_endjob and dravout_close, reports "stopped by SIG..." and returns
// 128 + the signal's number.
#ifndef RIPHOST_DRIVER_H
#define RIPHOST_DRIVER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drav_dict.h"
#include "driver/coverage.h"
#include "driver/host_callbacks.h"
#include "common/message.h"
#include "driver/option_store.h"
#include "driver/plugin_advice.h"
#include "driver/plugin_loader.h"
#include "sources/row_source.h"
#include "screening/screening.h"
#include "ticket/ticket.h"

namespace riphost {

class DocumentPages;
class PagePlates;

// Exit statuses of riphost.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // an operation failed
inline constexpr int kExitUsage = 2;   // usage, ticket, plug-in loading or option check

// One key of riphost --query: a query ("version"), or a text handed to the
// plug-in ("screeningtechnology=NovaDot|NovaDot": key and text).
struct QueryKey {
  std::string key;
  bool hands_text = false;
  std::string text;
};

class Driver {
 public:
  // terminal: standard error is a terminal (progress lines are shown).
  Driver(const PluginApi& api, const Ticket& ticket, MessageSink& sink, bool terminal);
  ~Driver();

  // Runs the whole ticket; returns kExitOk, kExitFailed or kExitUsage, or
  // stop_exit_status() of the signal that stopped it.
  int run();

  // riphost --query: dravout_open, the option check and the first job's
  // dravout_jobsettings and dravout_startjob (with its cutting texts) when
  // the ticket has a job, then dravout_get_param for each key in turn, each
  // answer printed as "KEY: answer" ("yes"/"no" for a handed text, the
  // integer for "left"); dravout_endjob and dravout_close. Returns kExitOk
  // when every key was answered with 1, kExitFailed otherwise or when a call
  // failed, kExitUsage when the option check refused the ticket.
  int query(const std::vector<QueryKey>& keys);

  // riphost --check: what the plug-in would refuse or warn about, found
  // without writing a file. dravout_open, the option check, then per job
  // dravout_jobsettings and dravout_startjob, per page dravout_startpage
  // and, when it is accepted, dravout_endpage with no separation (so the
  // plug-in opens no file), dravout_endjob; dravout_close. Every error and
  // warning of the plug-in is appended to problems as "<place>: <text>"
  // with riphost's advice after it, as is every refusal that came without
  // a message. The plug-in's information is printed with -vv. Without
  // drive_jobs only the option check is made (for a ticket whose earlier
  // checks failed, whose jobs would give the plug-in half-read values).
  // A document's page is started at the size and with the inks its look
  // before the run found (a PDF page; a PostScript page's size is known
  // only once it is rendered). With warnings, the plug-in's warnings go
  // there rather than into problems, and the document pages' own warnings
  // are the caller's to print; without, those are printed.
  void check(std::vector<std::string>& problems, bool drive_jobs, std::vector<std::string>* warnings = nullptr);

 private:
  int query_job(const std::vector<QueryKey>& keys);
  bool ask(const QueryKey& query);
  int run_jobs();
  bool open_plugin();
  void close_plugin();
  void run_job(const Job& job);
  bool start_job(const Job& job);
  double job_gamma(const Job& job);
  void hand_cutting_texts(const Job& job);
  bool run_page(const Job& job, const Page& page, std::size_t page_number);
  bool run_document_page(const Job& job, const Page& page, std::size_t page_number);
  bool run_separation(const Job& job, const Page& page, std::size_t page_number, const Separation& separation);
  bool send_rows(const Job& job, const Page& page, std::size_t page_number, const Separation& separation,
                 RowSource& source);
  bool start_screening(const Separation& separation, RowSource& source);
  void note_ink(const Page& page, const Separation& separation);
  void unload_selection();
  void end_job();
  bool succeeded(const char* operation, int status, const std::string& where);
  void check_job(const Job& job, std::vector<std::string>& problems, std::vector<std::string>* warnings);
  void check_space(const Page& page, std::vector<std::string>& problems);
  bool check_call(const char* operation, int status, const std::string& where, std::vector<std::string>& problems,
                  std::size_t before);
  static bool stopped() noexcept;

  const PluginApi& api_;
  const Ticket& ticket_;
  MessageSink& sink_;
  bool terminal_;
  OptionStore options_;
  HostSession session_;
  HostCallbacks callbacks_;
  CDictContainerFactory factory_;
  void* merged_options_ = nullptr;  // the plug-in's option list, as dravout_open returns it
  ScreeningHooks screening_;
  std::vector<std::uint8_t> screened_row_;  // a screened row, rendered before newscan
  std::vector<char> param_buffer_;          // a text handed through dravout_get_param
  double gamma_ = 1.0;                      // the device's gamma at the job's resolution
  bool failed_ = false;
  AdviceContext advice_;             // where the run is, for the advice on the plug-in's messages
  PluginAdvisor advisor_{advice_};
  CoverageReport coverage_;
  std::uint64_t separation_ink_ = 0;  // set pixels of the rows sent for the current separation
  // The documents of the current job, and the plates of the document page
  // being run (its separations' rows come from them).
  std::unique_ptr<DocumentPages> documents_;
  PagePlates* plates_ = nullptr;
};

}  // namespace riphost

#endif  // RIPHOST_DRIVER_H
