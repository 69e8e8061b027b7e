// cli.cpp - the riphost program from arguments to exit status.
#include "cli/cli.h"

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include "cli/clean.h"
#include "cli/document_command.h"
#include "sources/document/private_temp.h"
#include "driver/driver.h"
#include "common/host_error.h"
#include "driver/plugin_loader.h"
#include "sources/input_kind.h"
#include "ticket/ticket.h"
#include "cli/ticket_check.h"
#include "cli/usage.h"
#include "sources/document/document_limits.h"

#ifndef DRAV_VERSION
#define DRAV_VERSION "unknown"
#endif

namespace riphost {

namespace {

namespace fs = std::filesystem;

// The value of an option that takes one: "--name VALUE" or "--name=VALUE".
// False with error set when it is missing or empty.
bool option_value(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
                  std::string& value, std::string& error) {
  const std::string& arg = args[i];
  if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
    value = arg.substr(name.size() + 1);
  } else if (i + 1 < args.size()) {
    value = args[++i];
  } else {
    value.clear();
  }
  if (value.empty()) {
    error = name + " needs a value";
    return false;
  }
  return true;
}

// True when arg is the option name, alone or as "name=...".
bool is_option(const std::string& arg, const char* name) {
  std::string text(name);
  return arg == text || arg.rfind(text + "=", 0) == 0;
}

// How the ticket is named in messages.
std::string ticket_label(const std::string& ticket) {
  return ticket == kStandardInput ? std::string("standard input") : ticket;
}

// The folders create_directories would make for folder, outermost first.
std::vector<fs::path> missing_folders(const fs::path& folder) {
  std::vector<fs::path> missing;
  std::error_code error;
  for (fs::path part = folder; !part.empty() && !fs::exists(part, error); part = part.parent_path()) {
    missing.insert(missing.begin(), part);
    if (part == part.parent_path()) break;
  }
  return missing;
}

// Removes the folders this run made, innermost first, as long as they are
// empty (nothing was written into them).
void remove_made_folders(const std::vector<fs::path>& made) {
  std::error_code error;
  for (auto folder = made.rbegin(); folder != made.rend(); ++folder) {
    if (!fs::is_directory(*folder, error) || !fs::is_empty(*folder, error) || !fs::remove(*folder, error)) return;
  }
}

// Prints the problems of a check; the ticket's name comes first.
void print_problems(MessageSink& sink, const std::string& label, const std::vector<std::string>& problems) {
  for (const std::string& problem : problems) sink.error("%s: %s", label.c_str(), problem.c_str());
}

// What the command line changes in the ticket.
TicketOptions ticket_options(const CommandLine& line) {
  TicketOptions options;
  options.output = line.output;
  options.confine = line.confine;
  options.allowed = line.allowed;
  options.document_limits = document_limits(line.memory_limit, line.page_time_limit);
  return options;
}

// The plug-in named on the command line, or the default one.
std::unique_ptr<PluginLibrary> load_plugin(const CommandLine& line) {
  return std::make_unique<PluginLibrary>(line.plugin.empty() ? default_plugin_path() : fs::path(line.plugin));
}

// The keys of --query: "KEY", or "KEY=TEXT" to hand TEXT.
std::vector<QueryKey> query_keys(const std::vector<std::string>& queries) {
  std::vector<QueryKey> keys;
  for (const std::string& query : queries) {
    QueryKey key;
    const std::size_t equals = query.find('=');
    key.key = query.substr(0, equals);
    if (equals != std::string::npos) {
      key.hands_text = true;
      key.text = query.substr(equals + 1);
    }
    keys.push_back(std::move(key));
  }
  return keys;
}

// The plug-in, or null when it cannot be loaded (reported).
std::unique_ptr<PluginLibrary> load_plugin_or_report(const CommandLine& line, MessageSink& sink) {
  try {
    return load_plugin(line);
  } catch (const HostError& problem) {
    sink.error("%s", problem.what());
    return nullptr;
  }
}

// --query: the ticket's checks that need no plug-in (no output folder is
// made), the plug-in, then the keys. The plug-in finds the device's
// recorder settings through QZ_RIPPAR, set to the ticket's device folder.
int query_only(const CommandLine& line, MessageSink& sink) {
  Ticket ticket;
  if (!line.ticket.empty()) {
    std::vector<std::string> problems;
    ticket = check_ticket_file(line.ticket, ticket_options(line), problems);
    check_device(ticket, problems);
    if (!problems.empty()) {
      print_problems(sink, ticket_label(line.ticket), problems);
      return kExitUsage;
    }
  }
  std::unique_ptr<PluginLibrary> plugin = load_plugin_or_report(line, sink);
  if (!plugin) return kExitUsage;
  if (!line.ticket.empty()) setenv("QZ_RIPPAR", ticket.device_dir.c_str(), 1);
  Driver driver(plugin->api(), ticket, sink, false);
  return driver.query(query_keys(line.queries));
}

// --check: every check, the plug-in's options included, and nothing else.
int check_only(const CommandLine& line, MessageSink& sink) {
  std::vector<std::string> problems;
  Ticket ticket = check_ticket_file(line.ticket, ticket_options(line), problems);
  check_device(ticket, problems);
  check_output_folder(ticket, problems);
  std::string load_problem;
  std::unique_ptr<PluginLibrary> plugin;
  try {
    plugin = load_plugin(line);
  } catch (const HostError& problem) {
    load_problem = problem.what();
  }
  if (plugin) check_plugin_options(plugin->api(), ticket, sink, problems);
  print_problems(sink, ticket_label(line.ticket), problems);
  if (!load_problem.empty()) sink.error("%s", load_problem.c_str());
  const bool passed = problems.empty() && load_problem.empty();
  if (passed) {
    sink.info("%s: no problems: the ticket, its device file, its output folder and the plug-in's settings and pages "
              "are all fine",
              ticket_label(line.ticket).c_str());
  }
  return passed ? kExitOk : kExitUsage;
}

}  // namespace

