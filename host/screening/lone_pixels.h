// lone_pixels.h - keeping single pixels out of a threshold tile's mid-tones.
//
// A pixel is alone at a level when none of its eight neighbours has its
// colour: a paper pixel whose neighbours are all ink, or the reverse. Where
// round dots nearly touch, the pixel grid leaves such pixels between them;
// on a plate they print unreliably. A pixel alone over levels within 5 % to
// 95 % takes the threshold of the neighbour that ends that range, so it
// turns with that neighbour and is never alone (its neighbours do not
// become alone either: around the levels it changes, they all have the
// colour it takes).
#ifndef RIPHOST_LONE_PIXELS_H
#define RIPHOST_LONE_PIXELS_H

#include <cstdint>

#include "screening/threshold_tile.h"
#include "screening/tile_stop.h"

namespace riphost {

// The levels (0 to 65535) within which lone pixels are removed: 5 % to 95 %.
inline constexpr unsigned kLoneFirstLevel = 3277;
inline constexpr unsigned kLoneLastLevel = 62258;

// Removes lone pixels as above. Returns how many pixels it changed.
// Spread the thresholds again afterwards. Throws TileBuildStopped once stop
// says so (the tile is then half done).
std::uint64_t remove_lone_pixels(ThresholdTile& tile, TileStop stop = {});

// Spreads the thresholds evenly by rank, so that every level L covers the
// share L / 65535 of the tile (to within one threshold's pixels): threshold
// t becomes the share of the tile below t, scaled to 0 .. 65534. Keeps their
// order, and equal thresholds stay equal. Throws TileBuildStopped once stop
// says so.
void spread_thresholds(ThresholdTile& tile, TileStop stop = {});

// The levels within the range at which pixel (x, y) of the tile is alone.
std::uint64_t lone_levels(const ThresholdTile& tile, std::int64_t x, std::int64_t y);

}  // namespace riphost

#endif  // RIPHOST_LONE_PIXELS_H
