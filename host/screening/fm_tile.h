// fm_tile.h - the threshold tile of an FM (stochastic) screen.
//
// FM dots are squares of dot_size x dot_size pixels placed by a blue-noise
// ranking of a kFmSide x kFmSide torus (dispersed_order.h), so any share of
// the dots is spread evenly, without clumps or a pattern. The ranking is made
// once per process, the first time an FM screen is used.
#ifndef RIPHOST_FM_TILE_H
#define RIPHOST_FM_TILE_H

#include <cstdint>
#include <vector>

#include "screening/threshold_tile.h"
#include "screening/tile_stop.h"

namespace riphost {

// Dots per side of the blue-noise tile.
inline constexpr int kFmSide = 256;
// Largest FM dot side in pixels.
inline constexpr int kMaxFmDotSize = 64;

// The ranks 0 .. kFmSide^2 - 1 of the dot positions, row by row. A ranking
// that stop ends (TileBuildStopped) is made again by the next call.
const std::vector<std::uint32_t>& fm_ranks(const TileStop& stop = {});

// The tile of dots of dot_size pixels (1 to kMaxFmDotSize). Throws
// TileBuildStopped once stop says so.
ThresholdTile build_fm_tile(int dot_size, TileStop stop = {});

}  // namespace riphost

#endif  // RIPHOST_FM_TILE_H
