// lone_pixels.cpp - lone pixels turned with a neighbour, thresholds spread
// again by rank.
#include "screening/lone_pixels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <vector>

#include "screening/supercell.h"

namespace riphost {

namespace {

constexpr int kSweeps = 4;
constexpr std::array<std::array<int, 2>, 8> kAround = {
    {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}}};

// How many levels L of (first, last] lie in the range.
std::uint64_t in_range(unsigned first, unsigned last) noexcept {
  const unsigned lo = std::max(first + 1, kLoneFirstLevel), hi = std::min(last, kLoneLastLevel);
  return hi >= lo ? hi - lo + 1 : 0;
}

// The neighbourhood of the pixels of one brick row: the brick rows of the
// page rows above, at and below it and the columns their pixel 0 takes.
class Around {
 public:
  Around(const ThresholdTile& tile, std::int64_t y) : width_(tile.width()) {
    for (int dy = -1; dy <= 1; ++dy) {
      std::int64_t column = 0;
      const std::int64_t row = tile.place_row(y + dy, column);
      rows_[dy + 1] = tile.brick_row(row);
      starts_[dy + 1] = static_cast<std::size_t>(row * width_);
      columns_[dy + 1] = column;
    }
  }
  // The least and largest threshold around pixel x.
  void extremes(std::int64_t x, unsigned& least, unsigned& largest) const noexcept {
    least = 0xFFFFu, largest = 0;
    for (const auto& a : kAround) {
      const unsigned t = rows_[a[1] + 1][column(x, a)];
      least = std::min(least, t), largest = std::max(largest, t);
    }
  }
  // Neighbour a of pixel x as row * width + column of the brick.
  std::size_t place(std::int64_t x, const std::array<int, 2>& a) const noexcept {
    return starts_[a[1] + 1] + static_cast<std::size_t>(column(x, a));
  }

 private:
  std::int64_t column(std::int64_t x, const std::array<int, 2>& a) const noexcept {
    std::int64_t c = x + a[0] + columns_[a[1] + 1];
    if (c < 0) c += width_;
    if (c >= width_) c -= width_;
    return c;
  }

  std::int64_t width_;
  const std::uint16_t* rows_[3];
  std::size_t starts_[3];
  std::int64_t columns_[3];
};

// The brick's pixels (row * width + column) whose neighbourhood changed
// since they were last looked at: only those can be alone anew.
class Pending {
 public:
  explicit Pending(std::size_t pixels) : words_((pixels + 63) / 64, ~std::uint64_t{0}) {
    if (pixels % 64 != 0) words_.back() = (std::uint64_t{1} << (pixels % 64)) - 1;
  }
  void set(std::size_t p) noexcept { words_[p / 64] |= std::uint64_t{1} << (p % 64); }
  // The first pending pixel in [from, to), cleared; to when there is none.
  std::size_t take(std::size_t from, std::size_t to) noexcept {
    for (std::size_t w = from / 64; w * 64 < to; ++w) {
      std::uint64_t bits = words_[w];
      if (w == from / 64) bits &= ~std::uint64_t{0} << (from % 64);
      if (bits == 0) continue;
      const std::size_t p = w * 64 + static_cast<std::size_t>(std::countr_zero(bits));
      if (p >= to) return to;
      words_[w] &= ~(std::uint64_t{1} << (p % 64));
      return p;
    }
    return to;
  }

 private:
  std::vector<std::uint64_t> words_;
};

// Paper alone at L when largest < L <= t, ink alone when t < L <= least.
std::uint64_t alone(unsigned t, unsigned least, unsigned largest) noexcept {
  return (t > largest ? in_range(largest, t) : 0) + (least > t ? in_range(t, least) : 0);
}

}  // namespace

void spread_thresholds(ThresholdTile& tile, TileStop stop) {
  std::vector<std::uint64_t> below(65537, 0);
  const auto width = static_cast<std::uint64_t>(tile.width());
  for (std::int64_t y = 0; y < tile.height(); ++y) {
    const std::uint16_t* row = tile.brick_row(y);
    for (std::int64_t x = 0; x < tile.width(); ++x) ++below[row[x] + 1u];
    stop.poll(width);
  }
  for (std::size_t t = 1; t < below.size(); ++t) below[t] += below[t - 1];
  const double total = static_cast<double>(below.back());
  for (std::int64_t y = 0; y < tile.height(); ++y) {
    std::uint16_t* row = tile.brick_row(y);
    for (std::int64_t x = 0; x < tile.width(); ++x) {
      row[x] = static_cast<std::uint16_t>(static_cast<double>(below[row[x]]) * 65535.0 / total);
    }
    stop.poll(width);
  }
}

std::uint64_t lone_levels(const ThresholdTile& tile, std::int64_t x, std::int64_t y) {
  std::int64_t column = 0;
  const std::int64_t row = tile.place_row(y, column);
  const std::int64_t c = floor_mod(x + column, tile.width());
  unsigned least, largest;
  Around(tile, row).extremes(c, least, largest);
  return alone(tile.brick_row(row)[c], least, largest);
}

std::uint64_t remove_lone_pixels(ThresholdTile& tile, TileStop stop) {
  const std::int64_t width = tile.width();
  const std::size_t pixels = static_cast<std::size_t>(width * tile.height());
  // Sweeps in row order that look again only at pixels whose neighbourhood
  // changed since they were last looked at: the others would stay as they
  // are, so the result is that of sweeping every pixel each time.
  Pending pending(pixels);
  std::uint64_t changed = 0;
  for (int sweep = 0; sweep < kSweeps; ++sweep) {
    std::uint64_t now = 0;
    for (std::int64_t y = 0; y < tile.height(); ++y) {
      const std::size_t start = static_cast<std::size_t>(y * width), end = start + static_cast<std::size_t>(width);
      stop.poll(static_cast<std::uint64_t>(width) / 64 + 1);
      std::size_t p = pending.take(start, end);
      if (p == end) continue;
      const Around around(tile, y);
      std::uint16_t* row = tile.brick_row(y);
      for (; p < end; p = pending.take(p + 1, end)) {
        const std::int64_t x = static_cast<std::int64_t>(p - start);
        stop.poll();
        unsigned least, largest;
        around.extremes(x, least, largest);
        std::uint16_t& t = row[x];
        if (t > largest && in_range(largest, t) > 0) {
          t = static_cast<std::uint16_t>(largest);
        } else if (least > t && in_range(t, least) > 0) {
          t = static_cast<std::uint16_t>(least);
        } else {
          continue;
        }
        ++now;
        for (const auto& a : kAround) pending.set(around.place(x, a));
      }
    }
    changed += now;
    if (now == 0) break;
  }
  return changed;
}

}  // namespace riphost
