// fm_tile.cpp - the blue-noise tile of FM screens.
#include "screening/fm_tile.h"

#include <mutex>

#include "screening/dispersed_order.h"

namespace riphost {

namespace {

// A square of kFmSide x kFmSide sites, wrapped at its edges.
class SquareTorus final : public SiteTorus {
 public:
  std::uint32_t size() const noexcept override { return kFmSide * kFmSide; }
  std::uint32_t neighbour(std::uint32_t site, int dx, int dy) const noexcept override {
    const int x = (static_cast<int>(site % kFmSide) + dx + kFmSide) % kFmSide;
    const int y = (static_cast<int>(site / kFmSide) + dy + kFmSide) % kFmSide;
    return static_cast<std::uint32_t>(y * kFmSide + x);
  }
};

}  // namespace

const std::vector<std::uint32_t>& fm_ranks(const TileStop& stop) {
  static std::once_flag made;
  static std::vector<std::uint32_t> ranks;
  // An exception leaves the flag unset: the next call ranks again.
  std::call_once(made, [&] { ranks = dispersed_ranks(SquareTorus(), 1u, stop); });
  return ranks;
}

ThresholdTile build_fm_tile(int dot_size, TileStop stop) {
  const std::vector<std::uint32_t>& ranks = fm_ranks(stop);
  const std::int64_t side = static_cast<std::int64_t>(kFmSide) * dot_size;
  ThresholdTile tile(side, side, 0);
  constexpr double kDots = static_cast<double>(kFmSide) * kFmSide;
  for (std::int64_t y = 0; y < side; ++y) {
    for (std::int64_t x = 0; x < side; ++x) {
      const std::uint32_t rank = ranks[static_cast<std::size_t>((y / dot_size) * kFmSide + x / dot_size)];
      // Rank r of N takes the share (r + 1/2) / N: thresholds 0 to 65534.
      tile.at_index(tile.index_of(x, y)) = static_cast<std::uint16_t>((rank + 0.5) * 65535.0 / kDots);
    }
    stop.poll(static_cast<std::uint64_t>(side));
  }
  tile.finish();
  return tile;
}

}  // namespace riphost
