// supercell.h - the periodic pixel tile of an AM screen.
//
// A screen at any angle and ruling repeats on the pixel grid only when some
// whole number of its cells spans a whole number of pixels. A supercell is
// such a span: the pixel vector (P, Q) equals A cells along the screen's
// angle plus B cells across it, and with its quarter turn (Q, -P) it
// outlines a square tile of A^2 + B^2 cells and P^2 + Q^2 pixels that
// repeats over the page. (P, Q) is the rounding of the exact vector, so the
// tile's screen is off the one asked for by a tiny angle and ruling; the
// search takes the smallest tile within the limits.
//
// The tile is stored as a brick of W x H pixels (H = gcd(P, Q), W = (P^2 +
// Q^2) / H): pixel (x, y) takes the brick's pixel (x - k S mod W, y mod H)
// with k = y div H, S the brick's shift.
#ifndef RIPHOST_SUPERCELL_H
#define RIPHOST_SUPERCELL_H

#include <cstdint>

#include "screening/tile_stop.h"

namespace riphost {

// What a supercell may cost and must reach.
struct TileLimits {
  double max_angle_error = 1e-4;   // degrees
  double max_ruling_error = 3e-4;  // lines per inch
  // The page's diagonal in pixels (0: unknown). A screen whose dots stay
  // within max_drift pixels of the exact screen over the whole page is as
  // good as exact there, which may allow a smaller tile.
  double page_extent = 0.0;
  double max_drift = 0.01;
  std::int64_t min_pixels = std::int64_t{1} << 16;  // enough cells to spread the levels
  // 24 MiB of 16-bit thresholds: room for the tiles that put the usual
  // screens (100 to 200 lpi at 2400 ppi, any angle) within the errors above.
  std::int64_t max_pixels = std::int64_t{3} << 22;
};

struct Supercell {
  std::int64_t P = 0, Q = 0;  // the tile's side in pixels (x right, y down)
  std::int64_t A = 0, B = 0;  // the same side in cells (along, across the angle)
  double ruling = 0.0;        // the tile's screen: lines per inch
  double angle = 0.0;         // and degrees
  std::int64_t cells() const noexcept { return A * A + B * B; }
  std::int64_t pixels() const noexcept { return P * P + Q * Q; }
  // The brick: H rows of W pixels, shift S (0 <= S < W).
  std::int64_t brick_height() const noexcept;
  std::int64_t brick_width() const noexcept { return pixels() / brick_height(); }
  std::int64_t brick_shift() const noexcept;
};

// The supercell of a screen of ruling lines per inch at angle degrees
// (counterclockwise as the page is seen) on a ppi grid: the smallest one
// within the limits' errors and sizes, else the most accurate one within
// max_pixels; all zero when no tile fits within max_pixels (a cell that,
// rounded to whole pixels, is larger: screen_size_problem refuses those).
// ppi / ruling must be at least 1 pixel. The search takes up to a second
// for fine cells (a few pixels a side): its answers are kept for the
// screens asked for again, and it asks stop as it goes (TileBuildStopped).
Supercell choose_supercell(double ppi, double ruling, double angle, const TileLimits& limits,
                           const TileStop& stop = {});

// floor(a / b) and a mod b in [0, b) for b > 0.
inline std::int64_t floor_div(std::int64_t a, std::int64_t b) noexcept {
  const std::int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}
inline std::int64_t floor_mod(std::int64_t a, std::int64_t b) noexcept { return a - floor_div(a, b) * b; }

}  // namespace riphost

#endif  // RIPHOST_SUPERCELL_H
