// cli.h - riphost's command line: riphost [--plugin PATH] [--quiet] JOB.json
#ifndef RIPHOST_CLI_H
#define RIPHOST_CLI_H

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace riphost {

struct CommandLine {
  std::string plugin;  // empty: libdravout.so beside the executable
  bool quiet = false;
  bool help = false;
  std::string ticket;
};

// Reads the arguments (without the program name). Returns nothing and puts
// the reason into error when they are unusable.
std::optional<CommandLine> parse_command_line(const std::vector<std::string>& args, std::string& error);

// Runs riphost: checks the ticket, loads the plug-in, drives it. Messages go
// to out and err; terminal says whether err is a terminal (progress lines).
// Returns the exit status: 0 all fine, 1 an operation failed, 2 a usage,
// ticket, plug-in loading or option error.
int run_riphost(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, bool terminal);

}  // namespace riphost

#endif  // RIPHOST_CLI_H
