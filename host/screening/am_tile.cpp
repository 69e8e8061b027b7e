// am_tile.cpp - ranking the pixels of an AM supercell.
#include "screening/am_tile.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>
#include <vector>

#include "screening/dispersed_order.h"
#include "screening/lone_pixels.h"
#include "screening/spot_function.h"

namespace riphost {

namespace {

constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;
// Dots of the shapes that meet at points grow to this much beyond half the
// cell before the holes start to shrink: around 50 % every dot then holds
// the same number of pixels (past it a cell's ink follows its pixels).
constexpr double kDotMargin = 0.02;
// Levels just above the dots' share over which the pixels beyond a hole's
// share fill, in their order (the thresholds are spread by rank later).
constexpr double kExcessBand = 0.03;
// A tile pixel no dot or hole has given a threshold yet.
constexpr std::uint16_t kUnset = 0xFFFFu;

// The cells of a supercell: the cell lattice Z^2 taken modulo the tile's
// sides (A, B) and (-B, A), each cell named by its representative in the
// parallelogram the two sides span. A table over the parallelogram's
// bounding box widened by kReach names the cell of every position in it, so
// that the neighbours the dispersed order asks for (within kReach) are
// looked up without reducing them.
class CellLattice final : public SiteTorus {
 public:
  static constexpr std::int64_t kReach = 32;

  CellLattice(std::int64_t A, std::int64_t B) : A_(A), B_(B), n_(A * A + B * B) {
    const std::int64_t xs[] = {0, A, -B, A - B}, ys[] = {0, B, A, A + B};
    const std::int64_t lo_i = *std::min_element(xs, xs + 4), lo_j = *std::min_element(ys, ys + 4);
    const std::int64_t hi_i = *std::max_element(xs, xs + 4), hi_j = *std::max_element(ys, ys + 4);
    i0_ = lo_i - kReach, j0_ = lo_j - kReach;
    side_i_ = hi_i - lo_i + 1 + 2 * kReach, side_j_ = hi_j - lo_j + 1 + 2 * kReach;
    table_.assign(static_cast<std::size_t>(side_i_ * side_j_), kNoCell);
    for (std::int64_t j = lo_j; j <= hi_j; ++j) {
      for (std::int64_t i = lo_i; i <= hi_i; ++i) {
        std::int64_t ri = i, rj = j;
        reduce(ri, rj);
        if (ri != i || rj != j) continue;
        table_[slot(i, j)] = static_cast<std::uint32_t>(cells_.size());
        cells_.push_back({i, j});
      }
    }
    for (std::int64_t j = j0_; j < j0_ + side_j_; ++j) {
      for (std::int64_t i = i0_; i < i0_ + side_i_; ++i) table_[slot(i, j)] = id(i, j);
    }
  }

  std::uint32_t size() const noexcept override { return static_cast<std::uint32_t>(cells_.size()); }
  std::uint32_t neighbour(std::uint32_t site, int dx, int dy) const noexcept override {
    if (dx < -kReach || dx > kReach || dy < -kReach || dy > kReach) {
      return id(cells_[site].i + dx, cells_[site].j + dy);
    }
    return table_[slot(cells_[site].i + dx, cells_[site].j + dy)];
  }
  std::uint32_t id(std::int64_t i, std::int64_t j) const noexcept {
    reduce(i, j);
    return table_[slot(i, j)];
  }
  std::int64_t i(std::uint32_t site) const noexcept { return cells_[site].i; }
  std::int64_t j(std::uint32_t site) const noexcept { return cells_[site].j; }

 private:
  struct Cell {
    std::int64_t i, j;
  };
  // (i, j) minus whole sides, into the parallelogram.
  void reduce(std::int64_t& i, std::int64_t& j) const noexcept {
    const std::int64_t s = floor_div(i * A_ + j * B_, n_);
    const std::int64_t t = floor_div(-i * B_ + j * A_, n_);
    const std::int64_t ri = i - s * A_ + t * B_;
    j = j - s * B_ - t * A_;
    i = ri;
  }
  std::size_t slot(std::int64_t i, std::int64_t j) const noexcept {
    return static_cast<std::size_t>((j - j0_) * side_i_ + (i - i0_));
  }

