// The fast row conversion (AVX2 where the processor has it) and the portable
// 64-bit word loops against the byte-at-a-time reference, and the reference
// against a pixel-by-pixel model, for 1-bit and 8-bit rows with every mix of
// mirror and reverse.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tav_rowtransform.h"

namespace {

struct Mode {
  int bits;
  bool mirror;
  bool reverse;
};

// "1bit_mirror_reverse" and the like.
std::string ModeText(const Mode& m) {
  return std::to_string(m.bits) + "bit" + (m.mirror ? "_mirror" : "_left") + (m.reverse ? "_reverse" : "");
}

// Test names, and the mode in failure messages.
std::string ModeName(const testing::TestParamInfo<Mode>& info) { return ModeText(info.param); }
void PrintTo(const Mode& m, std::ostream* os) { *os << ModeText(m); }

// Every width from 1 to 300 (all paddings, and both sides of the 8-, 32- and
// 33-byte steps of the loops), then rows a page might have.
std::vector<uint32_t> Widths() {
  std::vector<uint32_t> widths;
  for (uint32_t w = 1; w <= 300; ++w) widths.push_back(w);
  for (uint32_t w : {8191u, 8192u, 8193u, 20000u, 20001u, 20007u}) widths.push_back(w);
  return widths;
}

// Random bytes, including the padding bits past the width of a 1-bit row.
std::vector<uint8_t> RandomBytes(std::mt19937_64& rng, std::size_t n) {
  std::vector<uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// The stored row built one pixel at a time from what a stored row means:
// first pixel in the most significant bit, padding zero, pixel x taken from
// width-1-x when mirrored, inverted when reversed.
std::vector<uint8_t> PixelModel(const std::vector<uint8_t>& in, const Mode& m, uint32_t width) {
  if (m.bits == 8) {
    std::vector<uint8_t> out(width);
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t v = in[m.mirror ? width - 1 - x : x];
      out[x] = m.reverse ? static_cast<uint8_t>(~v) : v;
    }
    return out;
  }
  std::vector<uint8_t> out((width + 7) / 8, 0);
  for (uint32_t x = 0; x < width; ++x) {
    const uint32_t from = m.mirror ? width - 1 - x : x;
    unsigned pixel = (in[from / 8] >> (from % 8)) & 1u;
    if (m.reverse) pixel ^= 1u;
    out[x / 8] |= static_cast<uint8_t>(pixel << (7 - x % 8));
  }
  return out;
}

class RowTransformFast : public testing::TestWithParam<Mode> {};

// Fast and portable loops give the reference's bytes at every width, from
// rows with random padding. Buffers are exactly one row long, so the
// sanitizer build catches a read or write past either end.
TEST_P(RowTransformFast, MatchesReferenceAtEveryWidth) {
  const Mode m = GetParam();
  std::mt19937_64 rng(0x5EED0000u + static_cast<unsigned>(m.bits) * 4 + m.mirror * 2 + m.reverse);
  for (const uint32_t width : Widths()) {
    const tav::RowTransform t(m.bits, width, m.mirror, m.reverse);
    const std::size_t n = t.RowBytes();
    ASSERT_EQ(n, m.bits == 1 ? (width + 7) / 8 : width);
    for (int round = 0; round < 3; ++round) {
      const std::vector<uint8_t> in = RandomBytes(rng, n);
      std::vector<uint8_t> reference(n), fast(n), portable(n);
      t.ApplyReference(in.data(), reference.data());
      t.Apply(in.data(), fast.data());
      t.ApplyPortable(in.data(), portable.data());
      ASSERT_EQ(fast, reference) << "width " << width << ", " << t.FastPathName() << " loops";
      ASSERT_EQ(portable, reference) << "width " << width << ", portable loops";
    }
  }
}

// The reference itself stores what a stored row means.
TEST_P(RowTransformFast, ReferenceMatchesPixelModel) {
  const Mode m = GetParam();
  std::mt19937_64 rng(42);
  for (const uint32_t width : Widths()) {
    if (width > 300 && width != 8193) continue;
    const tav::RowTransform t(m.bits, width, m.mirror, m.reverse);
    const std::vector<uint8_t> in = RandomBytes(rng, t.RowBytes());
    std::vector<uint8_t> out(t.RowBytes());
    t.ApplyReference(in.data(), out.data());
    ASSERT_EQ(out, PixelModel(in, m, width)) << "width " << width;
  }
}

// Rows at odd addresses convert alike and nothing is written past the row.
TEST_P(RowTransformFast, UnalignedRowsStayWithinTheirBytes) {
  const Mode m = GetParam();
  constexpr uint8_t kSentinel = 0xA5;
  constexpr std::size_t kGuard = 64;
  std::mt19937_64 rng(7);
  for (const uint32_t width : {7u, 64u, 255u, 263u, 520u, 8193u}) {
    const tav::RowTransform t(m.bits, width, m.mirror, m.reverse);
    const std::size_t n = t.RowBytes();
    for (std::size_t offset = 1; offset < 8; ++offset) {
      // The input ends exactly at its buffer's end; the output has a guard.
      const std::vector<uint8_t> row = RandomBytes(rng, n);
      std::vector<uint8_t> in(offset + n);
      std::memcpy(in.data() + offset, row.data(), n);
      std::vector<uint8_t> reference(n);
      t.ApplyReference(row.data(), reference.data());
      for (const bool portable : {false, true}) {
        std::vector<uint8_t> out(offset + n + kGuard, kSentinel);
        if (portable) {
          t.ApplyPortable(in.data() + offset, out.data() + offset);
        } else {
          t.Apply(in.data() + offset, out.data() + offset);
        }
        const std::vector<uint8_t> got(out.begin() + static_cast<std::ptrdiff_t>(offset),
                                       out.begin() + static_cast<std::ptrdiff_t>(offset + n));
        ASSERT_EQ(got, reference) << "width " << width << ", offset " << offset
                                  << (portable ? ", portable" : ", fast");
        for (std::size_t i = 0; i < offset; ++i) ASSERT_EQ(out[i], kSentinel) << "before the row";
        for (std::size_t i = offset + n; i < out.size(); ++i) ASSERT_EQ(out[i], kSentinel) << "past the row";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllModes, RowTransformFast,
                         testing::Values(Mode{1, false, false}, Mode{1, false, true}, Mode{1, true, false},
                                         Mode{1, true, true}, Mode{8, false, false}, Mode{8, false, true},
                                         Mode{8, true, false}, Mode{8, true, true}),
                         ModeName);

// On a processor with AVX2 the fast path is the AVX2 one, so the tests above
// cover those loops and not the portable ones twice.
TEST(RowTransformDispatch, UsesAvx2WhereTheProcessorHasIt) {
  const tav::RowTransform t(1, 100, false, false);
#if defined(__x86_64__) && defined(__GNUC__)
  if (__builtin_cpu_supports("avx2")) {
    EXPECT_STREQ(t.FastPathName(), "avx2");
    return;
  }
#endif
  EXPECT_STREQ(t.FastPathName(), "portable");
}

}  // namespace
