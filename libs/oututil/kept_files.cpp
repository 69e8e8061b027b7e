// kept_files.cpp - a complete file that could not be named is kept.
#include "kept_files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "failure.h"
#include "file_ops.h"
#include "temporary_locks.h"

namespace dravoututil {

namespace {

// Takes every write permission from the regular file path (not followed
// through a link) and checks that path still names it afterwards.
bool mark_by_name(const std::string& path) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat opened {}, named {};
  if (!file.valid() || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) return false;
  if (::fchmod(file.get(), opened.st_mode & 07555) != 0) return false;
  return ::lstat(path.c_str(), &named) == 0 && same_file(opened, named);
}

}  // namespace

std::string keep_complete_file(UniqueNamer& namer, HeldTemporaries& held, const std::string& source,
                               std::string_view extension, std::size_t capacity) {
  try {
    std::string name = namer.move_to_kept_name(source, extension, capacity);
    held.release(source);
    return name;
  } catch (const Failure& not_moved) {
    // Marked through the held descriptor where there is one, so that no
    // other file put under the name is touched.
    const bool marked = held.make_read_only(source) ? held.still_named(source) : mark_by_name(source);
    held.release(source);
    if (marked) return source;
    throw Failure(std::string(not_moved.what()) + "; " + source +
                  " could not be marked as complete either, or no longer names the file");
  }
}

}  // namespace dravoututil
