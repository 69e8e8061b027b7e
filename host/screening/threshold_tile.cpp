// threshold_tile.cpp - storage and addressing of a threshold tile.
#include "screening/threshold_tile.h"

#include <algorithm>

#include "screening/supercell.h"

namespace riphost {

ThresholdTile::ThresholdTile(std::int64_t width, std::int64_t height, std::int64_t shift, std::uint16_t fill)
    : width_(width), height_(height), shift_(floor_mod(shift, width)),
      stride_(static_cast<std::size_t>(width) + kPad),
      data_(stride_ * static_cast<std::size_t>(height), fill) {}

std::uint16_t ThresholdTile::largest() const noexcept {
  std::uint16_t top = 0;
  for (std::int64_t r = 0; r < height_; ++r) {
    const std::uint16_t* row = data_.data() + static_cast<std::size_t>(r) * stride_;
    top = std::max(top, *std::max_element(row, row + width_));
  }
  return top;
}

std::int64_t ThresholdTile::place_row(std::int64_t y, std::int64_t& column) const noexcept {
  const std::int64_t brick = floor_div(y, height_);
  column = floor_mod(-(floor_mod(brick, width_) * shift_ % width_), width_);
  return y - brick * height_;
}

std::size_t ThresholdTile::index_of(std::int64_t x, std::int64_t y) const noexcept {
  std::int64_t column = 0;
  const std::int64_t row = place_row(y, column);
  return static_cast<std::size_t>(row) * stride_ + static_cast<std::size_t>(floor_mod(x + column, width_));
}

const std::uint16_t* ThresholdTile::row_of(std::int64_t y, std::int64_t& column) const noexcept {
  return brick_row(place_row(y, column));
}

void ThresholdTile::finish() noexcept {
  for (std::int64_t r = 0; r < height_; ++r) {
    std::uint16_t* row = data_.data() + static_cast<std::size_t>(r) * stride_;
    for (int i = 0; i < kPad; ++i) row[width_ + i] = row[i % width_];
  }
}

}  // namespace riphost
