// word_kernels.cpp - the portable word loop and the choice of kernels.
#include "screening/word_kernels.h"

namespace riphost {

namespace {

void screen_words_portable(const std::uint16_t* level, const std::uint16_t* tile_row, std::int64_t width,
                           std::int64_t column, std::size_t words, std::uint64_t* ink, std::uint64_t* full) noexcept {
  for (std::size_t k = 0; k < words; ++k, level += 64) {
    const std::uint16_t* threshold = tile_row + column;
    std::uint64_t inked = 0, solid = 0;
    for (unsigned i = 0; i < 64; ++i) {
      inked |= static_cast<std::uint64_t>(level[i] > threshold[i]) << i;
      solid |= static_cast<std::uint64_t>(level[i] == 0xFFFFu) << i;
    }
    ink[k] = inked;
    full[k] = solid;
    column += 64;
    if (column >= width) column -= width;
  }
}

constexpr WordKernels kPortable{screen_words_portable, "portable"};

}  // namespace

const WordKernels& portable_word_kernels() noexcept { return kPortable; }

const WordKernels& word_kernels() noexcept {
  static const WordKernels* chosen = [] {
    const WordKernels* avx2 = avx2_word_kernels();
    return avx2 != nullptr ? avx2 : &kPortable;
  }();
  return *chosen;
}

}  // namespace riphost
