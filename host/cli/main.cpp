// main.cpp - riphost: runs a JSON job ticket through the output plug-in.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "common/signals.h"
#include "sources/document/ghostscript_session.h"

// Hands the arguments to run_riphost. Stop signals are noted from the
// start, so that one that comes before a run installs its own handlers
// (while a document is checked, say) ends riphost the same way: with the
// "stopped by" line and 128 + its number, whatever the command got done. A
// run stopped by a signal while Ghostscript could not be interrupted ends
// here without waiting for it: riphost has cleaned up what matters, only
// the exit status is left.
int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const riphost::StopHandlers handlers;
  int status = riphost::run_riphost(args, stdout, stderr, isatty(STDERR_FILENO) != 0);
  if (const int sig = riphost::stop_signal(); sig != 0 && status != riphost::stop_exit_status(sig)) {
    std::fprintf(stderr, "riphost: error: stopped by %s\n", riphost::stop_signal_name(sig));
    status = riphost::stop_exit_status(sig);
  }
  if (riphost::work_left_running()) {
    riphost::GhostscriptSession::remove_scratch_files();
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}
