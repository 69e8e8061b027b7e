// spool_file.cpp - opening nameless spool files.
#include "sources/document/spool_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/host_error.h"
#include "sources/document/private_temp.h"

namespace riphost {

namespace {

[[noreturn]] void refuse(const std::filesystem::path& folder, int reason) {
  const bool full = reason == ENOSPC || reason == EDQUOT;
  throw HostError("cannot make a spool file in " + folder.string() + ": " +
                  (full ? temp_failure(private_folder_base(), reason) : std::string(std::strerror(reason))));
}

// A stdio stream over fd; the descriptor is closed when that fails.
std::FILE* stream_of(int fd, const std::filesystem::path& folder) {
  std::FILE* file = fdopen(fd, "w+b");
  if (!file) {
    const int reason = errno;
    close(fd);
    refuse(folder, reason);
  }
  return file;
}

}  // namespace

std::filesystem::path spool_folder() { return private_work_folder(); }

std::FILE* open_spool_file(const std::filesystem::path& folder) {
#ifdef O_TMPFILE
  const int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return stream_of(fd, folder);
  // The file system (or the kernel) knows no nameless files.
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) refuse(folder, errno);
#endif
  return open_unlinked_file(folder);
}

std::FILE* open_unlinked_file(const std::filesystem::path& folder) {
  std::string name = (folder / ".riphost-spool-XXXXXX").string();
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) refuse(folder, errno);
  if (unlink(name.c_str()) != 0) {
    const int reason = errno;
    close(fd);
    refuse(folder, reason);
  }
  return stream_of(fd, folder);
}

}  // namespace riphost
