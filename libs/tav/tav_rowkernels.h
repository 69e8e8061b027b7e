// tav_rowkernels.h - the loops behind RowTransform: whole-row byte
// operations in a portable word-at-a-time form and, on x86-64 processors
// that have it, an AVX2 form chosen at run time.
#ifndef TAV_ROWKERNELS_H
#define TAV_ROWKERNELS_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace tav {

// Byte with its bit order reversed, for every byte value.
constexpr std::array<uint8_t, 256> MakeBitReverseTable() {
  std::array<uint8_t, 256> table{};
  for (unsigned v = 0; v < 256; ++v) {
    unsigned r = 0;
    for (unsigned bit = 0; bit < 8; ++bit) {
      if (v & (1u << bit)) r |= 0x80u >> bit;
    }
    table[v] = static_cast<uint8_t>(r);
  }
  return table;
}

// The table of MakeBitReverseTable, one copy for the whole library.
inline constexpr std::array<uint8_t, 256> kReversedBits = MakeBitReverseTable();

// One set of row loops. Each writes n bytes to out from in (which must not
// overlap out) and XORs every written byte with invert (0x00 or 0xFF).
struct RowKernels {
  // out[i] = in[i] with its bit order reversed.
  void (*reverse_bits)(const uint8_t* in, uint8_t* out, std::size_t n, uint8_t invert) noexcept;
  // out[i] = in[n-1-i].
  void (*reverse_bytes)(const uint8_t* in, uint8_t* out, std::size_t n, uint8_t invert) noexcept;
  // out[i] = in[i].
  void (*copy)(const uint8_t* in, uint8_t* out, std::size_t n, uint8_t invert) noexcept;
  // The bytes of in in reverse order, read as one most-significant-first bit
  // string and moved left by shift bits (1..7), zeros shifted in:
  // out[i] = in[n-1-i] << shift | in[n-2-i] >> (8-shift), out[n-1] = in[0] << shift.
  void (*reverse_bytes_shifted)(const uint8_t* in, uint8_t* out, std::size_t n, unsigned shift,
                                uint8_t invert) noexcept;
  // Short name for reports: "portable", "avx2".
  const char* name;
};

// The word-at-a-time loops, which run on any processor.
const RowKernels& PortableRowKernels() noexcept;

// The AVX2 loops, or nullptr when this build or this processor lacks them.
const RowKernels* Avx2RowKernels() noexcept;

// The fastest loops this processor runs.
const RowKernels& BestRowKernels() noexcept;

}  // namespace tav

#endif  // TAV_ROWKERNELS_H
