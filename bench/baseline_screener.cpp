// baseline_screener.cpp - the earlier row screener (see baseline_screener.h).
#include "baseline_screener.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <numeric>

#include "common/bitrow.h"

namespace baseline {

using riphost::RunCallbacks;
using riphost::ScreenArea;
using riphost::ScreenSpec;
using riphost::SelectedScreen;
using riphost::pixel_at;
using riphost::row_bytes;
using riphost::set_span;
using riphost::kDefaultScreenName;

namespace {

constexpr int kCells = AmScreen::kTile * AmScreen::kTile;

// The spot value at (x, y) in [-1, 1]^2; higher values take ink first.
double spot(riphost::DotShape dot, double x, double y) noexcept {
  constexpr double pi = std::numbers::pi;
  switch (dot) {
    case riphost::DotShape::Round: return (std::cos(pi * x) + std::cos(pi * y)) / 2.0;
    case riphost::DotShape::Ellipse: return -(x * x + 1.7 * y * y);
    case riphost::DotShape::Line: return std::cos(pi * y) + 1e-3 * std::cos(pi * x);
    default: break;
  }
  return 0.0;
}

}  // namespace

AmScreen::AmScreen(double ppi, double ruling, double angle, riphost::DotShape dot) : rank_(kCells) {
  // Rank every position of the cell by its spot value; equal values keep the
  // order of their positions, so the ranks are a permutation.
  std::vector<double> value(kCells);
  for (int j = 0; j < kTile; ++j) {
    for (int i = 0; i < kTile; ++i) {
      const double x = 2.0 * (i + 0.5) / kTile - 1.0;
      const double y = 2.0 * (j + 0.5) / kTile - 1.0;
      value[static_cast<std::size_t>(j * kTile + i)] = spot(dot, x, y);
    }
  }
  std::vector<int> order(kCells);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return value[a] > value[b]; });
  for (int r = 0; r < kCells; ++r) rank_[static_cast<std::size_t>(order[r])] = static_cast<std::uint16_t>(r);
  // Ink level k covers the ceil(k / 255 * cells) first ranks.
  for (unsigned k = 0; k < 256; ++k) cutoff_[k] = static_cast<std::uint32_t>((k * kCells + 254u) / 255u);

  cell_ = ppi / ruling;
  const double radians = angle * std::numbers::pi / 180.0;
  cos_ = std::cos(radians);
  sin_ = std::sin(radians);
  // Page coordinates run up the page, rows down it: (X, Y) = (x, -y).
  du_ = cos_ / cell_;
  dv_ = -sin_ / cell_;
  start_row(0);
}

// The cell coordinates of the centre of pixel (0, y); along the row they
// grow by (du_, dv_) per pixel.
void AmScreen::start_row(int y) noexcept {
  const double X = 0.5;
  const double Y = -(y + 0.5);
  u_row_ = (X * cos_ + Y * sin_) / cell_;
  v_row_ = (-X * sin_ + Y * cos_) / cell_;
}

// The table position of the cell coordinates (u, v).
unsigned AmScreen::cell_index(double u, double v) noexcept {
  const double fu = u - std::floor(u);
  const double fv = v - std::floor(v);
  unsigned i = static_cast<unsigned>(fu * kTile);
  unsigned j = static_cast<unsigned>(fv * kTile);
  if (i >= static_cast<unsigned>(kTile)) i = kTile - 1;
  if (j >= static_cast<unsigned>(kTile)) j = kTile - 1;
  return j * kTile + i;
}

namespace {

// Kinds of a pixel; screens follow from kFirstScreen on.
constexpr std::uint32_t kPaper = 0;
constexpr std::uint32_t kSolid = 1;
constexpr std::uint32_t kCopydot = 2;
constexpr std::uint32_t kFirstScreen = 3;

// The built-in default screen when a separation brings none.
std::vector<SelectedScreen> or_default(const std::vector<SelectedScreen>& screens) {
  if (!screens.empty()) return screens;
  SelectedScreen fallback;
  fallback.spec.name = kDefaultScreenName;
  return {fallback};
}

}  // namespace

