// resampler.h - a placed contone image at the device resolution, row by row.
//
// Image rows are read once each, in order, and page rows come out in order:
// vertically first at the image's width (two rows held), then across to the
// page's width. Enlarging interpolates bilinearly between the nearest image
// pixels; reducing averages the image pixels each device pixel covers (a box
// filter, weighed by the share of each pixel). Device pixels whose centre
// lies outside the image are paper (0). Ink is 16-bit throughout; memory
// depends on the widths only.
#ifndef RIPHOST_RESAMPLER_H
#define RIPHOST_RESAMPLER_H

#include <cstdint>
#include <functional>
#include <vector>

#include "screening/placement.h"

namespace riphost {

class Resampler {
 public:
  // Reads image row after image row into its argument (columns values).
  using ReadRow = std::function<void(std::uint16_t* row)>;

  // The image as placed, on a page page_width pixels wide.
  Resampler(const PlacedImage& image, int page_width, ReadRow read);

  // Writes page row y (rows from 0 in order; a row before the last one asked
  // for starts nothing new) into ink[0 .. page_width).
  void row(long long y, std::uint16_t* ink);

 private:
  // Image pixels (or rows) and their weights for one device pixel (or row).
  struct Taps {
    std::vector<int> first;      // per device pixel: index of its first weight
    std::vector<int> count;      // how many
    std::vector<int> source;     // image pixel of each weight
    std::vector<float> weight;
    int from = 0, to = 0;        // device pixels [from, to) inside the image
  };
  static Taps make_taps(double origin, double scale, int image_size, int device_size);
  const std::uint16_t* image_row(int r);

  PlacedImage image_;
  int page_width_;
  ReadRow read_;
  Taps across_;
  std::vector<std::uint16_t> held_[2];  // the last two image rows read
  int held_index_[2] = {-1, -1};
  int next_image_row_ = 0;
  std::vector<float> column_;  // the vertical blend at the image's width
};

}  // namespace riphost

#endif  // RIPHOST_RESAMPLER_H
