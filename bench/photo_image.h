// photo_image.h - a photo-like contone image for the screening benchmarks:
// broad gradients, soft blobs, hard edges and fine grain, so that the
// screener sees every tint, smooth areas and detail as in a photograph.
// Deterministic: the same size gives the same ink.
#ifndef BENCH_PHOTO_IMAGE_H
#define BENCH_PHOTO_IMAGE_H

#include <cstdint>
#include <vector>

namespace bench {

// Ink of row y of the photo at width x height pixels.
void photo_row(int width, int height, int y, std::uint8_t* ink);

class PhotoImage {
 public:
  // Ink (0 paper .. 255 full ink) of width x height pixels, worked out once.
  PhotoImage(int width, int height);
  int width() const noexcept { return width_; }
  int height() const noexcept { return height_; }
  const std::uint8_t* row(int y) const noexcept { return ink_.data() + static_cast<std::size_t>(y) * width_; }
  // The same rows widened to 16 bits (k * 257).
  const std::uint16_t* row16(int y) const noexcept { return ink16_.data() + static_cast<std::size_t>(y) * width_; }
  double mean_ink() const noexcept { return mean_; }

 private:
  int width_, height_;
  std::vector<std::uint8_t> ink_;
  std::vector<std::uint16_t> ink16_;
  double mean_ = 0.0;
};

}  // namespace bench

#endif  // BENCH_PHOTO_IMAGE_H
