// tile_preparation.h - building the tiles of several screens at once.
//
// The tile of a fine screen at an odd angle takes up to about a second to
// build, and a page's separations each bring their own screen. Before a
// page is screened its screens' tiles are built side by side on a few
// threads into the tile cache (tile_cache.h) and held there, so that the
// screens made for its separations, one after another, find them built.
#ifndef RIPHOST_TILE_PREPARATION_H
#define RIPHOST_TILE_PREPARATION_H

#include <memory>
#include <vector>

#include "screening/supercell.h"
#include "screening/threshold_tile.h"
#include "screening/tile_stop.h"
#include "ticket/screen_spec.h"

namespace riphost {

// A screen as it will be made: HalftoneScreen(ppi, spec, limits).
struct TileRequest {
  double ppi = 0.0;
  ScreenSpec spec;
  TileLimits limits;
};

class PreparedTiles {
 public:
  PreparedTiles() = default;
  // Builds the tiles of the requests on up to threads threads (0: one per
  // processor, at most 4). A screen that cannot be made is passed over: the
  // screen made for the separation later says why. Once stop says so the
  // builds end early and the rest are not started (stopped()).
  explicit PreparedTiles(const std::vector<TileRequest>& requests, unsigned threads = 0, const TileStop& stop = {});

  // The tiles held (those of the requests that could be made).
  std::size_t size() const noexcept { return tiles_.size(); }
  // The builds were ended by the stop question: the tiles are not all there.
  bool stopped() const noexcept { return stopped_; }

 private:
  std::vector<std::shared_ptr<const ThresholdTile>> tiles_;
  bool stopped_ = false;
};

}  // namespace riphost

#endif  // RIPHOST_TILE_PREPARATION_H
