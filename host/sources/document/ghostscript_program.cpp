// ghostscript_program.cpp - fork, exec, wait, kill.
#include "sources/document/ghostscript_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "common/host_error.h"
#include "sources/document/private_temp.h"

namespace riphost {

namespace fs = std::filesystem;

fs::path ghostscript_program() {
  const char* chosen = std::getenv("RIPHOST_GS");
  if (chosen && *chosen) return access(chosen, X_OK) == 0 ? fs::path(chosen) : fs::path();
  const char* path = std::getenv("PATH");
  std::string dirs = path && *path ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= dirs.size();) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const fs::path candidate = fs::path(dirs.substr(start, end - start)) / "gs";
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

namespace {

// In the child, between fork and exec: only calls that are safe there.
[[noreturn]] void become(const char* program, char* const* argv, const char* log, rlim_t address_space) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  // The child must not outlive riphost, however riphost ends.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (address_space != RLIM_INFINITY) {
    const struct rlimit bound = {address_space, address_space};
    if (setrlimit(RLIMIT_AS, &bound) != 0) _exit(127);
  }
  const int in = open("/dev/null", O_RDONLY);
  const int out = open(log, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) _exit(127);
  execv(program, argv);
  _exit(127);
}

// Ghostscript ends well even when it could not draw a page (its scratch
// files found no room, say) and leaves the page out: its log says so.
bool page_left_out(const fs::path& log) {
  std::ifstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    if (line.find("Page drawing error occurred") != std::string::npos) return true;
  }
  return false;
}

}  // namespace

ProgramEnd run_program(const fs::path& program, const std::vector<std::string>& args, const fs::path& log,
                       const std::function<bool()>& stop, const DocumentLimits& limits) {
  // Everything the child needs is made before it exists.
  std::vector<std::string> words = {program.filename().string()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const std::string program_text = program.string();
  const std::string log_text = log.string();
  const rlim_t address_space =
      limits.memory_bytes > 0 ? static_cast<rlim_t>(limits.memory_bytes + kProgramCodeRoom) : RLIM_INFINITY;
  const auto started = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) throw HostError(std::string("cannot start Ghostscript: ") + std::strerror(errno));
  if (child == 0) become(program_text.c_str(), argv.data(), log_text.c_str(), address_space);
  bool killed = false;
  ProgramEnd why = ProgramEnd::Stopped;
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(child, &status, killed ? 0 : WNOHANG);
    if (done == child) {
      if (killed) return why;
      const bool ended_well = WIFEXITED(status) && WEXITSTATUS(status) == 0;
      return ended_well && !page_left_out(log) ? ProgramEnd::Done : ProgramEnd::Failed;
    }
    if (done < 0 && errno != EINTR) return killed ? why : ProgramEnd::Failed;
    const bool late = limits.page_seconds > 0.0 &&
                      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() >
                          limits.page_seconds;
    if (!killed && ((stop && stop()) || late)) {
      why = late && !(stop && stop()) ? ProgramEnd::TimedOut : ProgramEnd::Stopped;
      kill(child, SIGKILL);
      killed = true;
      continue;
    }
    if (!killed) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string ghostscript_error_in(const fs::path& log) {
  std::ifstream in(log);
  std::string line, last;
  while (std::getline(in, line)) {
    const auto first = line.find_first_not_of(" \t\r");
    const auto end = line.find_last_not_of(" \t\r");
    if (first == std::string::npos) continue;
    line = line.substr(first, end - first + 1);
    if (line.find("Error") != std::string::npos) return line + temp_space_note();
    last = line;
  }
  return last.empty() ? last : last + temp_space_note();
}

}  // namespace riphost
