// tile_cache.cpp - the process' threshold tiles, the last used first.
#include "screening/tile_cache.h"

#include <future>
#include <list>
#include <mutex>
#include <utility>

namespace riphost {

namespace {

using SharedTile = std::shared_ptr<const ThresholdTile>;

// A tile, or the promise of one that a thread is building.
struct Entry {
  TileKey key;
  std::shared_future<SharedTile> tile;
  std::size_t bytes = 0;  // 0 while it is being built
};

struct Cache {
  std::mutex lock;
  std::list<Entry> tiles;  // last used first
};

Cache& cache() {
  static Cache instance;
  return instance;
}

// Drops the built tiles used longest ago beyond the memory bound (the one
// used last always stays, and so do those still being built).
void trim(Cache& c) {
  std::size_t bytes = 0;
  for (auto it = c.tiles.begin(); it != c.tiles.end();) {
    if (it != c.tiles.begin() && it->bytes > 0 && bytes + it->bytes > kTileCacheBytes) {
      it = c.tiles.erase(it);
    } else {
      bytes += it->bytes;
      ++it;
    }
  }
}

// The entry of key, or end().
std::list<Entry>::iterator entry_of(Cache& c, const TileKey& key) {
  for (auto it = c.tiles.begin(); it != c.tiles.end(); ++it) {
    if (it->key == key) return it;
  }
  return c.tiles.end();
}

// The tile of key (its entry moved to the front), or none when the cache
// has no entry.
std::shared_future<SharedTile> find(Cache& c, const TileKey& key) {
  const auto it = entry_of(c, key);
  if (it == c.tiles.end()) return {};
  c.tiles.splice(c.tiles.begin(), c.tiles, it);
  return c.tiles.front().tile;
}

}  // namespace

std::shared_ptr<const ThresholdTile> shared_tile(const TileKey& key, const std::function<ThresholdTile()>& make) {
  Cache& c = cache();
  std::promise<SharedTile> promise;
  std::shared_future<SharedTile> known;
  {
    std::lock_guard<std::mutex> guard(c.lock);
    known = find(c, key);
    if (!known.valid()) c.tiles.push_front(Entry{key, promise.get_future().share(), 0});
  }
  // Built, or being built by another thread: wait for it.
  if (known.valid()) return known.get();
  SharedTile tile;
  try {
    tile = std::make_shared<const ThresholdTile>(make());
  } catch (...) {
    // Those waiting get the same error; the next one asking builds again.
    promise.set_exception(std::current_exception());
    std::lock_guard<std::mutex> guard(c.lock);
    if (auto it = entry_of(c, key); it != c.tiles.end()) c.tiles.erase(it);
    throw;
  }
  promise.set_value(tile);
  std::lock_guard<std::mutex> guard(c.lock);
  if (auto it = entry_of(c, key); it != c.tiles.end()) it->bytes = tile->bytes();
  trim(c);
  return tile;
}

}  // namespace riphost
