// main.cpp - riphost: runs a JSON job ticket through the output plug-in.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "common/signals.h"

// Hands the arguments to run_riphost. A run stopped by a signal while
// Ghostscript could not be interrupted ends here without waiting for it:
// riphost has cleaned up what matters, only the exit status is left.
int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = riphost::run_riphost(args, stdout, stderr, isatty(STDERR_FILENO) != 0);
  if (riphost::work_left_running()) {
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}
