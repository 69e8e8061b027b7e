// baseline_screener.h - riphost's row screener as it was before screening
// by threshold tiles, kept as the baseline of bench/screener_bench.cpp: a
// rank table of one cell sampled at each pixel's exact cell position, and a
// per-pixel loop over the row with each screen area painted for every row.
#ifndef BENCH_BASELINE_SCREENER_H
#define BENCH_BASELINE_SCREENER_H

#include <array>
#include <cstdint>
#include <vector>

#include "sources/row_source.h"
#include "ticket/screen_spec.h"

namespace baseline {

class AmScreen {
 public:
  // Positions per cell side in the rank table.
  static constexpr int kTile = 128;

  // ppi: device resolution; ruling > 0 in lines per inch; angle in degrees.
  AmScreen(double ppi, double ruling, double angle, riphost::DotShape dot);

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

class ContoneScreener {
 public:
  // screens: the separation's screens (at least one; the built-in default
  // when empty); areas name screens by their index in screens.
  ContoneScreener(int width, double ppi, const std::vector<riphost::SelectedScreen>& screens,
                  const std::vector<riphost::ScreenArea>& areas);

  // Screens row y: ink[0 .. width) and, when copydot is not null, the 1-bit
  // copydot row (plug-in order). Writes row (row_bytes(width) bytes, padding
  // clear) and reports the runs, in x order, to the callbacks that are set.
  void screen_row(int y, const std::uint8_t* ink, const std::uint8_t* copydot, std::uint8_t* row,
                  const riphost::RunCallbacks& runs) noexcept;

  int width() const noexcept { return width_; }

 private:
  void flush(std::uint32_t kind, int x0, int x1, std::uint8_t* row, const riphost::RunCallbacks& runs) const noexcept;

  int width_;
  std::vector<AmScreen> engines_;         // one per distinct screen that screens pixels
  std::vector<std::uint32_t> engine_of_;  // per selection entry: its engine (when it screens)
  std::vector<std::uint32_t> handles_;
  std::vector<std::uint32_t> same_as_;  // the first entry of the same screen
  std::vector<riphost::ScreenArea> areas_;
  std::vector<std::uint32_t> area_of_;  // screen index per pixel of the current row
};

}  // namespace baseline

#endif  // BENCH_BASELINE_SCREENER_H
