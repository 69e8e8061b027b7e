// file_ops.h - the file-system steps behind the library's names: creating a
// file that no other writer holds, moving a file without replacing another,
// copying contents, and syncing files and folders to disk.
#ifndef DRAVOUTUTIL_FILE_OPS_H
#define DRAVOUTUTIL_FILE_OPS_H

#include <sys/types.h>

#include <string>
#include <utility>

namespace dravoututil {

// An open file descriptor, closed when the object ends.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  ~FileDescriptor() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Closes the descriptor; returns 0, or the error number of close.
  int close();

  // Closes the descriptor quietly.
  void reset();

 private:
  int fd_ = -1;
};

// Removes a file when the object ends, unless release() was called: a
// temporary name never outlives a failed operation.
class RemoveOnFailure {
 public:
  explicit RemoveOnFailure(std::string path) : path_(std::move(path)) {}
  RemoveOnFailure(const RemoveOnFailure&) = delete;
  RemoveOnFailure& operator=(const RemoveOnFailure&) = delete;
  ~RemoveOnFailure();

  void release() { path_.clear(); }

 private:
  std::string path_;
};

// Creates path for writing with O_CREAT|O_EXCL|O_CLOEXEC (permissions mode,
// less the umask). Returns the descriptor, or an invalid one with errno set
// (EEXIST when the name is taken).
FileDescriptor create_exclusive(const std::string& path, mode_t mode);

// How move_without_replacing moves a file.
enum class MoveMethod {
  automatic,        // renameat2(RENAME_NOREPLACE); link + unlink where unsupported
  link_then_unlink  // link + unlink only (what file systems without the flag get)
};

// Result of move_without_replacing.
enum class MoveResult { moved, name_taken };

// Moves from to to in one step, never replacing a file that has the name to,
// also when other processes do the same at the same time. Returns name_taken
// when to exists (from is then unchanged). Throws Failure on any other error;
// from then keeps its name.
MoveResult move_without_replacing(const std::string& from, const std::string& to,
                                  MoveMethod method = MoveMethod::automatic);

// Flushes the contents of the file path to disk (opened read-only). Throws
// Failure when it cannot be opened or flushed.
void sync_file(const std::string& path);

// Flushes the folder's entries (new and removed names) to disk. A file
// system that cannot sync folders (EINVAL) is accepted. Throws Failure on
// other errors.
void sync_folder(const std::string& folder);

// Copies everything from the current offset of in to out, with
// copy_file_range where the file systems allow it and read/write otherwise.
// Throws Failure on a read or write error.
void copy_contents(int in, int out, const std::string& in_name, const std::string& out_name);

}  // namespace dravoututil

#endif  // DRAVOUTUTIL_FILE_OPS_H
