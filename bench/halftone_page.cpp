// halftone_page.cpp - renders the halftone-like benchmark page.
#include "halftone_page.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numbers>

namespace bench {
namespace {

// Screen cell in pixels (150 lines per inch at 2400 ppi) and screen angle.
constexpr double kCell = 16.0;
constexpr double kAngle = 15.0 * std::numbers::pi / 180.0;
constexpr int kCosSteps = 1024;

// cos(2 pi k / kCosSteps) for one period, so the spot function needs no
// trigonometry per pixel.
std::array<double, kCosSteps> cosine_table() {
  std::array<double, kCosSteps> table{};
  for (int k = 0; k < kCosSteps; ++k) table[k] = std::cos(2.0 * std::numbers::pi * k / kCosSteps);
  return table;
}

// Cosine of 2 pi times a screen coordinate, through the table.
double cos_turns(const std::array<double, kCosSteps>& table, double turns) {
  const double frac = turns - std::floor(turns);
  return table[static_cast<int>(frac * kCosSteps) & (kCosSteps - 1)];
}

}  // namespace

HalftonePage::HalftonePage(int width, int height)
    : width_(width),
      height_(height),
      stride_(4 * ((static_cast<std::size_t>(width) + 31) / 32)),
      bits_(stride_ * static_cast<std::size_t>(height), 0) {
  const auto table = cosine_table();
  const double c = std::cos(kAngle) / kCell;
  const double s = std::sin(kAngle) / kCell;

  // The tone field is a sum of products of a column term and a row term, so
  // the sines are computed once per column and once per row.
  const double kx = 2.0 * std::numbers::pi / (0.61 * width);
  const double ky = 2.0 * std::numbers::pi / (0.47 * height);
  const double kd = 2.0 * std::numbers::pi / (0.23 * (width + height));
  std::vector<double> sin_x(width), sin_dx(width), cos_dx(width);
  for (int x = 0; x < width; ++x) {
    sin_x[x] = std::sin(kx * x);
    sin_dx[x] = std::sin(kd * x);
    cos_dx[x] = std::cos(kd * x);
  }

  uint64_t ink = 0;
  for (int y = 0; y < height; ++y) {
    const double cos_y = std::cos(ky * y);
    const double sin_dy = std::sin(kd * y);
    const double cos_dy = std::cos(kd * y);
    uint8_t* row = bits_.data() + static_cast<std::size_t>(y) * stride_;
    for (int x = 0; x < width; ++x) {
      // sin(kd (x - y)) by the difference formula; stretched and clamped so
      // the page has empty and solid areas as well as every tone between.
      const double diagonal = sin_dx[x] * cos_dy - cos_dx[x] * sin_dy;
      const double raw = 0.5 + 0.45 * sin_x[x] * cos_y + 0.3 * diagonal;
      const double tone = std::clamp(1.3 * raw - 0.15, 0.0, 1.0);
      // Round dot: the spot value peaks at each cell centre; a pixel is ink
      // where it lies within the tone's share of the cell.
      const double u = c * x + s * y;
      const double v = -s * x + c * y;
      const double spot = 0.5 + 0.25 * (cos_turns(table, u) + cos_turns(table, v));
      if (spot > 1.0 - tone) row[x >> 3] |= static_cast<uint8_t>(1u << (x & 7));
    }
    for (std::size_t i = 0; i < stride_; ++i) ink += static_cast<uint64_t>(std::popcount(row[i]));
  }
  coverage_ = static_cast<double>(ink) / (static_cast<double>(width) * height);
}

const HalftonePage& shared_page() {
  static const HalftonePage page(kPageWidth, kPageHeight);
  return page;
}

}  // namespace bench
