// private_temp.cpp - making, locking, finding and removing private folders.
#include "sources/document/private_temp.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <system_error>
#include <utility>

#include "common/signals.h"
#include "sources/document/folder_on_stop.h"

namespace riphost {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLockName = "lock";
constexpr const char* kWorkName = "work";
// How long a folder without its lock file is taken to be in the making.
constexpr std::time_t kMakingSeconds = 60;
// Less room than this in the temporary folder is worth a word when
// Ghostscript fails.
constexpr unsigned long long kLowSpace = 64ull << 20;

// A descriptor closed when the object ends.
class Descriptor {
 public:
  explicit Descriptor(int fd) noexcept : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const noexcept { return fd_; }

 private:
  int fd_;
};

// Sets a lock of type on the whole file of fd without waiting.
bool lock_whole_file(int fd, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  int result;
  do {
    result = fcntl(fd, F_OFD_SETLK, &lock);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

// True when the process pid is known not to run here.
bool process_is_gone(long pid) {
  if (pid <= 0 || pid > INT_MAX || pid == getpid()) return false;
  return kill(static_cast<pid_t>(pid), 0) == -1 && errno == ESRCH;
}

// The process number in a private folder's name after prefix, or 0.
long folder_pid(const std::string& name, const std::string& prefix) {
  if (name.compare(0, prefix.size(), prefix) != 0) return 0;
  long pid = 0;
  const char* digits = name.c_str() + prefix.size();
  const auto [end, problem] = std::from_chars(digits, name.c_str() + name.size(), pid);
  return problem == std::errc() && end != digits && *end == '.' ? pid : 0;
}

// True when folder (a directory of this user, not a link) has no live
// owner: its lock file can be locked, or it has none and has not changed for
// a while. The lock is kept (in held) while the caller removes the folder,
// so that no other cleaner takes it meanwhile.
bool owner_is_gone(const fs::path& folder, int& held) {
  struct stat named {};
  if (lstat(folder.c_str(), &named) != 0 || !S_ISDIR(named.st_mode) || named.st_uid != geteuid()) return false;
  Descriptor directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat opened {};
  if (directory.get() < 0 || fstat(directory.get(), &opened) != 0 || opened.st_ino != named.st_ino ||
      opened.st_dev != named.st_dev) {
    return false;
  }
  const int lock = openat(directory.get(), kLockName, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (lock < 0) return errno == ENOENT && std::time(nullptr) - named.st_mtime > kMakingSeconds;
  struct stat lock_file {};
  if (fstat(lock, &lock_file) != 0 || !S_ISREG(lock_file.st_mode) || !lock_whole_file(lock, F_WRLCK)) {
    close(lock);
    return false;
  }
  held = lock;
  return true;
}

// Ghostscript's library crashes when it cannot make the scratch files of a
// page's band list (a file system out of inodes, say); a folder that cannot
// take the two of them is refused before Ghostscript starts. 0 or errno.
int scratch_files_fail(const fs::path& work) {
  std::string first = (work / "probe.XXXXXX").string();
  std::string second = first;
  const int a = mkostemp(first.data(), O_CLOEXEC);
  const int b = a < 0 ? -1 : mkostemp(second.data(), O_CLOEXEC);
  const int reason = a < 0 || b < 0 ? errno : 0;
  for (const auto& [fd, name] : {std::pair{a, &first}, std::pair{b, &second}}) {
    if (fd < 0) continue;
    unlink(name->c_str());
    close(fd);
  }
  return reason;
}

// Makes folder's lock file, held locked in fd: locked under another name
// first, so that a cleaner never finds it unlocked while its owner lives. A
// file system without such locks leaves it unlocked: cleaners then cannot
// tell the folder is gone and leave it alone. 0 or errno.
int make_lock_file(const fs::path& folder, int& fd) {
  const fs::path making = folder / ".lock.new";
  fd = open(making.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return errno;
  lock_whole_file(fd, F_WRLCK);
  return std::rename(making.c_str(), (folder / kLockName).c_str()) == 0 ? 0 : errno;
}

}  // namespace

fs::path temp_base() {
  const char* base = std::getenv("TMPDIR");
  return base && *base ? fs::path(base) : fs::path("/tmp");
}

std::string host_label() {
  char raw[257] = {};
  if (gethostname(raw, sizeof raw - 1) != 0) return "localhost";
  std::string label;
  for (const char* c = raw; *c && *c != '.' && label.size() < 64; ++c) {
    const bool plain = (*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9') ||
                       *c == '_' || *c == '-';
    label += plain ? *c : '_';
  }
  return label.empty() ? std::string("localhost") : label;
}

std::string private_folder_prefix() { return "riphost." + host_label() + "."; }

std::string temp_failure(const fs::path& folder, int reason) {
  const std::string why = std::strerror(reason);
  if (reason == ENOSPC) return "the temporary folder " + folder.string() + " is full (" + why + ")";
  if (reason == EDQUOT) return "the disk quota of the temporary folder " + folder.string() + " is used up (" + why + ")";
  return "cannot use the temporary folder " + folder.string() + ": " + why;
}

PrivateTempFolder::PrivateTempFolder(const fs::path& base) {
  std::string name = (base / (private_folder_prefix() + std::to_string(getpid()) + ".XXXXXX")).string();
  if (!mkdtemp(name.data())) throw TemporaryFolderError(temp_failure(base, errno));
  folder_ = name;
  work_ = folder_ / kWorkName;
  int made = make_lock_file(folder_, lock_);
  if (made == 0 && mkdir(work_.c_str(), 0700) != 0) made = errno;
  if (made == 0) made = scratch_files_fail(work_);
  if (made != 0) {
    remove();
    throw TemporaryFolderError(temp_failure(base, made));
  }
}

PrivateTempFolder::~PrivateTempFolder() { remove(); }

void PrivateTempFolder::remove() noexcept {
  if (folder_.empty()) return;
  std::error_code ignored;
  fs::path aside = folder_;
  aside += ".end";
  fs::remove_all(std::rename(folder_.c_str(), aside.c_str()) == 0 ? aside : folder_, ignored);
  // The lock goes last: a folder that still exists is never seen unlocked.
  if (lock_ >= 0) close(lock_);
  lock_ = -1;
  folder_.clear();
  work_.clear();
}

int remove_abandoned_private_folders(const fs::path& base, const std::function<void(const fs::path&)>& removed) {
  const std::string prefix = private_folder_prefix();
  int count = 0;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(base, error)) {
    if (!process_is_gone(folder_pid(entry.path().filename().string(), prefix))) continue;
    int held = -1;
    if (!owner_is_gone(entry.path(), held)) continue;
    std::error_code failed;
    const bool gone = fs::remove_all(entry.path(), failed) > 0 && !failed;
    if (held >= 0) close(held);
    if (!gone) continue;
    ++count;
    if (removed) removed(entry.path());
  }
  return count;
}

namespace {

std::mutex& scope_mutex() {
  static std::mutex mutex;
  return mutex;
}

TemporaryFolderScope*& innermost_scope() {
  static TemporaryFolderScope* scope = nullptr;
  return scope;
}

}  // namespace

TemporaryFolderScope::TemporaryFolderScope() {
  std::lock_guard<std::mutex> guard(scope_mutex());
  outer_ = innermost_scope();
  innermost_scope() = this;
}

TemporaryFolderScope::~TemporaryFolderScope() {
  std::lock_guard<std::mutex> guard(scope_mutex());
  innermost_scope() = outer_;
  if (!folder_) return;
  if (removed_on_stop_) disarm_folder_removal();
  // A Ghostscript left running after a stop may still read the environment
  // (the process ends at once then): TMPDIR stays as it is.
  if (!work_left_running()) {
    if (had_tmpdir_) {
      setenv("TMPDIR", tmpdir_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  folder_->remove();
}

fs::path TemporaryFolderScope::work() {
  if (folder_) return folder_->work();
  // Ghostscript's folder permissions are by name: an absolute one.
  std::error_code error;
  fs::path base = fs::absolute(temp_base(), error);
  if (error) base = temp_base();
  remove_abandoned_private_folders(base, {});
  auto folder = std::make_unique<PrivateTempFolder>(base);
  base_ = base;
  const char* old = std::getenv("TMPDIR");
  had_tmpdir_ = old != nullptr;
  tmpdir_ = old ? old : "";
  if (setenv("TMPDIR", folder->work().c_str(), 1) != 0) throw TemporaryFolderError(temp_failure(base, errno));
  folder_ = std::move(folder);
  removed_on_stop_ = arm_folder_removal(folder_->folder());
  return folder_->work();
}

fs::path private_folder_base() {
  std::lock_guard<std::mutex> guard(scope_mutex());
  const TemporaryFolderScope* scope = innermost_scope();
  return scope && scope->folder_ ? scope->base_ : temp_base();
}

std::string temp_space_note() {
  const fs::path base = private_folder_base();
  struct statvfs room {};
  if (statvfs(base.c_str(), &room) != 0) return {};
  const unsigned long long free = static_cast<unsigned long long>(room.f_bavail) * room.f_frsize;
  if (free >= kLowSpace) return {};
  return " (the temporary folder " + base.string() + " is full: only " + std::to_string(free >> 10) + " KiB free)";
}

fs::path private_work_folder() {
  std::lock_guard<std::mutex> guard(scope_mutex());
  TemporaryFolderScope* scope = innermost_scope();
  return scope ? scope->work() : temp_base();
}

}  // namespace riphost
