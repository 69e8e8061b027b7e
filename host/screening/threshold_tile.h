// threshold_tile.h - a screen as a tile of thresholds, one per pixel.
//
// A pixel is ink when its level (0 = paper to 65535 = full ink) is above
// its threshold. Thresholds run from 0 to 65534, so level 0 never inks a
// pixel and level 65535 always does, and a darker level inks every pixel a
// lighter one inks.
//
// The tile is a brick of height() rows of width() thresholds that covers the
// page with a shift: pixel (x, y) takes brick row y mod H at column
// (x - (y div H) * S) mod W. Each stored row is followed by kPad thresholds
// that repeat its start, so any kPad thresholds from a column below W can be
// read in one piece.
#ifndef RIPHOST_THRESHOLD_TILE_H
#define RIPHOST_THRESHOLD_TILE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace riphost {

class ThresholdTile {
 public:
  static constexpr int kPad = 64;
  static constexpr std::uint16_t kMaxThreshold = 65534;

  // A brick of width x height thresholds (both >= 1) shifted by shift per
  // brick row; every threshold is fill until set.
  ThresholdTile(std::int64_t width, std::int64_t height, std::int64_t shift, std::uint16_t fill = 0);

  std::int64_t width() const noexcept { return width_; }
  std::int64_t height() const noexcept { return height_; }
  std::int64_t shift() const noexcept { return shift_; }
  std::size_t bytes() const noexcept { return data_.size() * sizeof(std::uint16_t); }
  // Distance in thresholds from one stored row to the next.
  std::size_t stride() const noexcept { return stride_; }

  // The brick position of pixel (x, y), as an index into data().
  std::size_t index_of(std::int64_t x, std::int64_t y) const noexcept;
  std::uint16_t& at_index(std::size_t index) noexcept { return data_[index]; }
  std::uint16_t at(std::int64_t x, std::int64_t y) const noexcept { return data_[index_of(x, y)]; }
  // Brick row r (0 <= r < height()).
  std::uint16_t* brick_row(std::int64_t r) noexcept { return data_.data() + static_cast<std::size_t>(r) * stride_; }
  const std::uint16_t* brick_row(std::int64_t r) const noexcept {
    return data_.data() + static_cast<std::size_t>(r) * stride_;
  }
  // The brick row of page row y and the column that pixel 0 of that row
  // takes; pixel x then takes column (x + column) mod width().
  std::int64_t place_row(std::int64_t y, std::int64_t& column) const noexcept;

  // The largest threshold of the brick.
  std::uint16_t largest() const noexcept;

  // The stored row of page row y (kPad thresholds past its end readable) and
  // the column pixel 0 of that row takes.
  const std::uint16_t* row_of(std::int64_t y, std::int64_t& column) const noexcept;

  // Copies the start of every row into its padding; call once all
  // thresholds are set.
  void finish() noexcept;

 private:
  std::int64_t width_;
  std::int64_t height_;
  std::int64_t shift_;
  std::size_t stride_;
  std::vector<std::uint16_t> data_;
};

}  // namespace riphost

#endif  // RIPHOST_THRESHOLD_TILE_H
