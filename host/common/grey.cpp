// grey.cpp - thresholding a row of luminance values into ink bits.
#include "common/grey.h"

namespace riphost {

// Eight pixels per output byte; the comparison loop has no branches.
void threshold_row(const std::uint8_t* grey, int pixels, int threshold, std::uint8_t* bits) noexcept {
  int full = pixels / 8;
  for (int i = 0; i < full; ++i) {
    const std::uint8_t* g = grey + 8 * i;
    unsigned byte = 0;
    for (int k = 0; k < 8; ++k) byte |= static_cast<unsigned>(g[k] < threshold) << k;
    bits[i] = static_cast<std::uint8_t>(byte);
  }
  int rest = pixels - 8 * full;
  if (rest > 0) {
    const std::uint8_t* g = grey + 8 * full;
    unsigned byte = 0;
    for (int k = 0; k < rest; ++k) byte |= static_cast<unsigned>(g[k] < threshold) << k;
    bits[full] = static_cast<std::uint8_t>(byte);
  }
}

}  // namespace riphost
