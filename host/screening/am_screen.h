// am_screen.h - an AM halftone screen at the device resolution.
//
// A screen cuts the page into square cells of ppi / ruling pixels, turned by
// its angle (counterclockwise, as the page is seen). Within a cell a spot
// function ranks the positions: the dot grows from the highest value down,
// so that an ink share a covers about a of the cell and a darker tint always
// covers every pixel a lighter one covers. The ranks are worked out once, on
// a grid of kTile x kTile positions per cell; screening a pixel is then a few
// multiplications and one table read.
//
// Spot functions (x and y from -1 to 1 across the cell, the centre at 0):
//   round    (cos pi x + cos pi y) / 2
//   ellipse  -(x^2 + 1.7 y^2): elongated dots along the screen's angle
//   line     cos pi y: lines along the screen's angle
#ifndef RIPHOST_AM_SCREEN_H
#define RIPHOST_AM_SCREEN_H

#include <array>
#include <cstdint>
#include <vector>

#include "ticket/screen_spec.h"

namespace riphost {

class AmScreen {
 public:
  // Positions per cell side in the rank table.
  static constexpr int kTile = 128;

  // ppi: device resolution; ruling > 0 in lines per inch; angle in degrees.
  AmScreen(double ppi, double ruling, double angle, DotShape dot);

  // Starts row y; ink_at then answers for that row.
  void start_row(int y) noexcept;

  // Whether pixel x of the current row is ink at an ink level of 0 (none) to
  // 255 (full); 0 is never ink, 255 always.
  bool ink_at(int x, unsigned ink) const noexcept {
    const double u = u_row_ + x * du_;
    const double v = v_row_ + x * dv_;
    return rank_[cell_index(u, v)] < cutoff_[ink & 0xFFu];
  }

  // Pixels per cell side.
  double cell() const noexcept { return cell_; }

 private:
  static unsigned cell_index(double u, double v) noexcept;

  std::vector<std::uint16_t> rank_;  // kTile * kTile ranks, 0 inks first
  std::array<std::uint32_t, 256> cutoff_{};
  double cell_ = 1.0;
  double cos_ = 1.0, sin_ = 0.0;
  double du_ = 0.0, dv_ = 0.0;
  double u_row_ = 0.0, v_row_ = 0.0;
};

}  // namespace riphost

#endif  // RIPHOST_AM_SCREEN_H
