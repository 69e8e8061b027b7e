// folder_on_stop.cpp - removing the private folder from a signal handler.
#include "sources/document/folder_on_stop.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace riphost {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kDeepest = 8;

// Set before the handlers are installed, read by them only.
char armed_folder[PATH_MAX];
struct sigaction found[3];
bool installed[3];
bool armed = false;

bool is_dot_or_dot_dot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Removes what folder fd holds, sub-folders depth levels deep at most.
void empty_folder(int fd, int depth) {
  char entries[4096];
  // Listing again after removing: a listing may skip what moved meanwhile.
  for (int pass = 0; pass < 2; ++pass) {
    lseek(fd, 0, SEEK_SET);
    for (;;) {
      const ssize_t got = getdents64(fd, entries, sizeof entries);
      if (got <= 0) break;
      for (ssize_t at = 0; at < got;) {
        const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
        at += entry->d_reclen;
        if (is_dot_or_dot_dot(entry->d_name) || unlinkat(fd, entry->d_name, 0) == 0) continue;
        if (errno != EISDIR || depth >= kDeepest) continue;
        const int inner = openat(fd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (inner < 0) continue;
        empty_folder(inner, depth + 1);
        close(inner);
        unlinkat(fd, entry->d_name, AT_REMOVEDIR);
      }
    }
  }
}

void remove_and_stop(int sig) {
  const int fd = open(armed_folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    empty_folder(fd, 0);
    close(fd);
    rmdir(armed_folder);
  }
  // The signal's own action now ends the process (it is blocked in here,
  // so it is taken once the handler returns).
  struct sigaction plain {};
  plain.sa_handler = SIG_DFL;
  sigemptyset(&plain.sa_mask);
  sigaction(sig, &plain, nullptr);
  raise(sig);
}

}  // namespace

bool arm_folder_removal(const std::filesystem::path& folder) {
  if (armed || folder.native().size() >= sizeof armed_folder) return false;
  std::memcpy(armed_folder, folder.c_str(), folder.native().size() + 1);
  struct sigaction handler {};
  handler.sa_handler = remove_and_stop;
  sigemptyset(&handler.sa_mask);
  for (int sig : kSignals) sigaddset(&handler.sa_mask, sig);
  for (int i = 0; i < 3; ++i) {
    installed[i] = sigaction(kSignals[i], nullptr, &found[i]) == 0 && found[i].sa_handler != SIG_IGN &&
                   sigaction(kSignals[i], &handler, nullptr) == 0;
  }
  armed = true;
  return true;
}

void disarm_folder_removal() {
  if (!armed) return;
  for (int i = 0; i < 3; ++i) {
    if (installed[i]) sigaction(kSignals[i], &found[i], nullptr);
    installed[i] = false;
  }
  armed = false;
}

}  // namespace riphost