  std::int64_t A_, B_, n_;
  std::int64_t i0_ = 0, j0_ = 0, side_i_ = 1, side_j_ = 1;
  std::vector<std::uint32_t> table_;
  std::vector<Cell> cells_;
};

// Where the pixels of the tile lie among the cells: the cell coordinates of
// pixel (x, y)'s centre are u = u_num / D and v = v_num / D, whole numbers.
class PixelGeometry {
 public:
  explicit PixelGeometry(const Supercell& c)
      : U1_(c.A * c.P - c.B * c.Q), U2_(c.A * c.Q + c.B * c.P), n_(c.cells()), D_(2 * c.pixels()) {}

  std::int64_t u_num(std::int64_t x, std::int64_t y) const noexcept { return (2 * x + 1) * U1_ + (2 * y + 1) * U2_; }
  std::int64_t v_num(std::int64_t x, std::int64_t y) const noexcept { return (2 * x + 1) * U2_ - (2 * y + 1) * U1_; }
  std::int64_t D() const noexcept { return D_; }

  // The pixels whose centres may lie in cell coordinates [u0, u0 + 1) x
  // [v0, v0 + 1): x0 <= x < x1, y0 <= y < y1.
  void pixel_box(double u0, double v0, std::int64_t& x0, std::int64_t& x1, std::int64_t& y0,
                 std::int64_t& y1) const noexcept {
    double lo_x = 1e300, hi_x = -1e300, lo_y = 1e300, hi_y = -1e300;
    for (int corner = 0; corner < 4; ++corner) {
      const double u = u0 + (corner & 1), v = v0 + (corner >> 1);
      // z = u e_u + v e_v with e_u = (U1, U2) / n, e_v = (U2, -U1) / n.
      const double zx = (u * U1_ + v * U2_) / n_, zy = (u * U2_ - v * U1_) / n_;
      lo_x = std::min(lo_x, zx), hi_x = std::max(hi_x, zx), lo_y = std::min(lo_y, zy), hi_y = std::max(hi_y, zy);
    }
    x0 = static_cast<std::int64_t>(std::floor(lo_x - 0.5)) - 1, x1 = static_cast<std::int64_t>(std::ceil(hi_x)) + 1;
    y0 = static_cast<std::int64_t>(std::floor(lo_y - 0.5)) - 1, y1 = static_cast<std::int64_t>(std::ceil(hi_y)) + 1;
  }

  // How u_num and v_num grow from pixel x to x + 1.
  std::int64_t du() const noexcept { return 2 * U1_; }
  std::int64_t dv() const noexcept { return 2 * U2_; }

  // The position of a coordinate within its cell, whose floor is cell, from
  // -1 to 1.
  double local(std::int64_t num, std::int64_t cell) const noexcept {
    const std::int64_t rest = num - cell * D_;
    return (2.0 * static_cast<double>(rest) - static_cast<double>(D_)) / static_cast<double>(D_);
  }

 private:
  std::int64_t U1_, U2_, n_, D_;
};

// Unsigned keys in the order of the numbers (-0 taken as 0).
std::uint64_t ordered(double value) noexcept {
  const auto bits = std::bit_cast<std::uint64_t>(value + 0.0);
  return bits >> 63 ? ~bits : bits | (std::uint64_t{1} << 63);
}
std::uint32_t ordered(float value) noexcept {
  const auto bits = std::bit_cast<std::uint32_t>(value + 0.0f);
  return bits >> 31 ? ~bits : bits | (std::uint32_t{1} << 31);
}

// One pixel of a dot or hole, in the order it takes ink: highest spot value
// first, then the tie key, then the turn around the centre. The numbers are
// kept as unsigned keys, so that a comparison is two integer ones (tiles
// sort millions of pixels).
struct Ranked {
  std::uint64_t spot_key;   // falls as the spot value grows
  std::uint64_t order_key;  // the tie key, then the turn
  std::size_t index;

  Ranked(double spot, float tie, float turn, std::size_t at) noexcept
      : spot_key(~ordered(spot)), order_key(std::uint64_t{ordered(tie)} << 32 | ordered(turn)), index(at) {}
  bool above_zero() const noexcept { return spot_key < ~ordered(0.0); }
  bool operator<(const Ranked& o) const noexcept {
    if (spot_key != o.spot_key) return spot_key < o.spot_key;
    if (order_key != o.order_key) return order_key < o.order_key;
    return index < o.index;
  }
};

// A number from 0 to 1 that grows with the direction of (x, y), once
// around (cheaper than the angle itself, and as good for an order).
float turn_of(double x, double y) noexcept {
  const double size = std::fabs(x) + std::fabs(y);
  if (size == 0.0) return 0.0f;
  const double t = y >= 0.0 ? 1.0 - x / size : 3.0 + x / size;
  return static_cast<float>(t / 4.0);
}

// The tile under construction.
class AmTileBuilder {
 public:
  AmTileBuilder(const Supercell& cell, DotShape dot, TileStop stop)
      : stop_(std::move(stop)), cell_(cell), dot_(dot), geometry_(cell), lattice_(cell.A, cell.B),
        tile_(cell.brick_width(), cell.brick_height(), cell.brick_shift(), kUnset) {}

