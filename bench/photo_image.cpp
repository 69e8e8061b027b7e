// photo_image.cpp - the photo-like tone field.
#include "photo_image.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace bench {

void photo_row(int width, int height, int y, std::uint8_t* ink) {
  const double pi = std::numbers::pi;
  // Soft blobs: centre x, y (shares of the page), radius (share), weight.
  static const double blobs[][4] = {{0.3, 0.3, 0.15, 0.35}, {0.7, 0.6, 0.2, -0.4}, {0.5, 0.85, 0.1, 0.3},
                                    {0.15, 0.7, 0.12, -0.25}, {0.85, 0.2, 0.09, 0.45}};
  const double v = static_cast<double>(y) / height;
  for (int x = 0; x < width; ++x) {
    const double u = static_cast<double>(x) / width;
    double t = 0.45 + 0.25 * std::sin(2 * pi * u * 1.3) * std::cos(2 * pi * v * 0.8) + 0.2 * (u - v);
    for (const auto& b : blobs) {
      const double d2 = ((u - b[0]) * (u - b[0]) + (v - b[1]) * (v - b[1])) / (b[2] * b[2]);
      t += b[3] * std::exp(-d2);
    }
    // A hard-edged shape (a window frame) and fine grain.
    if (u > 0.55 && u < 0.62 && v > 0.1 && v < 0.5) t = 0.92;
    std::uint32_t grain = static_cast<std::uint32_t>(x) * 2654435761u ^ static_cast<std::uint32_t>(y) * 2246822519u;
    grain ^= grain >> 15, grain *= 2654435769u, grain ^= grain >> 13;
    t += ((grain & 0xFF) / 255.0 - 0.5) * 0.03;
    ink[x] = static_cast<std::uint8_t>(std::lround(std::clamp(t, 0.0, 1.0) * 255.0));
  }
}

PhotoImage::PhotoImage(int width, int height)
    : width_(width), height_(height), ink_(static_cast<std::size_t>(width) * height), ink16_(ink_.size()) {
  double sum = 0.0;
  for (int y = 0; y < height; ++y) photo_row(width, height, y, ink_.data() + static_cast<std::size_t>(y) * width);
  for (std::size_t i = 0; i < ink_.size(); ++i) {
    ink16_[i] = static_cast<std::uint16_t>(ink_[i] * 257u);
    sum += ink_[i];
  }
  mean_ = sum / (255.0 * static_cast<double>(ink_.size()));
}

}  // namespace bench
