// file_ops.cpp - creating, moving, copying and syncing files.
#include "file_ops.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "failure.h"

namespace dravoututil {

namespace {

// Size of the buffer of the read/write copy.
constexpr std::size_t kCopyBufferSize = 1 << 16;

// Largest request handed to one copy_file_range call.
constexpr std::size_t kCopyChunk = std::size_t{1} << 30;

// Writes all size bytes of data to fd, resuming after short writes.
void write_all(int fd, const char* data, std::size_t size, const std::string& name) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      fail_with_errno("cannot write " + name, err);
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

// Copies the rest of in to out through a buffer.
void copy_by_read_write(int in, int out, const std::string& in_name, const std::string& out_name) {
  auto buffer = std::make_unique<char[]>(kCopyBufferSize);
  for (;;) {
    ssize_t got = ::read(in, buffer.get(), kCopyBufferSize);
    if (got < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      fail_with_errno("cannot read " + in_name, err);
    }
    if (got == 0) return;
    write_all(out, buffer.get(), static_cast<std::size_t>(got), out_name);
  }
}

// True for the errors with which copy_file_range says it cannot serve this
// pair of files (the caller then copies through a buffer).
bool copy_range_unsupported(int err) {
  return err == EXDEV || err == ENOSYS || err == EINVAL || err == EOPNOTSUPP || err == EPERM;
}

// Moves with link + unlink: link fails with EEXIST when to is taken.
MoveResult move_by_link(const std::string& from, const std::string& to) {
  if (::link(from.c_str(), to.c_str()) != 0) {
    if (errno == EEXIST) return MoveResult::name_taken;
    int err = errno;
    fail_with_errno("cannot move " + from + " to " + to, err);
  }
  if (::unlink(from.c_str()) != 0) {
    int err = errno;
    ::unlink(to.c_str());  // the file keeps its old name only
    fail_with_errno("cannot move " + from + " to " + to, err);
  }
  return MoveResult::moved;
}

}  // namespace

// Closes the descriptor; returns 0, or the error number of close.
int FileDescriptor::close() {
  if (fd_ < 0) return 0;
  int result = ::close(fd_);
  fd_ = -1;
  // Linux releases the descriptor even when close reports EINTR.
  return (result == 0 || errno == EINTR) ? 0 : errno;
}

// Closes the descriptor quietly.
void FileDescriptor::reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

// Removes the file unless released.
RemoveOnFailure::~RemoveOnFailure() {
  if (!path_.empty()) ::unlink(path_.c_str());
}

// Creates path exclusively for writing.
FileDescriptor create_exclusive(const std::string& path, mode_t mode) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return FileDescriptor(fd);
}

// Moves from to to without replacing anything.
MoveResult move_without_replacing(const std::string& from, const std::string& to,
                                  MoveMethod method) {
  if (method == MoveMethod::automatic) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
      return MoveResult::moved;
    }
    if (errno == EEXIST) return MoveResult::name_taken;
    if (errno != EINVAL && errno != ENOSYS) {
      int err = errno;
      fail_with_errno("cannot move " + from + " to " + to, err);
    }
  }
  return move_by_link(from, to);
}

// Flushes the file path to disk.
void sync_file(const std::string& path) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!file.valid()) {
    int err = errno;
    fail_with_errno("cannot open " + path + " to sync it", err);
  }
  if (::fsync(file.get()) != 0) {
    int err = errno;
    fail_with_errno("cannot sync " + path, err);
  }
}

// Flushes the folder's entries to disk.
void sync_folder(const std::string& folder) {
  FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) {
    int err = errno;
    fail_with_errno("cannot open folder " + folder + " to sync it", err);
  }
  if (::fsync(dir.get()) != 0 && errno != EINVAL) {
    int err = errno;
    fail_with_errno("cannot sync folder " + folder, err);
  }
}

// Copies the rest of in to out.
void copy_contents(int in, int out, const std::string& in_name, const std::string& out_name) {
  for (;;) {
    ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, kCopyChunk, 0);
    if (copied > 0) continue;
    if (copied == 0) return;
    if (errno == EINTR) continue;
    // The file systems cannot copy this pair in the kernel: the buffer copy
    // carries on from the current offsets.
    if (copy_range_unsupported(errno)) break;
    int err = errno;
    fail_with_errno("cannot copy " + in_name + " to " + out_name, err);
  }
  copy_by_read_write(in, out, in_name, out_name);
}

}  // namespace dravoututil
