// tiff_baseline.h - the baseline for the scanline benchmarks: the same rows
// written straight through libtiff, in strips of the size the TAV writer
// uses, without our libraries.
#ifndef BENCH_TIFF_BASELINE_H
#define BENCH_TIFF_BASELINE_H

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace bench {

class TiffBaseline {
 public:
  // An image of width x height pixels of bits (1 or 8) per pixel. The strip
  // buffer is allocated here, once.
  TiffBaseline(int width, int height, int bits);

  // Writes the image to path: row y is the first row-bytes of rows + y *
  // stride, stored as it is (no bit reordering), Deflate-compressed when
  // deflate is set. Each strip goes out with one TIFFWriteEncodedStrip. The
  // file is flushed and synced before it is closed, as the TAV writer does.
  // Throws std::runtime_error when libtiff fails.
  void Write(const std::filesystem::path& path, const uint8_t* rows, std::size_t stride, bool deflate);

  std::size_t RowBytes() const noexcept { return row_bytes_; }
  uint32_t RowsPerStrip() const noexcept { return rows_per_strip_; }

 private:
  int width_;
  int height_;
  int bits_;
  std::size_t row_bytes_;
  uint32_t rows_per_strip_;
  std::vector<uint8_t> strip_;
};

}  // namespace bench

#endif  // BENCH_TIFF_BASELINE_H
