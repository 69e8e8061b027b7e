// tav_rowkernels_x86.cpp - the row loops in AVX2, 32 bytes per step, for
// x86-64 processors that have it. Only these functions are compiled for
// AVX2, so the library still runs on any x86-64 processor; the rest of each
// row (fewer than 32 bytes) goes through the portable loops.
#include "tav_rowkernels.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define TAV_HAVE_AVX2_KERNELS 1
#include <immintrin.h>
#endif

namespace tav {

#ifdef TAV_HAVE_AVX2_KERNELS
namespace {

#define TAV_AVX2 __attribute__((target("avx2")))

// 32 bytes from p, any alignment.
TAV_AVX2 inline __m256i Load256(const uint8_t* p) noexcept {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Stores v at p, any alignment.
TAV_AVX2 inline void Store256(uint8_t* p, __m256i v) noexcept {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// The 32 bytes of v in reverse order: reversed within each 128-bit lane,
// then the lanes swapped.
TAV_AVX2 inline __m256i ReverseBytes256(__m256i v) noexcept {
  const __m256i within_lane = _mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0,  //
                                               15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  return _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, within_lane), 0x4E);
}

// Bit order reversed in every byte: each nibble looked up in a 16-entry table
// (pshufb), the low nibble's reversal going to the high half and back.
TAV_AVX2 void ReverseBitsAvx2(const uint8_t* in, uint8_t* out, std::size_t n, uint8_t invert) noexcept {
  // Reversed nibble values, and the same moved to the high nibble.
  const __m256i rev_hi = _mm256_setr_epi8(0x00, 0x08, 0x04, 0x0C, 0x02, 0x0A, 0x06, 0x0E,  //
                                          0x01, 0x09, 0x05, 0x0D, 0x03, 0x0B, 0x07, 0x0F,  //
                                          0x00, 0x08, 0x04, 0x0C, 0x02, 0x0A, 0x06, 0x0E,  //
                                          0x01, 0x09, 0x05, 0x0D, 0x03, 0x0B, 0x07, 0x0F);
  const __m256i rev_lo = _mm256_slli_epi16(rev_hi, 4);
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i inv = _mm256_set1_epi8(static_cast<char>(invert));
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i v = Load256(in + i);
    const __m256i lo = _mm256_and_si256(v, nibble);
    const __m256i hi = _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
    const __m256i r = _mm256_or_si256(_mm256_shuffle_epi8(rev_lo, lo), _mm256_shuffle_epi8(rev_hi, hi));
    Store256(out + i, _mm256_xor_si256(r, inv));
  }
  PortableRowKernels().reverse_bits(in + i, out + i, n - i, invert);
}

// Byte order reversed, 32 bytes per step from the far end.
TAV_AVX2 void ReverseBytesAvx2(const uint8_t* in, uint8_t* out, std::size_t n, uint8_t invert) noexcept {
  const __m256i inv = _mm256_set1_epi8(static_cast<char>(invert));
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    Store256(out + i, _mm256_xor_si256(ReverseBytes256(Load256(in + (n - 32 - i))), inv));
  }
  // What is left is the reversal of the first n-i input bytes.
  PortableRowKernels().reverse_bytes(in, out + i, n - i, invert);
}

// Straight copy, inverted when asked.
TAV_AVX2 void CopyAvx2(const uint8_t* in, uint8_t* out, std::size_t n, uint8_t invert) noexcept {
  if (invert == 0) {
    PortableRowKernels().copy(in, out, n, invert);  // memcpy
    return;
  }
  const __m256i inv = _mm256_set1_epi8(static_cast<char>(invert));
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) Store256(out + i, _mm256_xor_si256(Load256(in + i), inv));
  PortableRowKernels().copy(in + i, out + i, n - i, invert);
}

// Byte order reversed and the bit string moved left by shift bits. Two
// reversed loads one byte apart give each output byte its own input byte
// (a) and the next one (b): out = a << shift | b >> (8-shift). The shifts
// work on 16-bit lanes, so the bits that cross into the neighbouring byte
// are masked off.
TAV_AVX2 void ReverseBytesShiftedAvx2(const uint8_t* in, uint8_t* out, std::size_t n, unsigned shift,
                                      uint8_t invert) noexcept {
  const __m128i left = _mm_cvtsi32_si128(static_cast<int>(shift));
  const __m128i right = _mm_cvtsi32_si128(static_cast<int>(8 - shift));
  const __m256i keep_left = _mm256_set1_epi8(static_cast<char>(0xFFu << shift & 0xFFu));
  const __m256i keep_right = _mm256_set1_epi8(static_cast<char>(0xFFu >> (8 - shift)));
  const __m256i inv = _mm256_set1_epi8(static_cast<char>(invert));
  std::size_t i = 0;
  for (; i + 33 <= n; i += 32) {
    const __m256i a = ReverseBytes256(Load256(in + (n - 32 - i)));
    const __m256i b = ReverseBytes256(Load256(in + (n - 33 - i)));
    const __m256i hi = _mm256_and_si256(_mm256_sll_epi16(a, left), keep_left);
    const __m256i lo = _mm256_and_si256(_mm256_srl_epi16(b, right), keep_right);
    Store256(out + i, _mm256_xor_si256(_mm256_or_si256(hi, lo), inv));
  }
  // What is left is the same operation on the first n-i input bytes.
  PortableRowKernels().reverse_bytes_shifted(in, out + i, n - i, shift, invert);
}

#undef TAV_AVX2

constexpr RowKernels kAvx2 = {ReverseBitsAvx2, ReverseBytesAvx2, CopyAvx2, ReverseBytesShiftedAvx2,
                              "avx2"};

}  // namespace

// The AVX2 loops when the processor (and the system) supports AVX2.
const RowKernels* Avx2RowKernels() noexcept {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? &kAvx2 : nullptr;
}

#else

// Not an x86-64 build: no AVX2 loops.
const RowKernels* Avx2RowKernels() noexcept { return nullptr; }

#endif

}  // namespace tav
