// tav_tiffio.h - opening TIFF files through libtiff with its messages
// captured per handle instead of printed.
#ifndef TAV_TIFFIO_H
#define TAV_TIFFIO_H

#include <tiffio.h>

#include <string>

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

// Opens path with libtiff mode (e.g. "w", "w8", "rm"), routing errors to
// messages and silencing warnings. Returns null on failure, with the reason
// in messages.last_error.
TIFF* OpenTiff(const char* path, const char* mode, TiffMessages& messages);

// Makes the TAV directory tag known to a handle open for writing, so it can
// be set as a byte array. Returns false when the tag number is already taken
// by a different definition.
bool DefineDirectoryTag(TIFF* tif);

// True when the handle's definition of the TAV directory tag is a byte array
// read as (uint32 count, pointer), as written by DefineDirectoryTag or as
// libtiff defines an unknown UNDEFINED or BYTE tag.
bool DirectoryTagReadable(TIFF* tif);

}  // namespace tav

#endif  // TAV_TIFFIO_H