ContoneScreener::ContoneScreener(int width, double ppi, const std::vector<SelectedScreen>& given,
                                 const std::vector<ScreenArea>& areas)
    : width_(width), areas_(areas), area_of_(static_cast<std::size_t>(width), 0) {
  const std::vector<SelectedScreen> screens = or_default(given);
  // Areas naming no screen of the list are dropped (the ticket refuses them).
  std::erase_if(areas_, [&](const ScreenArea& a) { return a.screen >= screens.size(); });
  // Entries of one screen share its handle, its runs and one rank table;
  // tables are only made for the screens that screen pixels (the first and
  // those of the areas).
  std::vector<bool> used(screens.size(), false);
  used[0] = true;
  for (const ScreenArea& a : areas_) used[a.screen] = true;
  constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  engine_of_.assign(screens.size(), kNone);
  for (std::size_t s = 0; s < screens.size(); ++s) {
    handles_.push_back(screens[s].handle);
    std::uint32_t first = static_cast<std::uint32_t>(s);
    for (std::size_t t = 0; t < s; ++t) {
      if (screens[t].handle == screens[s].handle && screens[t].spec.name == screens[s].spec.name) {
        first = static_cast<std::uint32_t>(t);
        break;
      }
    }
    same_as_.push_back(first);
    if (!used[s]) continue;
    if (engine_of_[first] == kNone) {
      const ScreenSpec& spec = screens[first].spec;
      engine_of_[first] = static_cast<std::uint32_t>(engines_.size());
      engines_.emplace_back(ppi, spec.ruling, spec.angle, spec.dot);
    }
    engine_of_[s] = engine_of_[first];
  }
}

// Sets the run's pixels and reports it.
void ContoneScreener::flush(std::uint32_t kind, int x0, int x1, std::uint8_t* row,
                            const RunCallbacks& runs) const noexcept {
  if (kind == kPaper || x1 <= x0) return;
  set_span(row, x0, x1);
  const std::int32_t length = x1 - x0;
  if (kind == kSolid) {
    if (runs.solid) runs.solid(0, x0, length);
  } else if (kind == kCopydot) {
    if (runs.copydot) runs.copydot(0, x0, length);
  } else if (runs.screen) {
    runs.screen(handles_[kind - kFirstScreen], x0, length);
  }
}

void ContoneScreener::screen_row(int y, const std::uint8_t* ink, const std::uint8_t* copydot, std::uint8_t* row,
                                 const RunCallbacks& runs) noexcept {
  std::memset(row, 0, row_bytes(width_));
  // Which screen each pixel takes: the first, unless an area says otherwise.
  std::fill(area_of_.begin(), area_of_.end(), 0u);
  for (const ScreenArea& a : areas_) {
    if (y < a.y || static_cast<long long>(y) >= static_cast<long long>(a.y) + a.height) continue;
    const int x0 = std::max(a.x, 0);
    const long long end = std::min<long long>(static_cast<long long>(a.x) + a.width, width_);
    for (long long x = x0; x < end; ++x) area_of_[static_cast<std::size_t>(x)] = static_cast<std::uint32_t>(a.screen);
  }
  for (AmScreen& screen : engines_) screen.start_row(y);

  std::uint32_t current = kPaper;
  int start = 0;
  for (int x = 0; x < width_; ++x) {
    std::uint32_t kind;
    const unsigned level = ink[x];
    if (copydot != nullptr && pixel_at(copydot, x)) {
      kind = kCopydot;
    } else if (level >= 255u) {
      kind = kSolid;
    } else if (level == 0u) {
      kind = kPaper;
    } else {
      const std::uint32_t s = area_of_[static_cast<std::size_t>(x)];
      kind = engines_[engine_of_[s]].ink_at(x, level) ? kFirstScreen + same_as_[s] : kPaper;
    }
    if (kind != current) {
      flush(current, start, x, row, runs);
      current = kind;
      start = x;
    }
  }
  flush(current, start, width_, row, runs);
}

}  // namespace baseline