  ThresholdTile build() {
    const std::vector<std::uint32_t> order = dispersed_ranks(lattice_, 7u, stop_);
    dither_.resize(order.size());
    for (std::size_t c = 0; c < order.size(); ++c) dither_[c] = (order[c] + 0.5) / static_cast<double>(order.size());
    cell_pixels_ = static_cast<double>(cell_.pixels()) / static_cast<double>(cell_.cells());
    dot_pixels_ = (dot_part_share(dot_) + (dots_keep_their_part(dot_) ? 0.0 : kDotMargin)) * cell_pixels_;
    std::int64_t taken = 0;
    for (std::uint32_t c = 0; c < lattice_.size(); ++c) {
      taken += grow_dot(c);
      stop_.poll(pixels_.size());
    }
    dot_share_ = static_cast<double>(taken) / static_cast<double>(cell_.pixels());
    for (std::uint32_t c = 0; c < lattice_.size(); ++c) {
      shrink_hole(c);
      stop_.poll(pixels_.size());
    }
    remove_lone_pixels(tile_, stop_);
    spread_thresholds(tile_, stop_);
    tile_.finish();
    return std::move(tile_);
  }

 private:
  // Gathers the pixels whose centres lie in cell coordinates [u0, u0 + 1) x
  // [v0, v0 + 1), with (u0, v0) = (i, j) for a cell and (i, j) - 1/2 for the
  // region around corner (i, j), not yet in order; with unset_only, only
  // those without a threshold yet.
  void gather(std::int64_t i, std::int64_t j, bool corner, bool unset_only, double d) {
    const std::int64_t D = geometry_.D(), half = corner ? D / 2 : 0;
    // Members: i D - half <= u < (i + 1) D - half, the same for v and j.
    const std::int64_t u_lo = i * D - half, v_lo = j * D - half;
    const double shift = corner ? 0.5 : 0.0;
    std::int64_t x0, x1, y0, y1;
    geometry_.pixel_box(static_cast<double>(i) - shift, static_cast<double>(j) - shift, x0, x1, y0, y1);
    const std::int64_t width = tile_.width();
    pixels_.clear();
    for (std::int64_t y = y0; y < y1; ++y) {
      std::int64_t column = 0;
      const std::size_t row = static_cast<std::size_t>(tile_.place_row(y, column)) * tile_.stride();
      // The row's members are the pixels from xa to xb: u and v grow
      // evenly along the row.
      std::int64_t xa = x0, xb = x1;
      narrow(geometry_.u_num(x0, y), geometry_.du(), u_lo, u_lo + D, x0, xa, xb);
      narrow(geometry_.v_num(x0, y), geometry_.dv(), v_lo, v_lo + D, x0, xa, xb);
      std::int64_t c = floor_mod(xa + column, width);
      std::int64_t u = geometry_.u_num(xa, y), v = geometry_.v_num(xa, y);
      for (std::int64_t x = xa; x < xb; ++x, u += geometry_.du(), v += geometry_.dv(), c = c + 1 == width ? 0 : c + 1) {
        const std::size_t index = row + static_cast<std::size_t>(c);
        if (unset_only && tile_.at_index(index) != kUnset) continue;
        const double lx = geometry_.local(u, corner ? (u < i * D ? i - 1 : i) : i);
        const double ly = geometry_.local(v, corner ? (v < j * D ? j - 1 : j) : j);
        // Around a corner the pixel's direction is seen from the corner.
        const double ax = corner ? lx - std::copysign(1.0, lx) : lx, ay = corner ? ly - std::copysign(1.0, ly) : ly;
        float turn = turn_of(ax, ay) + static_cast<float>(d);
        turn -= std::floor(turn);
        pixels_.emplace_back(spot_value(dot_, lx, ly), static_cast<float>(spot_tie_key(lx, ly, !corner)), turn, index);
      }
    }
  }

