// main.cpp - riphost: runs a JSON job ticket through the output plug-in.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"

// Hands the arguments to run_riphost.
int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return riphost::run_riphost(args, stdout, stderr, isatty(STDERR_FILENO) != 0);
}
