// am_tile.h - the threshold tile of an AM screen.
//
// Every pixel of the supercell (supercell.h) lies in one cell of the screen.
// A cell's dot takes the cell's pixels in the order of their spot value
// (spot_function.h), the one of rank r at the level share (r + d) / A, A the
// pixels of a cell on average, up to the dot's full share F of A (round dots
// only within their circle); the pixels no dot takes form the holes around
// the cell corners, which shrink the same way from the outside in. d in
// (0, 1) places the cell in a dispersed order of the cells
// (dispersed_order.h). So at every level every dot and hole holds its share
// of A to within one pixel, whatever pixels the grid gave the cell (no
// beat), the pixel one level adds goes to the cells in a blue-noise order,
// and, once lone pixels are taken out (lone_pixels.h) and the thresholds
// spread by rank, the tile as a whole covers exactly the level's share.
#ifndef RIPHOST_AM_TILE_H
#define RIPHOST_AM_TILE_H

#include "screening/supercell.h"
#include "screening/threshold_tile.h"
#include "screening/tile_stop.h"
#include "ticket/screen_spec.h"

namespace riphost {

// The tile of the supercell's screen with the AM shape dot. Throws
// TileBuildStopped once stop says so.
ThresholdTile build_am_tile(const Supercell& cell, DotShape dot, TileStop stop = {});

}  // namespace riphost

#endif  // RIPHOST_AM_TILE_H
