// unique_files.cpp - final names: moving a finished file to a name no file
// has, and copying it to further such names.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ascii_text.h"
#include "failure.h"
#include "file_ops.h"
#include "names.h"
#include "output_files.h"

namespace dravoututil {

namespace {

// Attempts at a free temporary name for a copy before giving up.
constexpr int kMaxTemporaryAttempts = 1000;

// Throws unless name plus its zero byte fits capacity bytes.
void require_fit(const std::string& name, std::size_t capacity) {
  if (name.size() >= capacity) {
    throw Failure("the file name " + name + " does not fit in " + decimal(capacity) + " bytes");
  }
}

// Opens source for reading and checks that it is a regular file; returns its
// permission bits through mode.
FileDescriptor open_copy_source(const std::string& source, mode_t& mode) {
  // O_NONBLOCK keeps a FIFO under that name from stalling the open.
  FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!in.valid()) {
    int err = errno;
    fail_with_errno("cannot open " + source, err);
  }
  struct stat status {};
  if (::fstat(in.get(), &status) != 0) {
    int err = errno;
    fail_with_errno("cannot examine " + source, err);
  }
  if (!S_ISREG(status.st_mode)) throw Failure("cannot copy " + source + ": not a regular file");
  mode = status.st_mode & 0777;
  return in;
}

// Creates the copy's temporary file ".<stem>.<pid>.<sequence>.copy" beside
// the source; returns its name and descriptor.
std::string create_copy_temporary(const PathParts& parts, const std::string& stem, mode_t mode,
                                  FileDescriptor& out) {
  for (int attempt = 0; attempt < kMaxTemporaryAttempts; ++attempt) {
    std::string name = parts.folder_prefix + temporary_base_name(stem, ".copy");
    out = create_exclusive(name, mode);
    if (out.valid()) return name;
    if (errno != EEXIST) {
      int err = errno;
      fail_with_errno("cannot create " + name, err);
    }
  }
  throw Failure("no free temporary name in " + folder_of(parts));
}

}  // namespace

// Moves source to the first free final name.
std::string move_to_unique_name(const std::string& source, std::string_view extension,
                                std::size_t capacity, std::string& last_tried, MoveMethod method) {
  last_tried.clear();
  if (extension.find('/') != std::string_view::npos) {
    throw Failure("the file extension " + std::string(extension) + " holds a \"/\"");
  }
  PathParts parts = split_path(source);
  if (parts.base.empty()) throw Failure("cannot move " + source + ": no file name");
  std::string stem = stem_of_temporary(parts.base);

  // The contents reach the disk before the file gets the name under which
  // others may pick it up.
  sync_file(source);
  std::string final_name;
  for (unsigned long number = 1;; ++number) {
    if (number > kMaxCandidates) throw Failure("no free final name for " + source);
    std::string candidate = numbered_name(parts.folder_prefix, stem, number, extension);
    require_fit(candidate, capacity);
    last_tried = candidate;
    if (move_without_replacing(source, candidate, method) == MoveResult::moved) {
      final_name = std::move(candidate);
      break;
    }
  }
  try {
    sync_folder(folder_of(parts));
  } catch (const Failure& not_synced) {
    // The new name may not survive a crash: give the file its old name back
    // so that the failure leaves it where the caller expects it.
    std::string reason = not_synced.what();
    bool moved_back = false;
    try {
      moved_back = move_without_replacing(final_name, source, method) == MoveResult::moved;
    } catch (const Failure&) {
      moved_back = false;
    }
    if (moved_back) throw Failure(reason);
    throw Failure(reason + "; the file is now named " + final_name);
  }
  return final_name;
}

// Copies source to the first free numbered name.
std::string copy_to_unique_name(const std::string& source, std::size_t capacity,
                                MoveMethod method) {
  PathParts parts = split_path(source);
  if (parts.base.empty()) throw Failure("cannot copy " + source + ": no file name");
  FinalNameParts name = split_final_name(parts.base);

  mode_t mode = 0;
  FileDescriptor in = open_copy_source(source, mode);
  FileDescriptor out;
  std::string temporary = create_copy_temporary(parts, name.stem, mode, out);
  RemoveOnFailure remove_temporary(temporary);

  copy_contents(in.get(), out.get(), source, temporary);
  if (::fsync(out.get()) != 0) {
    int err = errno;
    fail_with_errno("cannot sync " + temporary, err);
  }
  if (int err = out.close(); err != 0) fail_with_errno("cannot close " + temporary, err);

  std::string final_name;
  for (unsigned long number = 2;; ++number) {
    if (number > kMaxCandidates) throw Failure("no free name for a copy of " + source);
    std::string candidate = numbered_name(parts.folder_prefix, name.stem, number, name.extension);
    require_fit(candidate, capacity);
    if (move_without_replacing(temporary, candidate, method) == MoveResult::moved) {
      final_name = std::move(candidate);
      break;
    }
  }
  remove_temporary.release();
  try {
    sync_folder(folder_of(parts));
  } catch (const Failure&) {
    ::unlink(final_name.c_str());
    throw;
  }
  return final_name;
}

}  // namespace dravoututil
