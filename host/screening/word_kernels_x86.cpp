// word_kernels_x86.cpp - the word loop in AVX2, 16 pixels per compare. Only
// this function is compiled for AVX2, so riphost runs on any x86-64
// processor and takes it where the processor has it.
#include "screening/word_kernels.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define RIPHOST_AVX2_WORDS 1
#include <immintrin.h>
#endif

namespace riphost {

#ifdef RIPHOST_AVX2_WORDS
namespace {

#define RIPHOST_AVX2 __attribute__((target("avx2")))

// 32 bits, one per pixel of a and b (16 each): bit set where the pixel's
// level is above its threshold (unsigned), and where it is full.
RIPHOST_AVX2 inline void compare32(const std::uint16_t* level, const std::uint16_t* threshold, std::uint32_t& ink,
                                   std::uint32_t& full) noexcept {
  const __m256i la = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(level));
  const __m256i lb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(level + 16));
  const __m256i ta = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(threshold));
  const __m256i tb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(threshold + 16));
  // level <= threshold exactly where max(level, threshold) == threshold.
  const __m256i paper_a = _mm256_cmpeq_epi16(_mm256_max_epu16(la, ta), ta);
  const __m256i paper_b = _mm256_cmpeq_epi16(_mm256_max_epu16(lb, tb), tb);
  const __m256i ones = _mm256_set1_epi16(-1);
  const __m256i full_a = _mm256_cmpeq_epi16(la, ones), full_b = _mm256_cmpeq_epi16(lb, ones);
  // Packing interleaves the 128-bit lanes; the permute puts them in order.
  const __m256i paper = _mm256_permute4x64_epi64(_mm256_packs_epi16(paper_a, paper_b), 0xD8);
  const __m256i solid = _mm256_permute4x64_epi64(_mm256_packs_epi16(full_a, full_b), 0xD8);
  ink = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(paper));
  full = static_cast<std::uint32_t>(_mm256_movemask_epi8(solid));
}

RIPHOST_AVX2 void screen_words_avx2(const std::uint16_t* level, const std::uint16_t* tile_row, std::int64_t width,
                                    std::int64_t column, std::size_t words, std::uint64_t* ink,
                                    std::uint64_t* full) noexcept {
  for (std::size_t k = 0; k < words; ++k, level += 64) {
    const std::uint16_t* threshold = tile_row + column;
    std::uint32_t ink_lo, ink_hi, full_lo, full_hi;
    compare32(level, threshold, ink_lo, full_lo);
    compare32(level + 32, threshold + 32, ink_hi, full_hi);
    ink[k] = ink_lo | static_cast<std::uint64_t>(ink_hi) << 32;
    full[k] = full_lo | static_cast<std::uint64_t>(full_hi) << 32;
    column += 64;
    if (column >= width) column -= width;
  }
}

constexpr WordKernels kAvx2{screen_words_avx2, "avx2"};

}  // namespace

const WordKernels* avx2_word_kernels() noexcept { return __builtin_cpu_supports("avx2") ? &kAvx2 : nullptr; }

#else

const WordKernels* avx2_word_kernels() noexcept { return nullptr; }

#endif

}  // namespace riphost
