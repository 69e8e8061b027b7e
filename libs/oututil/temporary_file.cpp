// temporary_file.cpp - creating a temporary output file under a fresh name.
#include <errno.h>
#include <unistd.h>

#include "failure.h"
#include "file_ops.h"
#include "names.h"
#include "output_files.h"

namespace dravoututil {

namespace {

// Attempts at a free temporary name before giving up.
constexpr int kMaxAttempts = 1000;

}  // namespace

// Creates an empty temporary file and returns its name.
std::string create_temporary_file(std::string_view folder, std::string_view job,
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
    if (int err = file.close(); err != 0) {
      ::unlink(name.c_str());
      fail_with_errno("cannot close " + name, err);
    }
    return name;
  }
  throw Failure("no free temporary name in " + std::string(folder));
}

}  // namespace dravoututil
