// processes.cpp - running one piece of work in several processes at once.
#include "processes.h"

#include <sys/wait.h>
#include <unistd.h>

#include <vector>

int run_in_processes(int count, const std::function<bool(int index)>& work) {
  int barrier[2];
  if (pipe(barrier) != 0) return count;
  std::vector<pid_t> children;
  for (int index = 0; index < count; ++index) {
    pid_t pid = fork();
    if (pid == 0) {
      close(barrier[1]);
      char byte;
      // Blocks until the parent closes its end: every child starts at once.
      while (read(barrier[0], &byte, 1) > 0) {
      }
      bool ok = false;
      try {
        ok = work(index);
      } catch (...) {
        ok = false;
      }
      _exit(ok ? 0 : 1);
    }
    if (pid > 0) children.push_back(pid);
  }
  close(barrier[0]);
  close(barrier[1]);
  int failed = count - static_cast<int>(children.size());
  for (pid_t child : children) {
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      ++failed;
    }
  }
  return failed;
}
