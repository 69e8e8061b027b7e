// cli.cpp - the riphost program from arguments to exit status.
#include "cli.h"

#include <exception>
#include <new>

#include "driver.h"
#include "host_error.h"
#include "message.h"
#include "plugin_loader.h"
#include "ticket.h"

namespace riphost {

namespace {

constexpr const char* kUsage =
    "usage: riphost [--plugin PATH] [--quiet] JOB.json\n"
    "  Runs the jobs of a JSON job ticket through the output plug-in.\n"
    "  --plugin PATH  the plug-in to load (default: libdravout.so beside riphost)\n"
    "  --quiet        print neither information nor the names of the files written\n"
    "Exit status: 0 all fine, 1 an operation failed, 2 bad usage, ticket or plug-in.\n";

}  // namespace

// Options first or anywhere; "--" ends them.
std::optional<CommandLine> parse_command_line(const std::vector<std::string>& args, std::string& error) {
  CommandLine line;
  bool options_done = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && (arg == "--help" || arg == "-h")) {
      line.help = true;
    } else if (!options_done && arg == "--quiet") {
      line.quiet = true;
    } else if (!options_done && arg == "--plugin") {
      if (i + 1 >= args.size()) {
        error = "--plugin needs a PATH";
        return std::nullopt;
      }
      line.plugin = args[++i];
    } else if (!options_done && arg.rfind("--plugin=", 0) == 0) {
      line.plugin = arg.substr(9);
      if (line.plugin.empty()) {
        error = "--plugin needs a PATH";
        return std::nullopt;
      }
    } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      return std::nullopt;
    } else if (line.ticket.empty()) {
      line.ticket = arg;
    } else {
      error = "more than one ticket given";
      return std::nullopt;
    }
  }
  if (line.help) return line;
  if (line.ticket.empty()) {
    error = "no job ticket given";
    return std::nullopt;
  }
  return line;
}

// Ticket first (nothing is loaded for a broken one), then the plug-in, then the run.
int run_riphost(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, bool terminal) {
  std::string error;
  std::optional<CommandLine> line = parse_command_line(args, error);
  if (!line) {
    std::fprintf(err, "riphost: error: %s\n%s", error.c_str(), kUsage);
    return kExitUsage;
  }
  if (line->help) {
    std::fprintf(out, "%s", kUsage);
    return kExitOk;
  }
  MessageSink sink(out, err, line->quiet);
  try {
    Ticket ticket;
    try {
      ticket = load_ticket(line->ticket);
    } catch (const HostError& problem) {
      sink.error("%s: %s", line->ticket.c_str(), problem.what());
      return kExitUsage;
    }
    std::unique_ptr<PluginLibrary> plugin;
    try {
      plugin = std::make_unique<PluginLibrary>(line->plugin.empty() ? default_plugin_path() : std::filesystem::path(line->plugin));
    } catch (const HostError& problem) {
      sink.error("%s", problem.what());
      return kExitUsage;
    }
    Driver driver(plugin->api(), ticket, sink, terminal);
    return driver.run();
  } catch (const std::bad_alloc&) {
    sink.error("out of memory");
  } catch (const std::exception& problem) {
    sink.error("%s", problem.what());
  }
  return kExitFailed;
}

}  // namespace riphost
