// temporary_file.cpp - creating a temporary output file under a fresh name.
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "failure.h"
#include "file_ops.h"
#include "names.h"
#include "output_files.h"
#include "temporary_locks.h"

namespace dravoututil {

namespace {

// Attempts at a free temporary name before giving up.
constexpr int kMaxAttempts = 1000;

}  // namespace

// Locks a new file as its writer's and checks that it still has its name.
bool claim_new_file(const std::string& path, const FileDescriptor& file) {
  switch (lock_as_writer(file.get())) {
    case WriterLock::busy:
      return false;  // a cleaner found the fresh, unlocked file and removes it
    case WriterLock::unsupported:
      return true;
    case WriterLock::held:
      break;
  }
  // A cleaner may have removed the name between the creation and the lock.
  struct stat held {}, named {};
  return ::fstat(file.get(), &held) == 0 && ::lstat(path.c_str(), &named) == 0 && same_file(held, named);
}

// Creates an empty, locked temporary file.
TemporaryFile create_temporary_file(std::string_view folder, std::string_view job,
                                    std::string_view suffix, std::int64_t seconds,
                                    std::size_t capacity) {
  if (suffix.find('/') != std::string_view::npos) {
    throw Failure("the file suffix " + std::string(suffix) + " holds a \"/\"");
  }
  std::string stem = sanitize_job_name(job);
  stem += '-';
  stem += time_stamp(seconds);
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    std::string name = join_folder(folder, temporary_base_name(stem, suffix));
    require_fit(name, capacity);
    FileDescriptor file = create_exclusive(name, 0666);
    if (!file.valid()) {
      if (errno == EEXIST) continue;
      int err = errno;
      fail_with_errno("cannot create " + name, err);
    }
    if (!claim_new_file(name, file)) continue;
    return TemporaryFile{std::move(name), std::move(file)};
  }
  throw Failure("no free temporary name in " + std::string(folder));
}

}  // namespace dravoututil
