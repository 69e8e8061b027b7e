// expand.cpp - 1-to-8-bit expansion: a byte-wide table beside the nibble table.
#include "expand.h"

#include <array>
#include <cstring>

namespace dravout {
namespace {

constexpr uint32_t nibble_word(unsigned n) {
  uint32_t word = 0;
  for (unsigned k = 0; k < 4; ++k) {
    if (n & (1u << k)) word |= 0xFFu << (8 * k);
  }
  return word;
}

// 256 entries of eight bytes: one lookup and one store per input byte.
constexpr std::array<uint64_t, 256> make_wide_table() {
  std::array<uint64_t, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    table[b] = static_cast<uint64_t>(nibble_word(b & 15)) |
               (static_cast<uint64_t>(nibble_word(b >> 4)) << 32);
  }
  return table;
}

constexpr std::array<uint64_t, 256> wide_table = make_wide_table();

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the expansion tables are stored as little-endian words");

}  // namespace

const uint32_t expand_table[16] = {
    nibble_word(0),  nibble_word(1),  nibble_word(2),  nibble_word(3),
    nibble_word(4),  nibble_word(5),  nibble_word(6),  nibble_word(7),
    nibble_word(8),  nibble_word(9),  nibble_word(10), nibble_word(11),
    nibble_word(12), nibble_word(13), nibble_word(14), nibble_word(15),
};

void expand_scanline(const uint8_t* input, std::size_t bytes, uint8_t* output) {
  for (std::size_t i = 0; i < bytes; ++i) {
    const uint64_t eight = wide_table[input[i]];
    std::memcpy(output + 8 * i, &eight, sizeof eight);
  }
}

void expand_scanline_reference(const uint8_t* input, std::size_t bytes, uint8_t* output) {
  for (std::size_t i = 0; i < bytes; ++i) {
    const uint32_t low = expand_table[input[i] & 15];
    const uint32_t high = expand_table[input[i] >> 4];
    std::memcpy(output + 8 * i, &low, sizeof low);
    std::memcpy(output + 8 * i + 4, &high, sizeof high);
  }
}

}  // namespace dravout
