// contone_screener.cpp - levels, words, row bits and runs of one row.
#include "screening/contone_screener.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "common/bitrow.h"
#include "screening/word_kernels.h"

namespace riphost {

namespace {

// Run kinds, in the order a pixel is looked at.
enum class Kind { None, Copydot, Solid, Screen };

// The built-in default screen when a separation brings none.
std::vector<SelectedScreen> or_default(const std::vector<SelectedScreen>& screens) {
  if (!screens.empty()) return screens;
  SelectedScreen fallback;
  fallback.spec.name = kDefaultScreenName;
  return {fallback};
}

// Bits [x0, x1) of word w.
std::uint64_t word_mask(std::size_t w, int x0, int x1) noexcept {
  const long long lo = std::max<long long>(x0 - static_cast<long long>(w) * 64, 0);
  const long long hi = std::min<long long>(x1 - static_cast<long long>(w) * 64, 64);
  if (hi <= lo) return 0;
  const std::uint64_t upto = hi == 64 ? ~0ull : (1ull << hi) - 1;
  return upto & ~((1ull << lo) - 1);
}

// The first pixel from x on whose bit is set (want true) or clear, or
// limit when there is none before it.
int next_bit(const std::uint64_t* words, std::size_t count, int x, int limit, bool want) noexcept {
  std::size_t w = static_cast<std::size_t>(x) >> 6;
  if (w >= count) return limit;
  std::uint64_t bits = (want ? words[w] : ~words[w]) & (~0ull << (x & 63));
  while (bits == 0) {
    if (++w >= count) return limit;
    bits = want ? words[w] : ~words[w];
  }
  const long long at = static_cast<long long>(w) * 64 + std::countr_zero(bits);
  return at < limit ? static_cast<int>(at) : limit;
}

bool bit_at(const std::uint64_t* words, int x) noexcept { return (words[x >> 6] >> (x & 63)) & 1u; }

// A run waiting to be reported: touching runs of one kind and screen join.
class RunOut {
 public:
  explicit RunOut(const RunCallbacks& runs) : runs_(runs) {}
  ~RunOut() { flush(); }
  void add(Kind kind, std::uint32_t handle, int x0, int x1) noexcept {
    if (kind == kind_ && handle == handle_ && x0 == x1_) {
      x1_ = x1;
      return;
    }
    flush();
    kind_ = kind, handle_ = handle, x0_ = x0, x1_ = x1;
  }

 private:
  void flush() noexcept {
    const std::int32_t length = x1_ - x0_;
    if (kind_ == Kind::Copydot && runs_.copydot) runs_.copydot(0, x0_, length);
    if (kind_ == Kind::Solid && runs_.solid) runs_.solid(0, x0_, length);
    if (kind_ == Kind::Screen && runs_.screen) runs_.screen(handle_, x0_, length);
    kind_ = Kind::None;
  }

  const RunCallbacks& runs_;
  Kind kind_ = Kind::None;
  std::uint32_t handle_ = 0;
  int x0_ = 0, x1_ = 0;
};

}  // namespace

ContoneScreener::ContoneScreener(int width, double ppi, const std::vector<SelectedScreen>& given,
                                 const std::vector<ScreenArea>& given_areas, const ScreenerSetup& setup)
    : width_(width), words_((static_cast<std::size_t>(width) + 63) / 64),
      areas_([&] {
        // Areas naming no screen of the list are dropped (the ticket refuses them).
        std::vector<ScreenArea> kept = given_areas;
        const std::size_t count = given.empty() ? 1 : given.size();
        std::erase_if(kept, [&](const ScreenArea& a) { return a.screen >= count; });
        return kept;
      }(), width),
      level_(words_ * 64, 0), ink_(words_), full_(words_), copydot_(words_), part_ink_(words_), part_full_(words_) {
  const std::vector<SelectedScreen> screens = or_default(given);
  // Entries of one screen share its handle, its runs and one engine;
  // engines are only made for the screens that screen pixels (the first
  // and those of the areas).
  std::vector<bool> used(screens.size(), false);
  used[0] = true;
  for (const ScreenArea& a : given_areas) {
    if (a.screen < screens.size()) used[a.screen] = true;
  }
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
      engines_.push_back(Engine{HalftoneScreen(ppi, spec, setup.limits),
                                ToneTransfer(setup.ink_transfer, spec.calibration, setup.gamma)});
    }
    engine_of_[s] = engine_of_[first];
  }
}

void ContoneScreener::screen_row(int y, const std::uint8_t* ink, const std::uint8_t* copydot, std::uint8_t* row,
                                 const RunCallbacks& runs) noexcept {
  screen_any(y, ink, copydot, row, runs);
}

void ContoneScreener::screen_row(int y, const std::uint16_t* ink, const std::uint8_t* copydot, std::uint8_t* row,
                                 const RunCallbacks& runs) noexcept {
  screen_any(y, ink, copydot, row, runs);
}