// The plug-in, the output folder, then the driver, which checks the options
// against the opened plug-in before the first job.
int run_checked_ticket(const CommandLine& line, const Ticket& ticket, MessageSink& sink, bool terminal) {
  std::unique_ptr<PluginLibrary> plugin = load_plugin_or_report(line, sink);
  if (!plugin) return kExitUsage;
  std::vector<fs::path> made = missing_folders(ticket.output_dir);
  try {
    create_output_folder(ticket);
  } catch (const HostError& problem) {
    sink.error("%s", problem.what());
    return kExitFailed;
  }
  // The plug-in finds the device's recorder settings (its resolution list)
  // through the name QZ_RIPPAR: the same device folder as the job's options.
  setenv("QZ_RIPPAR", ticket.device_dir.c_str(), 1);
  Driver driver(plugin->api(), ticket, sink, terminal);
  int status = driver.run();
  // A failed run leaves no empty folder of its own behind; one with files
  // in it stays.
  if (status != kExitOk) remove_made_folders(made);
  return status;
}

namespace {

// A run: the checks that need no plug-in (nothing is loaded for a broken
// ticket), then the checked ticket's run.
int run_ticket(const CommandLine& line, MessageSink& sink, bool terminal) {
  std::vector<std::string> problems;
  Ticket ticket = check_ticket_file(line.ticket, ticket_options(line), problems);
  check_device(ticket, problems);
  check_output_folder(ticket, problems);
  if (!problems.empty()) {
    print_problems(sink, ticket_label(line.ticket), problems);
    return kExitUsage;
  }
  return run_checked_ticket(line, ticket, sink, terminal);
}

// What the command line says beyond CommandLine's fields, for the checks
// of its combination.
struct Flags {
  bool options_done = false;
  bool quiet = false;
  int verbose = 0;  // -v counts 1, -vv 2
  bool clean = false;
};

// A ticket name (an argument that is no option). False with error set.
bool take_ticket(const std::string& arg, CommandLine& line, std::string& error) {
  if (!line.ticket.empty()) {
    error = "more than one ticket given";
    return false;
  }
  if (arg.empty()) {
    error = "empty ticket name";
    return false;
  }
  line.ticket = arg;
  return true;
}

// An option that takes a value: --plugin, -o/--output, --query, --clean,
// --allow, and a document's --device, --ppi, --pages, --screens.
// False with error set when it is none of these or its value is unusable.
bool take_option_with_value(const std::vector<std::string>& args, std::size_t& i, CommandLine& line, Flags& flags,
                            std::string& error) {
  const std::string& arg = args[i];
  if (is_option(arg, "--plugin")) return option_value(args, i, "--plugin", line.plugin, error);
  if (is_option(arg, "--output") || arg == "-o") {
    return option_value(args, i, arg == "-o" ? "-o" : "--output", line.output, error);
  }
  if (is_option(arg, "--query")) {
    std::string query;
    if (!option_value(args, i, "--query", query, error)) return false;
    if (query[0] == '=') {
      error = "--query needs a key before \"=\"";
      return false;
    }
    line.queries.push_back(std::move(query));
    return true;
  }
  if (is_option(arg, "--clean")) {
    flags.clean = true;
    return option_value(args, i, "--clean", line.clean, error);
  }
  if (is_option(arg, "--device") || is_option(arg, "--ppi") || is_option(arg, "--pages") ||
      is_option(arg, "--screens") || is_option(arg, "--password")) {
    const std::string name = arg.substr(0, arg.find('='));
    std::string& value = name == "--device" ? line.device : name == "--ppi" ? line.ppi
                         : name == "--pages" ? line.pages : name == "--password" ? line.password : line.screens;
    return option_value(args, i, name, value, error);
  }
  if (is_option(arg, "--memory-limit")) return option_value(args, i, "--memory-limit", line.memory_limit, error);
  if (is_option(arg, "--page-time-limit")) {
    return option_value(args, i, "--page-time-limit", line.page_time_limit, error);
  }
  if (is_option(arg, "--allow")) {
    std::string folder;
    if (!option_value(args, i, "--allow", folder, error)) return false;
    line.allowed.push_back(std::move(folder));
    return true;
  }
  error = "unknown option " + arg;
  const std::string meant = nearest_command_option(arg);
  if (!meant.empty()) error += " (did you mean " + meant + "?)";
  return false;
}

// One argument (with its value, when it takes one). False with error set.
bool take_argument(const std::vector<std::string>& args, std::size_t& i, CommandLine& line, Flags& flags,
                   std::string& error) {
  const std::string& arg = args[i];
  if (flags.options_done || arg.size() <= 1 || arg[0] != '-') return take_ticket(arg, line, error);
  if (arg == "--") {
    flags.options_done = true;
  } else if (arg == "--help" || arg == "-h") {
    line.help = true;
  } else if (arg == "--version") {
    line.version = true;
  } else if (arg == "--quiet" || arg == "-q") {
    flags.quiet = true;
  } else if (arg == "--verbose" || arg == "-v") {
    ++flags.verbose;
  } else if (arg == "-vv") {
    flags.verbose += 2;
  } else if (arg == "--check") {
    line.check = true;
  } else if (arg == "--confine") {
    line.confine = true;
  } else if (arg == "--render-only") {
    line.render_only = true;
  } else if (arg == "--media-box" || arg == "--trim-box") {
    line.box = arg == "--trim-box" ? "trim" : "media";
  } else {
    return take_option_with_value(args, i, line, flags, error);
  }
  return true;
}

// The options that go together: --clean and --query each stand alone with
// what they take, a run and --check need a ticket. False with error set.
bool check_combination(const CommandLine& line, const Flags& flags, std::string& error) {
  if (flags.quiet && flags.verbose > 0) {
    error = "--quiet and --verbose exclude each other";
  } else if (flags.clean && !line.queries.empty()) {
    error = "--clean and --query exclude each other";
  } else if (!line.allowed.empty() && !line.confine) {
    error = "--allow needs --confine";
  } else if (flags.clean) {
    if (!line.ticket.empty() || line.check || !line.output.empty()) {
      error = "--clean takes a folder only, no ticket, --check or -o";
    } else if (line.confine) {
      error = "--confine is for tickets, not for --clean";
    }
  } else if (!line.queries.empty()) {
    if (line.check || !line.output.empty()) error = "--query takes keys, --plugin and a ticket only, no --check or -o";
  } else if (line.ticket.empty()) {
    error = "no job ticket given";
  }
  return error.empty();
}

}  // namespace