  // Narrows [xa, xb) to the x at which f0 + step (x - x0) lies in [lo, hi).
  static void narrow(std::int64_t f0, std::int64_t step, std::int64_t lo, std::int64_t hi, std::int64_t x0,
                     std::int64_t& xa, std::int64_t& xb) noexcept {
    std::int64_t first = 0, end = 0;  // of x - x0
    if (step > 0) {
      first = -floor_div(f0 - lo, step), end = -floor_div(f0 - hi, step);
    } else if (step < 0) {
      first = floor_div(f0 - hi, -step) + 1, end = floor_div(f0 - lo, -step) + 1;
    } else if (f0 < lo || f0 >= hi) {
      xb = xa;
      return;
    } else {
      return;
    }
    xa = std::max(xa, x0 + first), xb = std::max(xa, std::min(xb, x0 + end));
  }

  void put(std::size_t index, double share) noexcept {
    const double scaled = std::floor(share * 65535.0);
    tile_.at_index(index) =
        scaled >= ThresholdTile::kMaxThreshold ? ThresholdTile::kMaxThreshold : static_cast<std::uint16_t>(scaled);
  }

  // The dot of cell c: its pixels of highest spot value, as many as the dot
  // part of a cell holds on average; the pixel of rank r takes the share
  // (r + d) / (pixels per cell). A shape whose dots keep their part takes
  // none of the cell's pixels at or below 0 (a dot with fewer pixels in its
  // part than the average is full early and waits for the holes). Returns
  // how many it took.
  std::int64_t grow_dot(std::uint32_t c) {
    const double d = dither_[c];
    gather(lattice_.i(c), lattice_.j(c), false, false, d);
    auto part = pixels_.end();
    if (dots_keep_their_part(dot_)) {
      part = std::partition(pixels_.begin(), pixels_.end(), [](const Ranked& p) { return p.above_zero(); });
    }
    // Only the pixels the dot takes need their order: they are the first
    // ones of the whole order, picked before they are sorted.
    const auto available = static_cast<std::size_t>(part - pixels_.begin());
    std::size_t taken = 0;
    while (taken < available && static_cast<double>(taken) + d < dot_pixels_) ++taken;
    const auto last = pixels_.begin() + static_cast<std::ptrdiff_t>(taken);
    if (taken < available) std::nth_element(pixels_.begin(), last, part);
    std::sort(pixels_.begin(), last);
    for (std::size_t r = 0; r < taken; ++r) put(pixels_[r].index, (static_cast<double>(r) + d) / cell_pixels_);
    return static_cast<std::int64_t>(taken);
  }

  // The hole around corner (i, j) of cell c: the pixels near it that no dot
  // took. Holes shrink as dots grow: at level f the hole keeps its deepest
  // (1 - f) A pixels as paper (A the pixels of a cell on average), the one
  // of depth rank q (0 deepest) filling at 1 - (q + 1 - d) / A, so that
  // every region keeps its share of paper whatever pixels the grid gave its
  // holes (no beat). A hole's pixels beyond that share fill first, in their
  // order, just above the dots' share F.
  void shrink_hole(std::uint32_t c) {
    const double d = dither_[c];
    gather(lattice_.i(c), lattice_.j(c), true, true, d);
    std::sort(pixels_.begin(), pixels_.end());
    const double n = static_cast<double>(pixels_.size());
    for (std::size_t r = 0; r < pixels_.size(); ++r) {
      const double depth = n - 1.0 - static_cast<double>(r);
      const double level = 1.0 - (depth + 1.0 - d) / cell_pixels_;
      put(pixels_[r].index, std::max(level, dot_share_ + kExcessBand * (static_cast<double>(r) + d) / n));
    }
  }

  TileStop stop_;
  const Supercell& cell_;
  DotShape dot_;
  PixelGeometry geometry_;
  CellLattice lattice_;
  ThresholdTile tile_;
  std::vector<double> dither_;
  double cell_pixels_ = 1.0;  // pixels per cell on average
  double dot_pixels_ = 0.5;   // of them in a full dot
  double dot_share_ = 0.5;    // share of the tile's pixels in dots
  std::vector<Ranked> pixels_;
};

}  // namespace

ThresholdTile build_am_tile(const Supercell& cell, DotShape dot, TileStop stop) {
  return AmTileBuilder(cell, dot, std::move(stop)).build();
}

}  // namespace riphost
