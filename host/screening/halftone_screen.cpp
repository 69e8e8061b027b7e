// halftone_screen.cpp - the tile of a screen, built or taken from the cache.
#include "screening/halftone_screen.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "common/host_error.h"
#include "screening/am_tile.h"
#include "screening/fm_tile.h"
#include "screening/tile_cache.h"

namespace riphost {

namespace {

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

std::string screen_size_problem(double ppi, double ruling, const TileLimits& limits) {
  const double cell = ppi / ruling;
  if (!(cell >= 2.0)) {
    return number(ruling) + " lpi is too fine for " + number(ppi) + " ppi (a cell needs at least 2 pixels)";
  }
  // A tile's side is a cell's rounded to whole pixels: up to 0.71 pixels
  // longer than the cell.
  const double largest_cell = std::floor(std::sqrt(static_cast<double>(limits.max_pixels))) - 1.0;
  if (cell > largest_cell) {
    return number(ruling) + " lpi is too coarse for " + number(ppi) + " ppi (a cell may have at most " +
           number(largest_cell) + " pixels a side)";
  }
  return {};
}

HalftoneScreen::HalftoneScreen(double ppi, const ScreenSpec& spec, const TileLimits& limits, const TileStop& stop) {
  TileKey key;
  key.shape = static_cast<int>(spec.dot);
  if (spec.dot == DotShape::Fm) {
    if (spec.dot_size < 1 || spec.dot_size > kMaxFmDotSize) {
      throw HostError("screen " + spec.name + ": an FM dot size of " + std::to_string(spec.dot_size) +
                      " pixels is outside 1 to " + std::to_string(kMaxFmDotSize));
    }
    cell_ = spec.dot_size;
    key.dot_size = spec.dot_size;
    tile_ = shared_tile(key, [&] { return build_fm_tile(spec.dot_size, stop); });
  } else {
    cell_ = ppi / spec.ruling;
    const std::string problem = screen_size_problem(ppi, spec.ruling, limits);
    if (!problem.empty()) throw HostError("screen " + spec.name + ": " + problem);
    supercell_ = choose_supercell(ppi, spec.ruling, spec.angle, limits, stop);
    if (supercell_.pixels() == 0) throw HostError("screen " + spec.name + ": no tile within the size allowed");
    key.P = supercell_.P, key.Q = supercell_.Q, key.A = supercell_.A, key.B = supercell_.B;
    tile_ = shared_tile(key, [&] { return build_am_tile(supercell_, spec.dot, stop); });
  }
  start_row(0);
}

}  // namespace riphost