// Options first or anywhere; "--" ends them; "-" alone is a ticket name.
std::optional<CommandLine> parse_command_line(const std::vector<std::string>& args, std::string& error) {
  CommandLine line;
  Flags flags;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (!take_argument(args, i, line, flags, error)) return std::nullopt;
  }
  if (line.help || line.version) return line;
  if (!check_combination(line, flags, error)) return std::nullopt;
  try {
    static_cast<void>(document_limits(line.memory_limit, line.page_time_limit));
  } catch (const HostError& problem) {
    error = problem.what();
    return std::nullopt;
  }
  line.verbosity = flags.quiet             ? Verbosity::Quiet
                   : flags.verbose >= 2    ? Verbosity::Debug
                   : flags.verbose == 1    ? Verbosity::Verbose
                                           : Verbosity::Normal;
  return line;
}

// Help and version first; then --clean, --check or a run.
int run_riphost(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, bool terminal) {
  std::string error;
  std::optional<CommandLine> line = parse_command_line(args, error);
  if (!line) {
    print_usage_error(err, error);
    return kExitUsage;
  }
  if (line->help) {
    std::fprintf(out, "%s", kHelpText);
    return kExitOk;
  }
  if (line->version) {
    std::fprintf(out, "riphost %s\n", DRAV_VERSION);
    return kExitOk;
  }
  MessageSink sink(out, err, line->verbosity);
  // Ghostscript's and the spools' private folder, made when a document needs it.
  TemporaryFolderScope temporary_folder;
  try {
    if (!line->clean.empty()) return clean_temporaries(line->clean, temp_base(), sink);
    if (!line->queries.empty()) return query_only(*line, sink);
    const InputKind input = tell_input(line->ticket, line->ticket);
    if (input.route == InputRoute::Refused) {
      sink.error("%s", input.problem.c_str());
      return kExitUsage;
    }
    if (input.route == InputRoute::Document) return run_document(*line, sink, terminal);
    if (const std::string problem = document_options_problem(*line); !problem.empty()) {
      print_usage_error(err, problem);
      return kExitUsage;
    }
    if (line->check) return check_only(*line, sink);
    return run_ticket(*line, sink, terminal);
  } catch (const std::bad_alloc&) {
    sink.error("out of memory");
  } catch (const std::exception& problem) {
    sink.error("%s", problem.what());
  }
  return kExitFailed;
}

}  // namespace riphost
