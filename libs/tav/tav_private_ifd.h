// tav_private_ifd.h - the private IFD that holds the TAV tag directory.
//
// The main IFD's tag 65342 has type IFD (IFD8 in BigTIFF) and one value: the
// offset of a private IFD, as the EXIF IFD is stored. That IFD has one entry,
// tag 65342 of type UNDEFINED, whose value is the tag directory's bytes
// (tav_directory.h), stored right after the IFD. Its next-IFD offset is 0.
// General TIFF tools show the main IFD's entry as one number and leave the
// private IFD alone, however large the directory is.
//
// Files of the first layout carry the directory bytes directly as the value
// of tag 65342 in the main IFD; the reader takes both.
#ifndef TAV_PRIVATE_IFD_H
#define TAV_PRIVATE_IFD_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tav {

// How a file codes its IFDs.
struct IfdForm {
  bool bigtiff = false;     // 8-byte counts and offsets, 20-byte entries
  bool big_endian = false;  // "MM" byte order
};

// Bytes of the private IFD as the writer makes it (entry count, one entry,
// next-IFD offset): 18 in TIFF, 36 in BigTIFF.
std::size_t PrivateIfdBytes(const IfdForm& form) noexcept;

// The private IFD for an IFD placed at offset at, pointing to data_size
// bytes of directory stored right after it. Empty when the offsets do not fit
// the form (classic TIFF ends at 4 GiB) or the directory is small enough to
// sit inside the entry (a directory always has more than 8 bytes).
std::vector<uint8_t> EncodePrivateIfd(const IfdForm& form, uint64_t at, uint64_t data_size);

// Where the directory bytes of a file lie.
struct ByteRange {
  uint64_t offset = 0;
  uint64_t size = 0;
};

// Reads the private IFD at offset at of the open file fd, file_size bytes
// long, and returns where the value of its entry for tag 65342 lies. Every
// count and offset is checked against the file; the value must be a byte
// array (UNDEFINED or BYTE) of at most kMaxDirectoryBytes. Throws
// std::runtime_error naming the fault.
ByteRange LocateDirectory(int fd, uint64_t file_size, const IfdForm& form, uint64_t at);

// Reads size bytes at offset of fd into out (resized to size). Throws
// std::runtime_error when the file ends early or cannot be read.
void ReadExactly(int fd, uint64_t offset, std::size_t size, std::vector<uint8_t>& out);

}  // namespace tav

#endif  // TAV_PRIVATE_IFD_H
