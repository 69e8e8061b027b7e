// halftone_screen.h - one screen at the device resolution, as thresholds.
//
// An AM screen (round, euclidean, ellipse, line) is the threshold tile of
// its supercell (am_tile.h, supercell.h); an FM screen the blue-noise tile
// of its dot size (fm_tile.h). Tiles are shared within the process
// (tile_cache.h). A pixel is ink when its level (0 = paper to 65535 = full
// ink) is above its threshold.
#ifndef RIPHOST_HALFTONE_SCREEN_H
#define RIPHOST_HALFTONE_SCREEN_H

#include <cstdint>
#include <memory>
#include <string>

#include "screening/supercell.h"
#include "screening/threshold_tile.h"
#include "screening/tile_stop.h"
#include "ticket/screen_spec.h"

namespace riphost {

// Why an AM screen of ruling cannot be made at ppi (its cells below 2 or
// beyond the largest tile's pixels a side), or empty when it can.
std::string screen_size_problem(double ppi, double ruling, const TileLimits& limits = {});

class HalftoneScreen {
 public:
  // The screen a descriptor gives, at ppi. Throws HostError for a ruling whose
  // cell is below 2 pixels or beyond the largest tile, or an FM dot size
  // outside 1 to 64 pixels. A tile this screen builds asks stop as it goes
  // and throws TileBuildStopped once it says so.
  HalftoneScreen(double ppi, const ScreenSpec& spec, const TileLimits& limits = {}, const TileStop& stop = {});

  // Starts row y; the row's thresholds follow from row() and column().
  void start_row(std::int64_t y) noexcept { row_ = tile_->row_of(y, column_); }

  // Whether pixel x of the current row is ink at a level of 0 to 65535.
  bool inks(std::int64_t x, unsigned level) const noexcept {
    return level > row_[static_cast<std::size_t>((column_ + x) % tile_->width())];
  }
  // The same at an 8-bit ink level, 0 (none) to 255 (full).
  bool ink_at(int x, unsigned ink) const noexcept { return inks(x, (ink & 0xFFu) * 257u); }

  // The current row's stored thresholds and the column of its pixel 0; the
  // thresholds of pixels x .. x + 63 are row()[c .. c + 63] with c = (column()
  // + x) mod tile().width().
  const std::uint16_t* row() const noexcept { return row_; }
  std::int64_t column() const noexcept { return column_; }
  const ThresholdTile& tile() const noexcept { return *tile_; }
  // The tile, to be held beyond the screen.
  std::shared_ptr<const ThresholdTile> tile_ptr() const noexcept { return tile_; }

  // Pixels per cell side (AM; the dot size for FM).
  double cell() const noexcept { return cell_; }
  // The supercell of an AM screen (all zero for FM): the ruling and angle it
  // puts on the page.
  const Supercell& supercell() const noexcept { return supercell_; }

 private:
  std::shared_ptr<const ThresholdTile> tile_;
  Supercell supercell_;
  double cell_ = 1.0;
  const std::uint16_t* row_ = nullptr;
  std::int64_t column_ = 0;
};

}  // namespace riphost

#endif  // RIPHOST_HALFTONE_SCREEN_H
