// folder_on_stop.cpp - removing the private folder when riphost ends at once.
#include "sources/document/folder_on_stop.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

namespace riphost {

namespace {

constexpr int kDeepest = 8;

// The armed folder, in a plain buffer: removing it needs no allocation.
char armed_folder[PATH_MAX];
std::atomic<bool> armed{false};

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

}  // namespace

bool arm_folder_removal(const std::filesystem::path& folder) {
  if (armed || folder.native().size() >= sizeof armed_folder) return false;
  std::memcpy(armed_folder, folder.c_str(), folder.native().size() + 1);
  armed = true;
  return true;
}

void disarm_folder_removal() { armed = false; }

void remove_armed_folder() noexcept {
  if (!armed) return;
  const int fd = open(armed_folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    empty_folder(fd, 0);
    close(fd);
    rmdir(armed_folder);
  }
}

}  // namespace riphost
