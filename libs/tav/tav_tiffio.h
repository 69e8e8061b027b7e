// tav_tiffio.h - opening TIFF files through libtiff with its messages
// captured per handle instead of printed, and with the system calls of a
// written file done by us, so a failure is reported with the system's reason.
#ifndef TAV_TIFFIO_H
#define TAV_TIFFIO_H

#include <tiffio.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "tav.h"
#include "tav_syserror.h"

namespace tav {

// Errors libtiff reported for one handle. Must outlive the TIFF handle it
// was given to, up to and including TIFFClose.
struct TiffMessages {
  std::string last_error;
  bool error_seen = false;

  // last_error without the leading "path: " libtiff puts on many messages,
  // for texts that name the file already.
  std::string ErrorAbout(const std::string& path) const;
};

// The descriptor of a file written through libtiff and the first system
// call on it that failed. Must outlive the TIFF handle it was given to, up to
// and including TIFFClose (which closes the descriptor).
struct FileIo {
  int fd = -1;
  int error = 0;                  // errno of the first failed call, 0 when none failed
  const char* doing = "writing";  // what that call did: "writing", "seeking in", ...

  // Keeps the first failure only: later calls usually fail because of it.
  void Record(int err, const char* what) noexcept;
  // The failure as "<system text> (<doing> <subject>)", e.g. "No space left
  // on device (writing row 1048 of /out/x.tmp)"; subject names the file
  // (and more). Empty when no call failed.
  std::string Describe(const std::string& subject) const;
};

// Opens path with libtiff mode (e.g. "w", "w8", "rm"), routing errors to
// messages and silencing warnings. Returns null on failure, with the reason
// in messages.last_error.
TIFF* OpenTiff(const char* path, const char* mode, TiffMessages& messages);

// Creates (or truncates) path and opens it with libtiff mode "w" or "w8"; the
// reads, writes, seeks and the close go through io, which records the errno
// of the first that fails. Returns null on failure, with the reason in
// messages.last_error (and io.error when the system refused).
TIFF* CreateTiff(const char* path, const char* mode, FileIo& io, TiffMessages& messages);

// fsync of io's file, recorded in io when it fails. Returns 0 or the errno.
int SyncFile(FileIo& io) noexcept;

// Opens path for reading when it is a regular file; never blocks on a FIFO or
// a device. Returns the descriptor, or -1 with the reason in error ("No such
// file or directory", "not a regular file (a FIFO)", ...).
int OpenRegularFile(const char* path, std::string& error);

// Opens the descriptor fd (of path) with libtiff mode "r..."; libtiff owns
// fd from then on. On failure fd is closed and null is returned with the
// reason in messages.last_error.
TIFF* OpenTiffDescriptor(int fd, const char* path, const char* mode, TiffMessages& messages);

// Makes the TAV directory tag known to a handle open for writing as one IFD
// offset (type IFD8, written as IFD in classic TIFF), so it can be set as a
// uint64_t. Returns false when the tag number is already taken by a
// different definition.
bool DefineDirectoryTag(TIFF* tif);

// How a file stores the TAV directory tag, as the handle reads it.
enum class DirectoryTagForm {
  kAbsent,     // no tag 65342
  kBytes,      // the directory bytes themselves (UNDEFINED or BYTE)
  kIfdOffset,  // the offset of the private IFD (IFD, IFD8, LONG or LONG8)
  kOther,      // any other type: not readable
};

// The form of the directory tag. A file may give the tag any type number,
// also one libtiff does not know: the number is compared as a number, never
// held as a TIFFDataType.
DirectoryTagForm DirectoryTagFormOf(TIFF* tif);

// The offset a kIfdOffset tag holds. False when it holds not exactly one
// value.
bool DirectoryIfdOffset(TIFF* tif, uint64_t& offset);

// Moves io's file position to the end of the file and gives that offset in
// end. False on failure, recorded in io.
bool SeekToEnd(FileIo& io, uint64_t& end);

// Writes size bytes at io's file position through the same checked writes as
// libtiff's (the test seam's kWrite failures included). False on failure,
// recorded in io.
bool WriteToFile(FileIo& io, const void* data, std::size_t size);

// Test seam. The system calls of written files a test can make fail, and the
// compression of a strip (kCompress: the strip's coding fails on the worker
// that codes it; counted per strip handed over, errno is not used).
enum class IoCall { kWrite, kSync, kClose, kCompress };

// Test seam: in the calling thread, the next `succeed` calls of kind call on
// files opened by CreateTiff pass, and every later one fails with errno
// error as a full or broken disk would (a failing write writes nothing; a
// failing close still releases the descriptor). Only one kind fails at a
// time; ClearIoFailureForTesting ends it. Not used outside the tests.
TAV_API void FailIoForTesting(IoCall call, int succeed, int error) noexcept;
TAV_API void ClearIoFailureForTesting() noexcept;

// True when the test seam makes this call of kind call fail (and counts it);
// for the calls the library makes outside this file.
bool IoFailureInjected(IoCall call) noexcept;

}  // namespace tav

#endif  // TAV_TIFFIO_H
