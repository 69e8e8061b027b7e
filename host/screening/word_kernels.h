// word_kernels.h - screening 64 pixels at a time.
//
// Levels (0 to 65535, one per pixel) are compared with a tile row's
// thresholds; each step gives a 64-bit word whose bit i is pixel i: ink
// (level above threshold) and full ink (level 65535). An AVX2 version is
// taken where the processor has it; both give the same words.
#ifndef RIPHOST_WORD_KERNELS_H
#define RIPHOST_WORD_KERNELS_H

#include <cstddef>
#include <cstdint>

namespace riphost {

struct WordKernels {
  // For words k = 0 .. words - 1: pixels level[64 k .. 64 k + 63] against
  // tile_row[c .. c + 63], c starting at column and growing by 64 modulo
  // width (the row is readable 64 thresholds past width). Writes ink[k] and
  // full[k].
  void (*screen_words)(const std::uint16_t* level, const std::uint16_t* tile_row, std::int64_t width,
                       std::int64_t column, std::size_t words, std::uint64_t* ink, std::uint64_t* full) noexcept;
  const char* name;
};

// The fastest kernels the processor runs.
const WordKernels& word_kernels() noexcept;
// The portable kernels (the reference for tests).
const WordKernels& portable_word_kernels() noexcept;
// The AVX2 kernels, or null where the processor lacks AVX2.
const WordKernels* avx2_word_kernels() noexcept;

}  // namespace riphost

#endif  // RIPHOST_WORD_KERNELS_H
