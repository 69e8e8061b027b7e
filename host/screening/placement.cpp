// placement.cpp - position and scale of a placed contone image.
#include "screening/placement.h"

#include <cmath>

namespace riphost {

bool PlacedImage::one_to_one() const noexcept {
  return scale_x == 1.0 && scale_y == 1.0 && x == std::floor(x) && y == std::floor(y);
}

PlacedImage place_image(const ContonePlacement& placement, int columns, int rows, double file_x_ppi,
                        double file_y_ppi, double device_ppi) noexcept {
  PlacedImage placed;
  placed.columns = columns;
  placed.rows = rows;
  const double unit = placement.millimetres ? device_ppi / 25.4 : 1.0;  // device pixels per unit
  placed.x = placement.x * unit;
  placed.y = placement.y * unit;
  const double x_ppi = placement.ppi > 0.0 ? placement.ppi : file_x_ppi > 0.0 ? file_x_ppi : device_ppi;
  const double y_ppi = placement.ppi > 0.0 ? placement.ppi : file_y_ppi > 0.0 ? file_y_ppi : device_ppi;
  placed.scale_x = device_ppi / x_ppi;
  placed.scale_y = device_ppi / y_ppi;
  const bool wide = placement.width > 0.0, high = placement.height > 0.0;
  if (wide) placed.scale_x = placement.width * unit / columns;
  if (high) placed.scale_y = placement.height * unit / rows;
  // One side given: the other keeps the image's shape (its pixels' aspect).
  if (wide && !high) placed.scale_y = placed.scale_x * x_ppi / y_ppi;
  if (high && !wide) placed.scale_x = placed.scale_y * y_ppi / x_ppi;
  return placed;
}

}  // namespace riphost