template <typename Ink>
void ContoneScreener::screen_any(int y, const Ink* ink, const std::uint8_t* copydot, std::uint8_t* row,
                                 const RunCallbacks& runs) noexcept {
  std::fill(ink_.begin(), ink_.end(), 0);
  std::fill(full_.begin(), full_.end(), 0);
  for (Engine& engine : engines_) engine.screen.start_row(y);
  const std::vector<ScreenSegment>& segments = areas_.row(y);
  for (const ScreenSegment& segment : segments) screen_segment(segment, ink);
  take_copydot(copydot);
  // The row's bits: little-endian words hold pixel x in byte x / 8, bit x % 8.
  const std::size_t bytes = row_bytes(width_);
  for (std::size_t w = 0; w < words_; ++w) {
    const std::uint64_t bits = ink_[w] | copydot_[w];
    std::uint8_t piece[8];
    for (int b = 0; b < 8; ++b) piece[b] = static_cast<std::uint8_t>(bits >> (8 * b));
    std::memcpy(row + 8 * w, piece, std::min<std::size_t>(8, bytes - 8 * w));
  }
  if (runs.screen || runs.solid || runs.copydot) report_runs(segments, runs);
}

template <typename Ink>
void ContoneScreener::screen_segment(const ScreenSegment& segment, const Ink* ink) noexcept {
  Engine& engine = engines_[engine_of_[segment.screen]];
  std::uint16_t* level = level_.data();
  if (engine.transfer.identity()) {
    for (int x = segment.x0; x < segment.x1; ++x) {
      level[x] = static_cast<std::uint16_t>(sizeof(Ink) == 1 ? ink[x] * 257u : ink[x]);
    }
  } else {
    const std::uint16_t* table = sizeof(Ink) == 1 ? engine.transfer.levels8() : engine.transfer.levels16();
    for (int x = segment.x0; x < segment.x1; ++x) level[x] = table[ink[x]];
  }
  const std::size_t w0 = static_cast<std::size_t>(segment.x0) / 64;
  const std::size_t w1 = (static_cast<std::size_t>(segment.x1) + 63) / 64;
  const HalftoneScreen& screen = engine.screen;
  const std::int64_t width = screen.tile().width();
  const std::int64_t column = (screen.column() + static_cast<std::int64_t>(w0 % static_cast<std::size_t>(width)) * 64) % width;
  word_kernels().screen_words(level + w0 * 64, screen.row(), width, column, w1 - w0, part_ink_.data() + w0,
                              part_full_.data() + w0);
  for (std::size_t w = w0; w < w1; ++w) {
    const std::uint64_t mask = word_mask(w, segment.x0, segment.x1);
    ink_[w] |= part_ink_[w] & mask;
    full_[w] |= part_full_[w] & mask;
  }
}

void ContoneScreener::take_copydot(const std::uint8_t* copydot) noexcept {
  std::fill(copydot_.begin(), copydot_.end(), 0);
  if (copydot == nullptr) return;
  const std::size_t bytes = (static_cast<std::size_t>(width_) + 7) / 8;
  for (std::size_t i = 0; i < bytes; ++i) copydot_[i / 8] |= static_cast<std::uint64_t>(copydot[i]) << (8 * (i % 8));
  copydot_[words_ - 1] &= word_mask(words_ - 1, 0, width_);
}

// Goes through the row's set pixels in x order: copydot first, then full
// ink, then screened ink, each stretch cut where its screen's segment ends.
void ContoneScreener::report_runs(const std::vector<ScreenSegment>& segments, const RunCallbacks& runs) noexcept {
  // Masks of the kinds, in the scratch words.
  std::uint64_t* screen = part_ink_.data();
  std::uint64_t* solid = part_full_.data();
  for (std::size_t w = 0; w < words_; ++w) {
    solid[w] = full_[w] & ~copydot_[w];
    screen[w] = ink_[w] & ~full_[w] & ~copydot_[w];
  }
  RunOut out(runs);
  std::size_t seg = 0;
  int x = 0;
  while (true) {
    const int set_ink = next_bit(ink_.data(), words_, x, width_, true);
    const int set_copydot = next_bit(copydot_.data(), words_, x, width_, true);
    x = std::min(set_ink, set_copydot);
    if (x >= width_) break;
    if (bit_at(copydot_.data(), x)) {
      const int end = next_bit(copydot_.data(), words_, x, width_, false);
      out.add(Kind::Copydot, 0, x, end);
      x = end;
    } else if (bit_at(solid, x)) {
      const int end = next_bit(solid, words_, x, width_, false);
      out.add(Kind::Solid, 0, x, end);
      x = end;
    } else {
      while (segments[seg].x1 <= x) ++seg;
      const int end = std::min(next_bit(screen, words_, x, width_, false), segments[seg].x1);
      out.add(Kind::Screen, handles_[same_as_[segments[seg].screen]], x, end);
      x = end;
    }
  }
}

}  // namespace riphost
