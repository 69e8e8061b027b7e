// am_tile.h - the threshold tile of an AM screen.
//
// Every pixel of the supercell (supercell.h) lies in one cell of the screen
// and, by its spot value (spot_function.h), either in the cell's dot or in
// the hole around the nearest cell corner. Within its dot or hole a pixel
// takes ink in the order of its spot value; a dot's pixel of rank r of n
// gets the level share F (r + d) / n, a hole's F + (1 - F) (r + d) / n,
// where F is the share of dot pixels in the tile and d in (0, 1) places the
// dot (hole) in a dispersed order of the cells (dispersed_order.h). So at
// every level each dot and hole holds its share of pixels to within one,
// the pixel one level adds goes to the cells in a blue-noise order, and the
// tile as a whole covers exactly the level's share.
#ifndef RIPHOST_AM_TILE_H
#define RIPHOST_AM_TILE_H

#include "screening/supercell.h"
#include "screening/threshold_tile.h"
#include "ticket/screen_spec.h"

namespace riphost {

// The tile of the supercell's screen with the AM shape dot.
ThresholdTile build_am_tile(const Supercell& cell, DotShape dot);

}  // namespace riphost

#endif  // RIPHOST_AM_TILE_H
