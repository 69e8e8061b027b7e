// tile_cache.cpp - the process' threshold tiles, the last used first.
#include "screening/tile_cache.h"

#include <list>
#include <mutex>
#include <utility>

namespace riphost {

namespace {

struct Cache {
  std::mutex lock;
  std::list<std::pair<TileKey, std::shared_ptr<const ThresholdTile>>> tiles;  // last used first
};

Cache& cache() {
  static Cache instance;
  return instance;
}

// Drops the tiles used longest ago beyond the memory bound (the one used
// last always stays).
void trim(Cache& c) {
  std::size_t bytes = 0;
  for (auto it = c.tiles.begin(); it != c.tiles.end();) {
    if (it != c.tiles.begin() && bytes + it->second->bytes() > kTileCacheBytes) {
      it = c.tiles.erase(it);
    } else {
      bytes += it->second->bytes();
      ++it;
    }
  }
}

}  // namespace

std::shared_ptr<const ThresholdTile> shared_tile(const TileKey& key, const std::function<ThresholdTile()>& make) {
  Cache& c = cache();
  {
    std::lock_guard<std::mutex> guard(c.lock);
    for (auto it = c.tiles.begin(); it != c.tiles.end(); ++it) {
      if (it->first == key) {
        c.tiles.splice(c.tiles.begin(), c.tiles, it);
        return c.tiles.front().second;
      }
    }
  }
  auto tile = std::make_shared<const ThresholdTile>(make());
  std::lock_guard<std::mutex> guard(c.lock);
  c.tiles.emplace_front(key, tile);
  trim(c);
  return tile;
}

}  // namespace riphost
