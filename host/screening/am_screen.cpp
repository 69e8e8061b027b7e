// am_screen.cpp - rank table and pixel test of an AM screen.
#include "screening/am_screen.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

namespace riphost {

namespace {

constexpr int kCells = AmScreen::kTile * AmScreen::kTile;

// The spot value at (x, y) in [-1, 1]^2; higher values take ink first.
double spot(DotShape dot, double x, double y) noexcept {
  constexpr double pi = std::numbers::pi;
  switch (dot) {
    case DotShape::Round: return (std::cos(pi * x) + std::cos(pi * y)) / 2.0;
    case DotShape::Ellipse: return -(x * x + 1.7 * y * y);
    case DotShape::Line: return std::cos(pi * y) + 1e-3 * std::cos(pi * x);
  }
  return 0.0;
}

}  // namespace

AmScreen::AmScreen(double ppi, double ruling, double angle, DotShape dot) : rank_(kCells) {
  // Rank every position of the cell by its spot value; equal values keep the
  // order of their positions, so the ranks are a permutation.
  std::vector<double> value(kCells);
  for (int j = 0; j < kTile; ++j) {
    for (int i = 0; i < kTile; ++i) {
      const double x = 2.0 * (i + 0.5) / kTile - 1.0;
      const double y = 2.0 * (j + 0.5) / kTile - 1.0;
      value[static_cast<std::size_t>(j * kTile + i)] = spot(dot, x, y);
    }
  }
  std::vector<int> order(kCells);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return value[a] > value[b]; });
  for (int r = 0; r < kCells; ++r) rank_[static_cast<std::size_t>(order[r])] = static_cast<std::uint16_t>(r);
  // Ink level k covers the ceil(k / 255 * cells) first ranks.
  for (unsigned k = 0; k < 256; ++k) cutoff_[k] = static_cast<std::uint32_t>((k * kCells + 254u) / 255u);

  cell_ = ppi / ruling;
  const double radians = angle * std::numbers::pi / 180.0;
  cos_ = std::cos(radians);
  sin_ = std::sin(radians);
  // Page coordinates run up the page, rows down it: (X, Y) = (x, -y).
  du_ = cos_ / cell_;
  dv_ = -sin_ / cell_;
  start_row(0);
}

// The cell coordinates of the centre of pixel (0, y); along the row they
// grow by (du_, dv_) per pixel.
void AmScreen::start_row(int y) noexcept {
  const double X = 0.5;
  const double Y = -(y + 0.5);
  u_row_ = (X * cos_ + Y * sin_) / cell_;
  v_row_ = (-X * sin_ + Y * cos_) / cell_;
}

// The table position of the cell coordinates (u, v).
unsigned AmScreen::cell_index(double u, double v) noexcept {
  const double fu = u - std::floor(u);
  const double fv = v - std::floor(v);
  unsigned i = static_cast<unsigned>(fu * kTile);
  unsigned j = static_cast<unsigned>(fv * kTile);
  if (i >= static_cast<unsigned>(kTile)) i = kTile - 1;
  if (j >= static_cast<unsigned>(kTile)) j = kTile - 1;
  return j * kTile + i;
}

}  // namespace riphost

namespace riphost {

const char* dot_name(DotShape dot) noexcept {
  switch (dot) {
    case DotShape::Round: return "round";
    case DotShape::Ellipse: return "ellipse";
    case DotShape::Line: return "line";
  }
  return "round";
}

bool dot_from_name(std::string_view name, DotShape& dot) noexcept {
  for (DotShape d : {DotShape::Round, DotShape::Ellipse, DotShape::Line}) {
    if (name == dot_name(d)) {
      dot = d;
      return true;
    }
  }
  return false;
}

}  // namespace riphost
