// The perfect hash: the worked tables, the choice of one or two tables, and
// random handle sets in which every handle must find its own record.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "perfect_hash.h"

namespace {

using screeninfo::PointerEntry;
using screeninfo::ScreenHash;

std::vector<std::pair<int, std::string>> messages;

int record_message(int level, const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  messages.emplace_back(level, text);
  return 0;
}

bool said(int level, const std::string& text) {
  return std::find(messages.begin(), messages.end(), std::make_pair(level, text)) != messages.end();
}

std::vector<PointerEntry> pairs_of(const std::vector<uint32_t>& handles) {
  std::vector<PointerEntry> pairs;
  for (std::size_t i = 0; i < handles.size(); ++i) pairs.push_back({handles[i], static_cast<int32_t>(i)});
  return pairs;
}

// The window by the definition: every pair, lowest differing bit from 0 up
// (32 when equal), highest differing bit within bits 0..H (1 when none).
void brute_window(const std::vector<uint32_t>& h, int* low, int* high) {
  *high = 2;
  for (std::size_t i = 0; i < h.size(); ++i)
    for (std::size_t j = i + 1; j < h.size(); ++j)
      *high = std::max(*high, h[i] == h[j] ? 32 : std::countr_zero(h[i] ^ h[j]));
  const uint32_t mask = *high >= 31 ? 0xFFFFFFFFu : (2u << *high) - 1u;
  *low = 31;
  for (std::size_t i = 0; i < h.size(); ++i)
    for (std::size_t j = i + 1; j < h.size(); ++j) {
      const uint32_t d = (h[i] ^ h[j]) & mask;
      *low = std::min(*low, d == 0 ? 1 : 31 - std::countl_zero(d));
    }
}

TEST(PerfectHash, WorkedTablesAndTheirMessages) {
  messages.clear();
  ScreenHash hash;
  auto one = pairs_of({16, 80, 144});
  ASSERT_EQ(hash.init(one.data(), 3, 3, 1, record_message), 0);
  EXPECT_EQ(hash.kind(), ScreenHash::Lookup::one_table);
  EXPECT_EQ(hash.size(), 4);
  EXPECT_EQ(hash.mask(), 3u);
  EXPECT_EQ(hash.shift(), 6);
  EXPECT_EQ(hash.lookup_table(), (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_EQ(hash.lookup(208), 3);  // slot 3: the unknown-screens record
  EXPECT_EQ(hash.lookup(17), 0);   // shares slot 0 with 16
  EXPECT_TRUE(said(3, "mask lowest bit=6, highest bit=7, width=2"));
  EXPECT_TRUE(said(3, "hash with one table: Unique Screens=3, pointers=3, Mask=0x3, Shift=6, HashLoad=0.8"));

  messages.clear();
  auto two = pairs_of({8, 12, 4104});
  ASSERT_EQ(hash.init(two.data(), 3, 3, 2, record_message), 0);
  EXPECT_EQ(hash.kind(), ScreenHash::Lookup::two_tables);
  EXPECT_EQ(hash.size(), 64);
  EXPECT_EQ(hash.shift1(), 2);
  EXPECT_EQ(hash.shift2(), 7);
  EXPECT_EQ(hash.map_table()[2], 0);
  EXPECT_EQ(hash.map_table()[3], 1);
  EXPECT_EQ(hash.lookup_table()[0], 0);   // 8
  EXPECT_EQ(hash.lookup_table()[32], 2);  // 4104
  EXPECT_EQ(hash.lookup_table()[1], 1);   // 12
  for (const PointerEntry& p : two) EXPECT_EQ(hash.lookup(p.handle), p.index);
  // The C library's rounding: 3/128 prints as 0.0.
  EXPECT_TRUE(said(3, "hash with two tables: Unique Screens=3, pointers=3, Mask=0x3f, Shift1=2, Shift2=7, "
                      "HashLoad=0.0"));
  EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                          [](const auto& m) { return m.second.rfind("HashMap", 0) == 0; }),
            3);
  EXPECT_TRUE(said(3, "HashMap2:Pointer=0xC,HB=0x0 Tabel[LB=0x3]=0x1"));

  // Without debugging nothing is said; one pointer needs no table.
  messages.clear();
  auto single = pairs_of({0xABCD0});
  ASSERT_EQ(hash.init(single.data(), 1, 1, 0, record_message), 0);
  EXPECT_EQ(hash.kind(), ScreenHash::Lookup::single);
  EXPECT_EQ(hash.lookup(0xABCD0), 0);
  EXPECT_EQ(hash.lookup(0xABCD4), 1);
  EXPECT_EQ(hash.init(single.data(), 0, 0, 0, record_message), -1);
  EXPECT_TRUE(said(1, "hash_init: invalid number of pointers (<=0)"));
  EXPECT_EQ(hash.size(), 0);
}

TEST(PerfectHash, TableChoiceAndDuplicates) {
  ScreenHash hash;
  // Width exactly 8 with three pointers: one table of 256 entries.
  auto w8 = pairs_of({0, 4, 512});
  ASSERT_EQ(hash.init(w8.data(), 3, 3, 0, nullptr), 0);
  EXPECT_EQ(hash.kind(), ScreenHash::Lookup::one_table);
  EXPECT_EQ(hash.size(), 256);
  // Width 9 with 300 pointers: not above the bits of 300, so one table of 512.
  std::vector<uint32_t> h300;
  for (uint32_t i = 0; i < 300; ++i) h300.push_back(0x10000000u + (i << 2));
  auto w9 = pairs_of(h300);
  ASSERT_EQ(hash.init(w9.data(), 300, 300, 0, nullptr), 0);
  EXPECT_EQ(hash.kind(), ScreenHash::Lookup::one_table);
  EXPECT_EQ(hash.size(), 512);
  for (const PointerEntry& p : w9) ASSERT_EQ(hash.lookup(p.handle), p.index);
  // A handle that occurs twice: window 1..32, two tables of 2^16, and both
  // pairs share one slot.
  std::vector<PointerEntry> dup = {{0x1000, 0}, {0x2000, 1}, {0x1000, 2}};
  ASSERT_EQ(hash.init(dup.data(), 3, 3, 0, nullptr), 0);
  EXPECT_EQ(hash.kind(), ScreenHash::Lookup::two_tables);
  EXPECT_EQ(hash.size(), 1 << 16);
  EXPECT_EQ(hash.lookup(0x2000), 1);
  const int shared = hash.lookup(0x1000);
  EXPECT_TRUE(shared == 0 || shared == 2);
}

TEST(PerfectHash, EveryHandleFindsItsOwnRecord) {
  std::mt19937 random(20261207);
  auto check = [&](std::vector<uint32_t> handles, const char* what) {
    std::sort(handles.begin(), handles.end());
    handles.erase(std::unique(handles.begin(), handles.end()), handles.end());
    std::shuffle(handles.begin(), handles.end(), random);
    int low = 0, high = 0, want_low = 0, want_high = 0;
    auto pairs = pairs_of(handles);
    if (handles.size() <= 600) {
      ScreenHash::window(pairs.data(), static_cast<int>(pairs.size()), &low, &high);
      brute_window(handles, &want_low, &want_high);
      ASSERT_EQ(low, want_low) << what;
      ASSERT_EQ(high, want_high) << what;
    }
    ScreenHash hash;
    const int n = static_cast<int>(pairs.size());
    ASSERT_EQ(hash.init(pairs.data(), n, n, 0, nullptr), 0) << what << " n=" << n;
    for (const PointerEntry& p : pairs) ASSERT_EQ(hash.lookup(p.handle), p.index) << what << std::hex << p.handle;
  };
  for (int round = 0; round < 40; ++round) {
    const std::size_t n = 2 + random() % (round < 30 ? 64 : 4096);
    const uint32_t base = static_cast<uint32_t>(random()) & ~0xFFFu;
    std::vector<uint32_t> aligned, unaligned, neighbours, high_bits, scattered;
    for (std::size_t i = 0; i < n; ++i) {
      aligned.push_back(base + 48u * static_cast<uint32_t>(random() % 100000));  // descriptor addresses
      unaligned.push_back(base + static_cast<uint32_t>(random() % 4096));        // any byte address
      neighbours.push_back(base + static_cast<uint32_t>(i));                     // differ in bits 0 and 1 too
      high_bits.push_back(0x1234u | (static_cast<uint32_t>(random() % 4096) << 20));  // only high bits differ
      scattered.push_back(static_cast<uint32_t>(random()));
    }
    check(aligned, "aligned");
    check(unaligned, "unaligned");
    check(neighbours, "neighbours");
    check(high_bits, "high bits");
    check(scattered, "scattered");
  }
  // Two handles that differ only in bit 0.
  check({0x40001000u, 0x40001001u}, "bit 0");
  check({0x40001000u, 0x40001001u, 0x40001002u}, "bits 0 and 1");
}

}  // namespace
