// document_command.cpp - checking a document and making its job.
#include "cli/document_command.h"

#include <charconv>
#include <cstdlib>
#include <memory>
#include <system_error>

#include "cli/ticket_check.h"
#include "common/host_error.h"
#include "driver/driver.h"
#include "driver/plugin_loader.h"
#include "sources/document/document_probe.h"
#include "sources/document/render_only.h"
#include "sources/input_kind.h"
#include "ticket/document_screens.h"
#include "ticket/ticket.h"

namespace riphost {

namespace fs = std::filesystem;

namespace {

// A number option: given text in (0, most], or the default when empty.
double number_option(const std::string& text, const char* name, double fallback, double most) {
  if (text.empty()) return fallback;
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !(value > 0.0) || value > most) {
    throw HostError(std::string(name) + " \"" + text + "\": expected a number greater than 0 and at most " +
                    std::to_string(static_cast<long long>(most)));
  }
  return value;
}

// The page box the command line asks for: the media box unless --trim-box.
PageBoxChoice page_box(const CommandLine& line) {
  return line.box == "trim" ? PageBoxChoice::Trim : PageBoxChoice::Media;
}

std::string job_name(const fs::path& file) {
  const std::string stem = file.stem().string();
  return stem.empty() ? std::string("document") : stem;
}

// One job taking the pages of the document, each a page of the job.
Ticket document_ticket(const CommandLine& line, std::shared_ptr<const DocumentFacts> facts,
                       const std::vector<int>& pages, double ppi, double ruling) {
  Ticket ticket;
  std::error_code error;
  const fs::path device = line.device.empty() ? default_device_folder() : fs::path(line.device);
  if (device.empty()) throw HostError("no device folder: the example device folder is missing (give --device DIR)");
  ticket.device_dir = fs::absolute(device, error);
  ticket.output_dir = fs::absolute(line.output, error);
  Job job;
  job.where = facts->name;
  job.name = job_name(facts->file);
  job.ppi = ppi;
  job.options.add("RES", ppi, "--ppi");
  auto spec = std::make_shared<DocumentSpec>();
  spec->where = facts->name;
  spec->facts = facts;
  spec->box = page_box(line);
  choose_document_screens(job.screens, ruling, *spec);
  for (int number : pages) {
    Page page;
    page.where = facts->name + " page " + std::to_string(number);
    page.document = std::make_shared<DocumentPageRef>(DocumentPageRef{spec, number});
    job.pages.push_back(std::move(page));
  }
  ticket.jobs.push_back(std::move(job));
  return ticket;
}

// What the look at the document's pages found to warn about (files outside
// it), as the run warns when it takes each page.
void print_page_warnings(const DocumentFacts& facts, MessageSink& sink) {
  for (const DocumentPageFacts& page : facts.pages) {
    for (const std::string& warning : page.warnings) sink.warning("%s", warning.c_str());
  }
}

// The plug-in driven through the document's job and pages as the run
// drives them, without separations (Driver::check): what it refuses is a
// problem; its warnings are returned, as the run would print them.
// load_problem: why the plug-in cannot be loaded (nothing is checked then).
void check_plugin(const CommandLine& line, const Ticket& ticket, MessageSink& sink,
                  std::vector<std::string>& problems, std::vector<std::string>& warnings, std::string& load_problem) {
  std::unique_ptr<PluginLibrary> plugin;
  try {
    plugin = std::make_unique<PluginLibrary>(line.plugin.empty() ? default_plugin_path() : fs::path(line.plugin));
  } catch (const HostError& problem) {
    load_problem = problem.what();
    return;
  }
  // The plug-in finds the device's resolution list as in the run.
  setenv("QZ_RIPPAR", ticket.device_dir.c_str(), 1);
  Driver driver(plugin->api(), ticket, sink, false);
  driver.check(problems, problems.empty(), &warnings);
}

// --check with a document: the ticket's checks, then the plug-in through
// the document's pages; the warnings the run would give (the pages' own
// and the plug-in's) are printed as warnings.
int check_document(const CommandLine& line, const DocumentFacts& facts, const Ticket& ticket, MessageSink& sink) {
  std::vector<std::string> problems;
  std::vector<std::string> warnings;
  check_device(ticket, problems);
  check_output_folder(ticket, problems);
  std::string load_problem;
  check_plugin(line, ticket, sink, problems, warnings, load_problem);
  print_page_warnings(facts, sink);
  for (const std::string& warning : warnings) sink.warning("%s", warning.c_str());
  for (const std::string& problem : problems) sink.error("%s: %s", line.ticket.c_str(), problem.c_str());
  if (!load_problem.empty()) sink.error("%s", load_problem.c_str());
  return problems.empty() && load_problem.empty() ? kExitOk : kExitUsage;
}

// Before a run: what the plug-in would refuse is refused now, before the
// first page is rendered (its warnings come with the run, and a plug-in
// that cannot be loaded is reported by it).
bool plugin_accepts(const CommandLine& line, const Ticket& ticket, MessageSink& sink) {
  std::vector<std::string> problems;
  std::vector<std::string> warnings;
  std::string load_problem;
  check_plugin(line, ticket, sink, problems, warnings, load_problem);
  for (const std::string& problem : problems) sink.error("%s: %s", line.ticket.c_str(), problem.c_str());
  return problems.empty();
}

}  // namespace

