// tav_rowkernels.cpp - the portable row loops, 64 bits at a time, and the
// choice of the loops the processor runs fastest.
#include "tav_rowkernels.h"

#include <bit>
#include <cstring>

namespace tav {
namespace {

constexpr uint64_t kEveryByte = 0x0101010101010101ull;

// Eight bytes from p, in memory order.
inline uint64_t Load64(const uint8_t* p) noexcept {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Stores v at p in memory order.
inline void Store64(uint8_t* p, uint64_t v) noexcept { std::memcpy(p, &v, sizeof v); }

// Eight bytes from p as a number, p[0] least significant.
inline uint64_t LoadLittleEndian64(const uint8_t* p) noexcept {
  const uint64_t v = Load64(p);
  if constexpr (std::endian::native == std::endian::big) return __builtin_bswap64(v);
  return v;
}

// Stores v at p with its most significant byte first.
inline void StoreBigEndian64(uint8_t* p, uint64_t v) noexcept {
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  Store64(p, v);
}

// v with the bit order of each of its bytes reversed: swap neighbouring
// bits, then pairs, then nibbles.
inline uint64_t ReverseBitsInBytes(uint64_t v) noexcept {
  v = ((v >> 1) & 0x5555555555555555ull) | ((v & 0x5555555555555555ull) << 1);
  v = ((v >> 2) & 0x3333333333333333ull) | ((v & 0x3333333333333333ull) << 2);
  v = ((v >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((v & 0x0F0F0F0F0F0F0F0Full) << 4);
  return v;
}

// Bit order reversed in every byte: eight bytes per step, the table for the tail.
void ReverseBitsPortable(const uint8_t* in, uint8_t* out, std::size_t n, uint8_t invert) noexcept {
  const uint64_t invert64 = invert * kEveryByte;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) Store64(out + i, ReverseBitsInBytes(Load64(in + i)) ^ invert64);
  for (; i < n; ++i) out[i] = kReversedBits[in[i]] ^ invert;
}

// Byte order reversed: eight bytes per step from the far end.
void ReverseBytesPortable(const uint8_t* in, uint8_t* out, std::size_t n, uint8_t invert) noexcept {
  const uint64_t invert64 = invert * kEveryByte;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) Store64(out + i, __builtin_bswap64(Load64(in + (n - 8 - i))) ^ invert64);
  for (; i < n; ++i) out[i] = in[n - 1 - i] ^ invert;
}

// Straight copy, inverted when asked.
void CopyPortable(const uint8_t* in, uint8_t* out, std::size_t n, uint8_t invert) noexcept {
  if (invert == 0) {
    std::memcpy(out, in, n);
    return;
  }
  const uint64_t invert64 = invert * kEveryByte;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) Store64(out + i, Load64(in + i) ^ invert64);
  for (; i < n; ++i) out[i] = in[i] ^ invert;
}

// Byte order reversed and the bit string moved left by shift bits. Read as a
// little-endian number, the eight bytes ending at in[n-1-i] are out[i..i+7]
// before the shift, as a big-endian number; the bits shifted in come from
// the top of the next byte down, in[n-9-i].
void ReverseBytesShiftedPortable(const uint8_t* in, uint8_t* out, std::size_t n, unsigned shift,
                                 uint8_t invert) noexcept {
  const uint64_t invert64 = invert * kEveryByte;
  const unsigned back = 8 - shift;
  std::size_t i = 0;
  for (; i + 9 <= n; i += 8) {
    const uint64_t word = LoadLittleEndian64(in + (n - 8 - i));
    const uint64_t next = in[n - 9 - i];
    StoreBigEndian64(out + i, ((word << shift) | (next >> back)) ^ invert64);
  }
  for (; i + 1 < n; ++i) {
    const unsigned hi = static_cast<unsigned>(in[n - 1 - i]) << shift;
    const unsigned lo = static_cast<unsigned>(in[n - 2 - i]) >> back;
    out[i] = static_cast<uint8_t>(hi | lo) ^ invert;
  }
  out[n - 1] = static_cast<uint8_t>(static_cast<unsigned>(in[0]) << shift) ^ invert;
}

constexpr RowKernels kPortable = {ReverseBitsPortable, ReverseBytesPortable, CopyPortable,
                                  ReverseBytesShiftedPortable, "portable"};

}  // namespace

// The word-at-a-time loops.
const RowKernels& PortableRowKernels() noexcept { return kPortable; }

// AVX2 when the processor has it, else the portable loops; decided once.
const RowKernels& BestRowKernels() noexcept {
  static const RowKernels* const best = [] {
    const RowKernels* avx2 = Avx2RowKernels();
    return avx2 != nullptr ? avx2 : &kPortable;
  }();
  return *best;
}

}  // namespace tav
