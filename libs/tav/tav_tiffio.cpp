// tav_tiffio.cpp - libtiff handles with captured messages, our own system
// calls for written files, and the definition of the TAV directory tag.
#include "tav_tiffio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tav_layout.h"

namespace tav {
namespace {

// The failure a test asked for (see FailIoForTesting).
struct IoFault {
  bool active = false;
  IoCall call = IoCall::kWrite;
  int succeed = 0;  // calls that still pass
  int error = 0;
};
thread_local IoFault t_fault;

// True when this call of kind call is to fail; sets errno then.
bool Injected(IoCall call) noexcept {
  if (!t_fault.active || t_fault.call != call) return false;
  if (t_fault.succeed > 0) {
    --t_fault.succeed;
    return false;
  }
  errno = t_fault.error;
  return true;
}

// libtiff's read procedure for a written file (libtiff reads back when it
// rewrites a directory).
tmsize_t ReadProc(thandle_t handle, void* data, tmsize_t size) {
  auto* io = static_cast<FileIo*>(handle);
  auto* bytes = static_cast<char*>(data);
  tmsize_t done = 0;
  while (done < size) {
    const ssize_t n = read(io->fd, bytes + done, static_cast<std::size_t>(size - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      io->Record(errno, "reading");
      return -1;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

}  // namespace

// All bytes or a failure kept in io; the test seam may make it fail.
bool WriteToFile(FileIo& io, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    if (Injected(IoCall::kWrite)) {
      io.Record(errno, "writing");
      return false;
    }
    const ssize_t n = write(io.fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      io.Record(errno, "writing");
      return false;
    }
    if (n == 0) {  // nothing taken and no reason given: the device is full
      io.Record(ENOSPC, "writing");
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

namespace {

// libtiff's write procedure: all bytes or a failure with its errno kept.
tmsize_t WriteProc(thandle_t handle, void* data, tmsize_t size) {
  if (size < 0) return -1;
  auto* io = static_cast<FileIo*>(handle);
  return WriteToFile(*io, data, static_cast<std::size_t>(size)) ? size : -1;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* io = static_cast<FileIo*>(handle);
  if (offset > static_cast<toff_t>(INT64_MAX)) {
    io->Record(EOVERFLOW, "seeking in");
    return static_cast<toff_t>(-1);
  }
  const off_t at = lseek(io->fd, static_cast<off_t>(offset), whence);
  if (at < 0) {
    io->Record(errno, "seeking in");
    return static_cast<toff_t>(-1);
  }
  return static_cast<toff_t>(at);
}

// Closes the descriptor once; a failure (an NFS server out of space, say)
// is kept. close is not retried after EINTR: the descriptor is gone then.
int CloseProc(thandle_t handle) {
  auto* io = static_cast<FileIo*>(handle);
  if (io->fd < 0) return 0;
  int result = close(io->fd);
  io->fd = -1;
  if (result == 0 && Injected(IoCall::kClose)) result = -1;
  if (result != 0) {
    io->Record(errno, "closing");
    return -1;
  }
  return 0;
}

toff_t SizeProc(thandle_t handle) {
  auto* io = static_cast<FileIo*>(handle);
  struct stat st {};
  if (fstat(io->fd, &st) != 0) {
    io->Record(errno, "reading the size of");
    return 0;
  }
  return static_cast<toff_t>(st.st_size);
}

// Written files are never mapped.
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

// Formats a libtiff message as "module: text".
std::string FormatMessage(const char* module, const char* fmt, va_list ap) {
  char text[1024];
  std::vsnprintf(text, sizeof text, fmt, ap);
  std::string out;
  if (module != nullptr && module[0] != '\0') {
    out = module;
    out += ": ";
  }
  out += text;
  return out;
}

// libtiff error handler: keeps the text and stops the global handler.
int OnError(TIFF*, void* user_data, const char* module, const char* fmt, va_list ap) {
  auto* messages = static_cast<TiffMessages*>(user_data);
  messages->error_seen = true;
  try {
    messages->last_error = FormatMessage(module, fmt, ap);
  } catch (...) {
    // Out of memory while formatting: the flag alone marks the failure.
  }
  return 1;
}

// libtiff warning handler: drops the warning, which would otherwise go to
// the global handler and be printed.
int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

char kDirectoryTagName[] = "TAVDirectory";

// How the writer stores the tag: one IFD offset (written as type IFD in TIFF
// and IFD8 in BigTIFF) pointing to the private IFD of tav_private_ifd.h.
const TIFFFieldInfo kDirectoryField[] = {
    {kDirectoryTiffTag, 1, 1, TIFF_IFD8, FIELD_CUSTOM, /*field_oktochange=*/1,
     /*field_passcount=*/0, kDirectoryTagName},
};

}  // namespace

// The last error with the file name dropped from its front.
std::string TiffMessages::ErrorAbout(const std::string& path) const {
  const std::string prefix = path + ": ";
  if (last_error.compare(0, prefix.size(), prefix) == 0) return last_error.substr(prefix.size());
  return last_error;
}

namespace {

// Options that route the handle's messages to messages; null when out of
// memory.
TIFFOpenOptions* MessageOptions(TiffMessages& messages) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) {
    messages.error_seen = true;
    messages.last_error = "out of memory";
    return nullptr;
  }
  TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, &messages);
  return options;
}

}  // namespace

void FileIo::Record(int err, const char* what) noexcept {
  if (error != 0) return;
  error = err != 0 ? err : EIO;
  doing = what;
}

std::string FileIo::Describe(const std::string& subject) const {
  if (error == 0) return {};
  return SystemErrorText(error) + " (" + doing + " " + subject + ")";
}

// Opens a TIFF file with per-handle message handlers.
TIFF* OpenTiff(const char* path, const char* mode, TiffMessages& messages) {
  TIFFOpenOptions* options = MessageOptions(messages);
  if (options == nullptr) return nullptr;
  TIFF* tif = TIFFOpenExt(path, mode, options);
  TIFFOpenOptionsFree(options);
  if (tif == nullptr && messages.last_error.empty()) messages.last_error = "cannot open the file";
  return tif;
}

// Creates the file and hands libtiff our system calls for it.
TIFF* CreateTiff(const char* path, const char* mode, FileIo& io, TiffMessages& messages) {
  io.fd = open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (io.fd < 0) {
    io.Record(errno, "creating");
    messages.error_seen = true;
    messages.last_error = SystemErrorText(io.error);
    return nullptr;
  }
  TIFFOpenOptions* options = MessageOptions(messages);
  TIFF* tif = options == nullptr
                  ? nullptr
                  : TIFFClientOpenExt(path, mode, static_cast<thandle_t>(&io), ReadProc, WriteProc,
                                      SeekProc, CloseProc, SizeProc, MapProc, UnmapProc, options);
  if (options != nullptr) TIFFOpenOptionsFree(options);
  if (tif == nullptr) {
    // libtiff does not close what it failed to open.
    close(io.fd);
    io.fd = -1;
    if (messages.last_error.empty()) messages.last_error = "cannot open the file";
    return nullptr;
  }
  TIFFSetFileno(tif, io.fd);
  return tif;
}

int SyncFile(FileIo& io) noexcept {
  if (Injected(IoCall::kSync) || fsync(io.fd) != 0) {
    const int err = errno;
    io.Record(err, "syncing");
    return err != 0 ? err : EIO;
  }
  return 0;
}

// Refuses FIFOs, devices and folders before anything reads from them: O_NONBLOCK
// keeps the open itself from waiting for a FIFO's writer.
int OpenRegularFile(const char* path, std::string& error) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    error = SystemErrorText(errno);
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    error = SystemErrorText(errno);
    close(fd);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    const char* kind = S_ISDIR(st.st_mode)    ? "a folder"
                       : S_ISFIFO(st.st_mode) ? "a FIFO"
                       : S_ISCHR(st.st_mode)  ? "a character device"
                       : S_ISBLK(st.st_mode)  ? "a block device"
                       : S_ISSOCK(st.st_mode) ? "a socket"
                                              : "a special file";
    error = std::string("not a regular file (") + kind + ")";
    close(fd);
    return -1;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    error = SystemErrorText(errno);
    close(fd);
    return -1;
  }
  return fd;
}

TIFF* OpenTiffDescriptor(int fd, const char* path, const char* mode, TiffMessages& messages) {
  TIFFOpenOptions* options = MessageOptions(messages);
  TIFF* tif = options == nullptr ? nullptr : TIFFFdOpenExt(fd, path, mode, options);
  if (options != nullptr) TIFFOpenOptionsFree(options);
  if (tif == nullptr) {
    close(fd);
    if (messages.last_error.empty()) messages.last_error = "cannot open the file";
  }
  return tif;
}

void FailIoForTesting(IoCall call, int succeed, int error) noexcept {
  t_fault = IoFault{true, call, succeed, error};
}

void ClearIoFailureForTesting() noexcept { t_fault = IoFault{}; }

bool IoFailureInjected(IoCall call) noexcept { return Injected(call); }

// Merges the directory tag's definition into the handle.
bool DefineDirectoryTag(TIFF* tif) {
  if (TIFFMergeFieldInfo(tif, kDirectoryField, 1) != 0) return false;
  const TIFFField* field = TIFFFindField(tif, kDirectoryTiffTag, TIFF_ANY);
  return field != nullptr && static_cast<int>(TIFFFieldDataType(field)) == TIFF_IFD8 &&
         !TIFFFieldPassCount(field) && TIFFFieldWriteCount(field) == 1;
}

// Classifies how the handle reads the directory tag.
DirectoryTagForm DirectoryTagFormOf(TIFF* tif) {
  const TIFFField* field = TIFFFindField(tif, kDirectoryTiffTag, TIFF_ANY);
  if (field == nullptr) return DirectoryTagForm::kAbsent;
  if (!TIFFFieldPassCount(field) || TIFFFieldReadCount(field) != TIFF_VARIABLE2) {
    return DirectoryTagForm::kOther;
  }
  // Taken as a number at once: a type number the file made up is no valid
  // TIFFDataType value.
  const int type = static_cast<int>(TIFFFieldDataType(field));
  if (type == TIFF_UNDEFINED || type == TIFF_BYTE) return DirectoryTagForm::kBytes;
  const int size = TIFFFieldSetGetSize(field);
  if ((type == TIFF_IFD || type == TIFF_IFD8 || type == TIFF_LONG || type == TIFF_LONG8) &&
      (size == 4 || size == 8)) {
    return DirectoryTagForm::kIfdOffset;
  }
  return DirectoryTagForm::kOther;
}

// The one offset of the directory tag as the handle read it.
bool DirectoryIfdOffset(TIFF* tif, uint64_t& offset) {
  const TIFFField* field = TIFFFindField(tif, kDirectoryTiffTag, TIFF_ANY);
  uint32_t count = 0;
  void* data = nullptr;
  if (field == nullptr || TIFFGetField(tif, kDirectoryTiffTag, &count, &data) != 1 ||
      count != 1 || data == nullptr) {
    return false;
  }
  const int size = TIFFFieldSetGetSize(field);
  if (size == 4) {
    uint32_t value = 0;
    std::memcpy(&value, data, 4);
    offset = value;
    return true;
  }
  if (size == 8) {
    std::memcpy(&offset, data, 8);
    return true;
  }
  return false;
}

bool SeekToEnd(FileIo& io, uint64_t& end) {
  const off_t at = lseek(io.fd, 0, SEEK_END);
  if (at < 0) {
    io.Record(errno, "seeking in");
    return false;
  }
  end = static_cast<uint64_t>(at);
  return true;
}

}  // namespace tav
