// halftone_page.h - a rendered 1-bit page that looks like a halftoned plate:
// a clustered-dot screen at 15 degrees over a smooth tone field with solid
// and empty areas. Deflate speed depends on content, so the benchmarks feed
// this rather than blank rows.
#ifndef BENCH_HALFTONE_PAGE_H
#define BENCH_HALFTONE_PAGE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

class HalftonePage {
 public:
  // Renders width x height pixels once. Rows are laid out as the host hands
  // them to the plug-in: pixel j of each byte in bit j, padded to whole 32-bit
  // words.
  HalftonePage(int width, int height);

  int Width() const noexcept { return width_; }
  int Height() const noexcept { return height_; }
  // Bytes from one row to the next (the padded host row).
  std::size_t Stride() const noexcept { return stride_; }
  const uint8_t* Row(int y) const noexcept { return bits_.data() + static_cast<std::size_t>(y) * stride_; }
  const uint8_t* Data() const noexcept { return bits_.data(); }
  // Share of ink pixels, 0..1, to show the content is neither blank nor solid.
  double InkCoverage() const noexcept { return coverage_; }

 private:
  int width_;
  int height_;
  std::size_t stride_;
  double coverage_ = 0.0;
  std::vector<uint8_t> bits_;
};

// The page rendered once per process at the size the benchmarks use.
const HalftonePage& shared_page();

// Width and height of shared_page().
inline constexpr int kPageWidth = 8192;
inline constexpr int kPageHeight = 4096;

}  // namespace bench

#endif  // BENCH_HALFTONE_PAGE_H
