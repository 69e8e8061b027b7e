// ink_screening.cpp - screening document rows and reporting their runs later.
#include "sources/document/ink_screening.h"

#include <cstring>

#include "common/bitrow.h"
#include "sources/contone_source.h"

namespace riphost {

namespace {

// The solid runs of the row being screened on this thread: the screener
// reports runs through plain functions, without a pointer of the caller's.
thread_local RunList* solid_sink = nullptr;

void keep_solid(std::uint32_t, std::int32_t x, std::int32_t length) {
  if (solid_sink) {
    solid_sink->x.push_back(x);
    solid_sink->length.push_back(length);
  }
}

}  // namespace

InkScreener::InkScreener(int width, double ppi, const SelectedScreen& screen, const ScreenerSetup& setup)
    : width_(width),
      screener_(std::make_unique<ContoneScreener>(width, ppi, std::vector<SelectedScreen>{screen},
                                                  std::vector<ScreenArea>{}, setup)),
      ink_(static_cast<std::size_t>(width), 0) {}

InkScreener::~InkScreener() = default;

void InkScreener::screen(int y, const std::uint8_t* pixels, int stride, std::uint8_t* bits, RunList& solids) {
  solids.clear();
  unsigned any = 0;
  std::uint8_t* ink = ink_.data();
  for (int x = 0; x < width_; ++x) {
    const std::uint8_t value = pixels[static_cast<std::size_t>(x) * static_cast<std::size_t>(stride)];
    ink[x] = value;
    any |= value;
  }
  // A row of paper is left unscreened: no screen sets a pixel at no ink.
  if (any == 0) {
    std::memset(bits, 0, row_bytes(width_));
    return;
  }
  solid_sink = &solids;
  screener_->screen_row(y, ink, nullptr, bits, RunCallbacks{nullptr, keep_solid, nullptr});
  solid_sink = nullptr;
}

void report_runs(const std::uint8_t* bits, int width, const RunList& solids, std::uint32_t handle,
                 const RunCallbacks& runs) noexcept {
  const std::size_t words = row_bytes(width) / 4;
  std::size_t next_solid = 0;
  int x = 0;
  // Walks the set stretches of the row, 32 pixels a word.
  while (x < width) {
    const std::size_t word = static_cast<std::size_t>(x) / 32;
    std::uint32_t bitsword = 0;
    std::memcpy(&bitsword, bits + word * 4, 4);
    bitsword &= ~0u << (x % 32);
    if (bitsword == 0) {
      x = static_cast<int>((word + 1) * 32);
      continue;
    }
    const int start = static_cast<int>(word * 32) + __builtin_ctz(bitsword);
    // The end of the stretch: the first clear pixel after start.
    int end = start;
    for (std::size_t w = static_cast<std::size_t>(start) / 32; w < words; ++w) {
      std::uint32_t value = 0;
      std::memcpy(&value, bits + w * 4, 4);
      const std::uint32_t clear = ~value & (w == static_cast<std::size_t>(start) / 32 ? ~0u << (start % 32) : ~0u);
      if (clear != 0) {
        end = static_cast<int>(w * 32) + __builtin_ctz(clear);
        break;
      }
      end = static_cast<int>((w + 1) * 32);
    }
    if (end > width) end = width;
    // Solid runs lie inside set stretches; the rest is the screen's.
    int at = start;
    while (next_solid < solids.size() && solids.x[next_solid] < end) {
      const int sx = solids.x[next_solid];
      const int sl = solids.length[next_solid];
      if (sx > at && runs.screen) runs.screen(handle, at, sx - at);
      if (runs.solid) runs.solid(0, sx, sl);
      at = sx + sl;
      ++next_solid;
    }
    if (at < end && runs.screen) runs.screen(handle, at, end - at);
    x = end;
  }
}

}  // namespace riphost
