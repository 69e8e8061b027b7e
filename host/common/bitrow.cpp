// bitrow.cpp - span filling and bit-order helpers for 1-bit scanlines.
#include "common/bitrow.h"

#include <bit>
#include <cstring>

namespace riphost {

namespace {

// Builds the bit-reversal table at compile time.
constexpr std::array<std::uint8_t, 256> make_reverse_table() {
  std::array<std::uint8_t, 256> table{};
  for (int value = 0; value < 256; ++value) {
    int reversed = 0;
    for (int bit = 0; bit < 8; ++bit) {
      if (value & (1 << bit)) reversed |= 1 << (7 - bit);
    }
    table[static_cast<std::size_t>(value)] = static_cast<std::uint8_t>(reversed);
  }
  return table;
}

// Mask of the bits of pixels [from, to) inside one byte (0 <= from < to <= 8).
constexpr std::uint8_t byte_mask(int from, int to) {
  return static_cast<std::uint8_t>(((1u << to) - 1u) & ~((1u << from) - 1u));
}

}  // namespace

const std::array<std::uint8_t, 256> kReverseBits = make_reverse_table();

// Eight bytes at a time; the rest byte by byte. One copy for processors
// with the POPCNT instruction, one for the others, chosen at load time.
__attribute__((target_clones("popcnt", "default"))) std::uint64_t count_ink(const std::uint8_t* row,
                                                                           std::size_t bytes) noexcept {
  std::uint64_t ink = 0;
  std::size_t i = 0;
  for (; i + 8 <= bytes; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, row + i, sizeof word);
    ink += static_cast<std::uint64_t>(std::popcount(word));
  }
  for (; i < bytes; ++i) ink += static_cast<std::uint64_t>(std::popcount(static_cast<unsigned>(row[i])));
  return ink;
}

// Bytes of one row, padded to whole 32-bit words.
std::size_t row_bytes(int width) noexcept {
  if (width <= 0) return 0;
  return (static_cast<std::size_t>(width) + 31u) / 32u * 4u;
}

namespace {

// Sets (Ink) or clears pixels [x0, x1): partial first byte, whole middle
// bytes, partial last byte.
template <bool Ink>
void paint_span(std::uint8_t* row, int x0, int x1) noexcept {
  if (x0 < 0) x0 = 0;
  if (x1 <= x0) return;
  auto paint = [row](int index, std::uint8_t mask) {
    if constexpr (Ink) {
      row[index] |= mask;
    } else {
      row[index] &= static_cast<std::uint8_t>(~mask);
    }
  };
  int first = x0 >> 3;
  int last = (x1 - 1) >> 3;
  if (first == last) {
    paint(first, byte_mask(x0 & 7, ((x1 - 1) & 7) + 1));
    return;
  }
  paint(first, byte_mask(x0 & 7, 8));
  if (last > first + 1) std::memset(row + first + 1, Ink ? 0xFF : 0x00, static_cast<std::size_t>(last - first - 1));
  paint(last, byte_mask(0, ((x1 - 1) & 7) + 1));
}

}  // namespace

// Sets pixels [x0, x1).
void set_span(std::uint8_t* row, int x0, int x1) noexcept { paint_span<true>(row, x0, x1); }

// Clears pixels [x0, x1).
void clear_span(std::uint8_t* row, int x0, int x1) noexcept { paint_span<false>(row, x0, x1); }

// Clears the padding after the last pixel.
void clear_tail(std::uint8_t* row, int width, std::size_t bytes) noexcept {
  if (width < 0) width = 0;
  std::size_t full = static_cast<std::size_t>(width) / 8u;
  if (full >= bytes) return;
  if (width & 7) {
    row[full] &= byte_mask(0, width & 7);
    ++full;
  }
  if (full < bytes) std::memset(row + full, 0, bytes - full);
}

// Bit-reverses each byte, inverting it first when asked: eight bytes at a
// time by swapping neighbouring bits, pairs and nibbles inside every byte of
// a 64-bit word, the rest through the table.
void unpack_msb_first(const std::uint8_t* packed, int pixels, bool invert, std::uint8_t* bits) noexcept {
  if (pixels <= 0) return;
  std::size_t bytes = (static_cast<std::size_t>(pixels) + 7u) / 8u;
  std::uint8_t flip = invert ? 0xFF : 0x00;
  const std::uint64_t flip64 = invert ? ~std::uint64_t{0} : 0;
  std::size_t i = 0;
  for (; i + 8 <= bytes; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, packed + i, 8);
    w ^= flip64;
    w = ((w >> 1) & 0x5555555555555555ull) | ((w & 0x5555555555555555ull) << 1);
    w = ((w >> 2) & 0x3333333333333333ull) | ((w & 0x3333333333333333ull) << 2);
    w = ((w >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((w & 0x0F0F0F0F0F0F0F0Full) << 4);
    std::memcpy(bits + i, &w, 8);
  }
  for (; i < bytes; ++i) bits[i] = kReverseBits[static_cast<std::uint8_t>(packed[i] ^ flip)];
}

}  // namespace riphost
