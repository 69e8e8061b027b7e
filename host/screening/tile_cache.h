// tile_cache.h - threshold tiles shared within the process.
//
// Building a tile costs up to about a second; a run that screens many
// separations with the same screens builds each tile once. The cache keeps
// the tiles used last, within a bound on their memory. Threads may ask for
// tiles at once: a tile another thread is building is waited for, not built
// twice.
#ifndef RIPHOST_TILE_CACHE_H
#define RIPHOST_TILE_CACHE_H

#include <cstdint>
#include <functional>
#include <memory>

#include "screening/threshold_tile.h"

namespace riphost {

// What a tile is made from: the supercell and shape of an AM screen, or the
// dot size of an FM screen.
struct TileKey {
  int shape = 0;
  int dot_size = 0;
  std::int64_t P = 0, Q = 0, A = 0, B = 0;
  bool operator==(const TileKey&) const = default;
};

// Memory the cache may keep for tiles that no screen uses: the four tiles
// of a CMYK set of the largest size (TileLimits::max_pixels).
inline constexpr std::size_t kTileCacheBytes = std::size_t{100} << 20;

// The tile of key, made by make when the cache does not hold it.
std::shared_ptr<const ThresholdTile> shared_tile(const TileKey& key, const std::function<ThresholdTile()>& make);

}  // namespace riphost

#endif  // RIPHOST_TILE_CACHE_H
