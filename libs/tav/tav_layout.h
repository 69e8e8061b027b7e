// tav_layout.h - sizes and limits that fix how a TAV file is laid out.
#ifndef TAV_LAYOUT_H
#define TAV_LAYOUT_H

#include <cstddef>
#include <cstdint>

namespace tav {

// Private TIFF tag of the TAV tag directory. In the main IFD it holds the
// offset of a private IFD (type IFD, IFD8 in BigTIFF) whose entry with the
// same number holds the directory bytes (type UNDEFINED); in files of the
// first layout the main IFD's tag holds the bytes itself.
inline constexpr uint32_t kDirectoryTiffTag = 65342;

// Raw bytes a strip aims at, so Deflate works on sizeable blocks.
inline constexpr uint64_t kStripTargetBytes = 512 * 1024;

// Raw image size above which the file is written as BigTIFF. Classic TIFF
// ends at 4 GiB; the margin covers compression overhead (PackBits may grow
// data by 1/128), the strip tables and the tag directory.
inline constexpr uint64_t kBigTiffThresholdBytes = 3ull * 1024 * 1024 * 1024;

// Largest tag directory a file may carry (all names and values together),
// kept below the BigTIFF margin so a classic TIFF never overflows.
inline constexpr uint64_t kMaxDirectoryBytes = 512ull * 1024 * 1024;

// Longest row, in bytes, a TAV file may have: room for a 1-bit row of any
// width up to 2^31 - 1 pixels, and for 8-bit rows of up to 2^28 pixels. The
// writer refuses wider pages and the reader files that claim them, so no
// file can make a reader allocate more than this for one row.
inline constexpr uint64_t kMaxRowBytes = 256ull * 1024 * 1024;

// Most raw bytes one stored byte of a strip can stand for, per TIFF
// compression: PackBits repeats a byte at most 128 times for a 2-byte code,
// Deflate at most 258 bytes for 2 bits (1032:1). A strip smaller than its
// rows divided by this cannot hold them.
inline constexpr uint64_t kMaxPackBitsRatio = 64;
inline constexpr uint64_t kMaxDeflateRatio = 1032;

// Longest tag name and file name, in bytes.
inline constexpr std::size_t kMaxNameBytes = 255;

// Bits per pixel stored for a format code, or 0 for an unknown code.
constexpr int BitsPerPixel(int format) noexcept {
  return (format == 1 || format == 2) ? 1 : format == 3 ? 8 : 0;
}

// Bytes of one stored (and one input) row.
constexpr uint64_t RowBytes(int bits_per_pixel, uint32_t width) noexcept {
  return bits_per_pixel == 1 ? (uint64_t{width} + 7) / 8 : uint64_t{width};
}

// Rows per strip: about kStripTargetBytes of raw data, at least one row, at
// most the image height.
constexpr uint32_t RowsPerStrip(uint64_t row_bytes, uint32_t height) noexcept {
  uint64_t rows = row_bytes == 0 ? 1 : kStripTargetBytes / row_bytes;
  if (rows < 1) rows = 1;
  if (rows > height) rows = height;
  return static_cast<uint32_t>(rows);
}

// True when an image of raw_bytes must be written as BigTIFF.
constexpr bool NeedsBigTiff(uint64_t raw_bytes) noexcept {
  return raw_bytes > kBigTiffThresholdBytes;
}

}  // namespace tav

#endif  // TAV_LAYOUT_H
