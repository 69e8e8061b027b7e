// tav_directory.h - the TAV tag directory: the file's TAV header fields and
// its named tags, encoded into one byte string (stored in a private IFD, see
// tav_private_ifd.h).
//
// Layout (all integers little-endian, doubles IEEE-754 binary64
// little-endian):
//   0  4  magic "TAVD"
//   4  2  version, 1
//   6  2  header size in bytes (40 in version 1; entries start there)
//   8  4  format code (signed)
//  12  4  compression code (signed)
//  16  4  mode flags (signed)
//  20  4  number of entries
//  24  8  page width in millimetres
//  32  8  page height in millimetres
// then per entry: 2 bytes name length (1..255), 4 bytes value length, the
// name bytes (no zero byte), the value bytes. Nothing follows the last entry.
#ifndef TAV_DIRECTORY_H
#define TAV_DIRECTORY_H

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "tav.h"

namespace tav {

// The TAV header fields kept in the directory.
struct DirectoryHeader {
  int32_t format = 0;
  int32_t compression = 0;
  int32_t mode = 0;
  double width_mm = 0.0;
  double height_mm = 0.0;
};

inline constexpr std::size_t kDirectoryHeaderBytes = 40;
inline constexpr std::size_t kDirectoryEntryHeaderBytes = 6;
inline constexpr uint16_t kDirectoryVersion = 1;

// Collects tags in the order they are added and encodes them with a header.
// The encoded bytes grow in place, so Finish copies nothing.
class DirectoryBuilder {
 public:
  DirectoryBuilder();

  // Appends a tag. Returns false (and keeps nothing) when the name is empty,
  // longer than 255 bytes or holds a zero byte, or when the directory would
  // pass kMaxDirectoryBytes.
  bool Add(std::string_view name, const uint8_t* value, std::size_t size);

  // Writes the header in front of the entries and returns the whole
  // directory; the builder is left empty.
  std::vector<uint8_t> Finish(const DirectoryHeader& header);

 private:
  std::vector<uint8_t> bytes_;
  uint32_t count_ = 0;
};

// A directory read back from a file.
struct Directory {
  DirectoryHeader header;
  std::vector<TavTag> tags;
};

// Decodes directory bytes, checking every length against the data. Throws
// std::runtime_error naming the fault when the bytes are not a valid
// directory.
Directory DecodeDirectory(const uint8_t* data, std::size_t size);

}  // namespace tav

#endif  // TAV_DIRECTORY_H