bool is_document_command(const CommandLine& line) {
  if (line.ticket.empty()) return false;
  return tell_input(line.ticket, line.ticket).route == InputRoute::Document;
}

std::string document_options_problem(const CommandLine& line) {
  if (line.device.empty() && line.ppi.empty() && line.pages.empty() && line.screens.empty() && !line.render_only &&
      line.box.empty() && line.password.empty()) {
    return {};
  }
  return "--device, --ppi, --pages, --screens, --render-only, --media-box, --trim-box and --password go with a "
         "document (PDF, PostScript or EPS), not with a ticket (its documents take \"box\"); a ticket gives a "
         "document's password as \"password\"";
}

fs::path default_device_folder() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  const fs::path candidates[] = {
      error ? fs::path() : (exe.parent_path() / RIPHOST_INSTALLED_EXAMPLES / "device").lexically_normal(),
      fs::path(RIPHOST_SOURCE_EXAMPLES) / "device",
  };
  for (const fs::path& candidate : candidates) {
    if (!candidate.empty() && fs::exists(candidate / "device.toml", error)) return candidate;
  }
  return {};
}

int run_document(const CommandLine& line, MessageSink& sink, bool terminal) {
  std::shared_ptr<const DocumentFacts> facts;
  std::vector<int> pages;
  Ticket ticket;
  try {
    if (line.output.empty()) throw HostError("a document needs an output folder: -o DIR");
    const double ppi = number_option(line.ppi, "--ppi", kDefaultPpi, kMaxPpi);
    const double ruling = number_option(line.screens, "--screens", kDocumentRuling, 10000.0);
    const PageList list = PageList::parse(line.pages);
    const DocumentLimits limits = document_limits(line.memory_limit, line.page_time_limit);
    facts = std::make_shared<const DocumentFacts>(
        probe_document(line.ticket, line.ticket, list, line.password, limits));
    pages = list.pages(facts->page_count);
    sink.info("%s: %s, %d pages, %zu to run", line.ticket.c_str(), document_kind_name(facts->kind),
              facts->page_count, pages.size());
    ticket = document_ticket(line, facts, pages, ppi, ruling);
    // A run reports them as each page starts; a check or contone planes here.
    if (line.check || line.render_only) {
      for (int number : pages) report_page_warnings(facts->warnings, facts->name, number, sink);
    }
  } catch (const DocumentLimitError& problem) {
    // Not a bad document: one beyond what this run may spend on it.
    sink.error("%s", problem.what());
    return kExitFailed;
  } catch (const HostError& problem) {
    sink.error("%s", problem.what());
    return kExitUsage;
  }
  if (line.check) return check_document(line, *facts, ticket, sink);
  std::vector<std::string> problems;
  if (!line.render_only) check_device(ticket, problems);
  check_output_folder(ticket, problems);
  if (!problems.empty()) {
    for (const std::string& problem : problems) sink.error("%s: %s", line.ticket.c_str(), problem.c_str());
    return kExitUsage;
  }
  if (line.render_only) {
    print_page_warnings(*facts, sink);
    return render_only(*facts, pages, ticket.jobs.front().ppi, page_box(line), ticket.output_dir, sink, terminal);
  }
  if (!plugin_accepts(line, ticket, sink)) return kExitUsage;
  return run_checked_ticket(line, ticket, sink, terminal);
}

}  // namespace riphost
