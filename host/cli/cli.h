// cli.h - riphost's command line:
//   riphost [--plugin PATH] [-v | -vv | -q] [-o DIR] [--check] [--confine [--allow DIR]...] JOB.json|-
//   riphost --query KEY[=TEXT] [--query ...] [--plugin PATH] [-v | -vv | -q] [--confine ...] [JOB.json|-]
//   riphost --clean OUTDIR
//   riphost --version | --help
//
// Room host/cli/: the riphost program: its command line, the checks of a
// ticket beyond its text (device file, output folder, options against the
// plug-in), --clean, and main. It turns arguments into a checked ticket and
// hands that to the driver; it may call every other room (common, ticket,
// driver) but owns no part of the calling order itself.
#ifndef RIPHOST_CLI_H
#define RIPHOST_CLI_H

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common/message.h"

namespace riphost {

struct CommandLine {
  std::string plugin;  // empty: the default plug-in (default_plugin_path)
  Verbosity verbosity = Verbosity::Normal;
  bool help = false;
  bool version = false;
  bool check = false;   // --check: only the checks, no job is run
  std::string clean;    // --clean OUTDIR: the folder to clean, no ticket
  std::string output;   // -o DIR: replaces the ticket's output folder
  std::string ticket;   // a file, or "-" for standard input
  // --confine and its --allow folders: the ticket may name only files and
  // folders inside its own folder and these (TicketOptions).
  bool confine = false;
  std::vector<std::string> allowed;
  // --query KEY or KEY=TEXT, in order: ask the plug-in instead of running
  // the ticket, which is then optional.
  std::vector<std::string> queries;
  // A document instead of a ticket (docs/documents.md): its device folder,
  // resolution, pages, screen ruling (texts as given; empty: the defaults),
  // --render-only, and the page box: "media" (--media-box), "trim"
  // (--trim-box, the last of the two counts) or empty (the media box).
  std::string device;
  std::string ppi;
  std::string pages;
  std::string screens;
  bool render_only = false;
  std::string box;
  // --password: opens an encrypted PDF; never printed.
  std::string password;
  // --memory-limit SIZE and --page-time-limit SECONDS: what Ghostscript may
  // spend on a document, a ticket's or the command line's (texts as given;
  // empty: the defaults, document_limits.h).
  std::string memory_limit;
  std::string page_time_limit;
};

// Reads the arguments (without the program name). Returns nothing and puts
// the reason into error, one line, when they are unusable. -v given twice,
// or -vv, is Verbosity::Debug; -q is --quiet.
std::optional<CommandLine> parse_command_line(const std::vector<std::string>& args, std::string& error);

// Runs riphost: checks the ticket, loads the plug-in, drives it. Messages go
// to out and err; terminal says whether err is a terminal (progress lines).
// Returns the exit status: 0 all fine, 1 an operation failed, 2 a usage,
// ticket, plug-in loading or check error; the driver returns 128 + the
// signal's number when a signal stopped the run.
int run_riphost(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, bool terminal);

struct Ticket;
// A run of a checked ticket: loads the plug-in, makes the output folder and
// drives the plug-in; the exit status as run_riphost's.
int run_checked_ticket(const CommandLine& line, const Ticket& ticket, MessageSink& sink, bool terminal);

}  // namespace riphost

#endif  // RIPHOST_CLI_H
