// stale_files.cpp - removing the temporary files that writers of this
// machine left in an output folder when they died.
#include "stale_files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "file_ops.h"
#include "names.h"
#include "temporary_locks.h"

namespace dravoututil {

namespace {

// Closes a directory stream when the object ends.
class DirectoryStream {
 public:
  explicit DirectoryStream(DIR* stream) : stream_(stream) {}
  DirectoryStream(const DirectoryStream&) = delete;
  DirectoryStream& operator=(const DirectoryStream&) = delete;
  ~DirectoryStream() {
    if (stream_ != nullptr) ::closedir(stream_);
  }
  DIR* get() const { return stream_; }

 private:
  DIR* stream_;
};

// Removes the entry name of directory when it is a regular file that nobody
// may take for live or kept: some write permission left (a complete file
// kept by its writer has none), no writer's lock on it (a writer in another
// PID namespace, whose process number says nothing here, holds one), and
// still the same file when it goes. True when it was removed.
bool remove_if_abandoned(int directory, const char* name) {
  struct stat named {};
  if (::fstatat(directory, name, &named, AT_SYMLINK_NOFOLLOW) != 0) return false;
  // Only a regular file is opened: opening a device may have effects.
  if (!S_ISREG(named.st_mode) || (named.st_mode & 0222) == 0) return false;
  FileDescriptor file(
      ::openat(directory, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat opened {};
  if (!file.valid() || ::fstat(file.get(), &opened) != 0 || !same_file(named, opened)) return false;
  if ((opened.st_mode & 0222) == 0) return false;
  // Held until the name is gone: a writer that created the file a moment
  // ago cannot lock it meanwhile, and takes another name.
  if (!lock_as_cleaner(file.get())) return false;
  struct stat again {};
  if (::fstatat(directory, name, &again, AT_SYMLINK_NOFOLLOW) != 0 || !same_file(again, opened)) return false;
  // Should the name be swapped for a link or a folder after the check,
  // unlinkat removes the link itself or refuses the folder: nothing behind
  // the name is touched.
  return ::unlinkat(directory, name, 0) == 0;
}

}  // namespace

// True when the process pid is known not to run.
bool process_is_gone(unsigned long long pid) {
  // A number no pid_t holds cannot name a process we could ask about; 0 and
  // negative numbers would address process groups.
  if (pid == 0 || pid > static_cast<unsigned long long>(INT_MAX)) return false;
  pid_t process = static_cast<pid_t>(pid);
  if (process == ::getpid()) return false;
  return ::kill(process, 0) == -1 && errno == ESRCH;
}

// True for a temporary name of this machine whose process is gone.
bool is_stale_temporary(std::string_view base) {
  TemporaryNameParts parts;
  if (!parse_temporary_name(base, parts)) return false;
  if (parts.host != host_name()) return false;
  return process_is_gone(parts.pid);
}

// Removes the stale temporary files of folder.
int remove_stale_temporaries(const std::string& folder,
                             const std::function<void(const std::string& path)>& removed) {
  FileDescriptor directory(
      ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY));
  if (!directory.valid()) return -1;
  // The stream reads from a descriptor of its own; directory stays for the
  // *at calls.
  int listing = ::fcntl(directory.get(), F_DUPFD_CLOEXEC, 0);
  if (listing < 0) return -1;
  DirectoryStream stream(::fdopendir(listing));
  if (stream.get() == nullptr) {
    int err = errno;
    ::close(listing);
    errno = err;
    return -1;
  }

  int count = 0;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(stream.get());
    if (entry == nullptr) {
      if (errno != 0) return -1;
      break;
    }
    const char* name = entry->d_name;
    if (!is_stale_temporary(name)) continue;
    if (!remove_if_abandoned(directory.get(), name)) continue;
    if (count < INT_MAX) ++count;
    if (removed) removed(join_folder(folder, name));
  }
  return count;
}

}  // namespace dravoututil
