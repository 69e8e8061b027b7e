// perfect_hash.cpp - building the one-table and two-table perfect hashes.
#include "perfect_hash.h"

#include <algorithm>
#include <bit>
#include <new>

namespace screeninfo {
namespace {

// Position of the highest set bit of n searched from bit 30 down to bit 1;
// 1 when none of these is set. B + 1 bits write the number of pointers.
int pointer_bits(int n) {
  for (int bit = 30; bit >= 1; --bit) {
    if ((static_cast<uint32_t>(n) >> bit) & 1u) return bit;
  }
  return 1;
}

// Bit-reversed value: sorting by it puts handles with the longest common
// run of low bits next to each other.
uint32_t reversed(uint32_t v) {
  v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
  v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
  v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
  v = ((v >> 8) & 0x00FF00FFu) | ((v & 0x00FF00FFu) << 8);
  return (v >> 16) | (v << 16);
}

}  // namespace

// The window over all pairs of handles: H is the greatest of the lowest
// differing bits of the pairs (at least 2; 32 for equal handles), L the least
// of the highest differing bits within bits 0 to H (1 for equal handles).
// Both are extremes over pairs that sorting reaches through neighbours alone:
// the longest common run of low bits lies between neighbours in bit-reversed
// order, and the lowest highest-differing bit between neighbours in value
// order, so the scan is N log N rather than N squared.
void ScreenHash::window(const PointerEntry* pointers, int count, int* lowest, int* highest) {
  std::vector<uint32_t> handles(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) handles[static_cast<std::size_t>(i)] = pointers[i].handle;

  int high = 2;
  std::sort(handles.begin(), handles.end(), [](uint32_t a, uint32_t b) { return reversed(a) < reversed(b); });
  for (std::size_t i = 1; i < handles.size(); ++i) {
    const uint32_t differ = handles[i - 1] ^ handles[i];
    high = std::max(high, differ == 0 ? 32 : std::countr_zero(differ));
  }

  const uint32_t mask = high >= 31 ? 0xFFFFFFFFu : (2u << high) - 1u;
  for (uint32_t& h : handles) h &= mask;
  std::sort(handles.begin(), handles.end());
  int low = 31;
  for (std::size_t i = 1; i < handles.size(); ++i) {
    const uint32_t differ = handles[i - 1] ^ handles[i];
    low = std::min(low, differ == 0 ? 1 : 31 - std::countl_zero(differ));
  }
  *lowest = low;
  *highest = high;
}

void ScreenHash::release() {
  kind_ = Lookup::none;
  size_ = 0;
  mask_ = 0;
  lookup_table_ = std::vector<int32_t>();
  map_table_ = std::vector<int32_t>();
}

// hash_init: the window, then one table or two.
int ScreenHash::init(PointerEntry* pointers, int count, int unique_count, int debug_level, HostMessage message) {
  release();
  debug_level_ = debug_level;
  message_ = message;
  unknown_ = unique_count;
  if (count <= 0) {
    drav_message(message_, 1, "hash_init: invalid number of pointers (<=0)");
    return -1;
  }
  if (count == 1) {
    single_handle_ = pointers[0].handle;
    kind_ = Lookup::single;
    return 0;
  }
  int lowest = 31, highest = 2;
  window(pointers, count, &lowest, &highest);
  const int width = highest - lowest + 1;
  if (debug_level_ > 0) drav_message(message_, 3, "mask lowest bit=%d, highest bit=%d, width=%d", lowest, highest, width);

  const int bits = pointer_bits(count);
  if (width > 8 && width > bits + 1) {
    if (find_perfect_hash(pointers, count, width, lowest, bits) != 0) {
      drav_message(message_, 1, "build_hash: Error in hash_MapLBTable(%d, %d)", width, lowest);
      return -3;
    }
    kind_ = Lookup::two_tables;
    return 0;
  }
  if (map_lu_table(pointers, count, width, lowest) != 0) {
    drav_message(message_, 1, "build_hash: Error in hash_MapLUTable(%d, %d)", width, lowest);
    return -3;
  }
  kind_ = Lookup::one_table;
  return 0;
}

// hash_MapLUTable: one table indexed by the window's bits.
int ScreenHash::map_lu_table(const PointerEntry* pointers, int count, int width, int lowest) {
  try {
    lookup_table_.assign(std::size_t{1} << width, unknown_);
  } catch (const std::bad_alloc&) {
    release();
    drav_message(message_, 1, "hash_MapLUTable: hash table malloc error");
    return -2;
  }
  size_ = 1 << width;
  mask_ = static_cast<uint32_t>(size_ - 1);
  shift_ = lowest;
  for (int i = 0; i < count; ++i) lookup_table_[part(pointers[i].handle, shift_)] = pointers[i].index;
  if (debug_level_ > 0) {
    drav_message(message_, 3, "hash with one table: Unique Screens=%d, pointers=%d, Mask=0x%x, Shift=%d, HashLoad=%.1f",
        unknown_, count, mask_, shift_, static_cast<double>(count) / size_);
  }
  return 0;
}

// The three tables of the two-table hash, each of size entries: 0, or -2
// after the report of the one that could not be had.
int ScreenHash::allocate_two_tables(int size, std::vector<int32_t>& count_table) {
  const char* failure = "find_perfect_hash: hash lookup table malloc error";
  try {
    lookup_table_.assign(static_cast<std::size_t>(size), unknown_);
    failure = "find_perfect_hash: hash map table malloc error";
    map_table_.assign(static_cast<std::size_t>(size), 0);
    failure = "find_perfect_hash: hash table malloc error";
    count_table.assign(static_cast<std::size_t>(size), 0);
  } catch (const std::bad_alloc&) {
    release();
    drav_message(message_, 1, "%s", failure);
    return -2;
  }
  size_ = size;
  return 0;
}

// Places the members of one bucket (pairs first .. first + members - 1 of
// the sorted map): the first displacement whose slots are all free. A slot
// is taken when it holds a record index (empty slots hold the unknown-
// screens index, which no pair carries). False when none fits.
bool ScreenHash::place_group(const PointerEntry* group, int members, int first) {
  const uint32_t beta = bucket(group[0].handle);
  bool placed = false;
  for (int d = 0; d < size_ && !placed; ++d) {
    map_table_[beta] = d;
    placed = true;
    for (int j = 0; j < members && placed; ++j) placed = lookup_table_[slot(group[j].handle)] == unknown_;
  }
  if (!placed) return false;
  for (int j = 0; j < members; ++j) {
    const uint32_t h = group[j].handle;
    lookup_table_[slot(h)] = group[j].index;
    if (debug_level_ > 1) {
      drav_message(message_, 3, "HashMap%d:Pointer=0x%X,HB=0x%X Tabel[LB=0x%X]=0x%X", first + j, h, part(h, shift2_), beta,
          static_cast<unsigned>(map_table_[beta]));
    }
  }
  return true;
}

// find_perfect_hash: buckets by the window's low bits, each displaced so
// that the high bits, XORed with the displacement, give a free slot.
int ScreenHash::find_perfect_hash(PointerEntry* pointers, int count, int width, int lowest, int bits) {
  const int table_bits = std::max(bits + 1, (width + 1) / 2);
  const int size = 1 << table_bits;
  mask_ = static_cast<uint32_t>(size - 1);
  shift1_ = lowest;
  shift2_ = width + lowest - table_bits;
  std::vector<int32_t> count_table;
  if (allocate_two_tables(size, count_table) != 0) return -2;

  for (int i = 0; i < count; ++i) ++count_table[bucket(pointers[i].handle)];
  // Fuller buckets first; among equal ones the lower bucket first.
  std::sort(pointers, pointers + count, [&](const PointerEntry& a, const PointerEntry& b) {
    const uint32_t ba = bucket(a.handle), bb = bucket(b.handle);
    const int64_t order = static_cast<int64_t>(count_table[bb] - count_table[ba]) * size +
                          static_cast<int64_t>(ba) - static_cast<int64_t>(bb);
    return order < 0;
  });
  for (int s = 0; s < count;) {
    const int members = count_table[bucket(pointers[s].handle)];
    if (!place_group(pointers + s, members, s)) {
      drav_message(message_, 2, "find_perfect_hash: could not map hash table");
      release();
      return -3;
    }
    s += members;
  }
  if (debug_level_ > 0) {
    drav_message(message_, 3,
        "hash with two tables: Unique Screens=%d, pointers=%d, Mask=0x%x, Shift1=%d, Shift2=%d, HashLoad=%.1f",
        unknown_, count, mask_, shift1_, shift2_, static_cast<double>(count) / (2.0 * size_));
  }
  return 0;
}

namespace {

// The extension's hash of the loaded selection.
ScreenHash selection_hash;

}  // namespace

int hash_init(PointerEntry* pointers, int count, int unique_count, int debug_level, HostMessage message) {
  return selection_hash.init(pointers, count, unique_count, debug_level, message);
}

const ScreenHash& screen_hash() { return selection_hash; }

void hash_release() { selection_hash.release(); }

}  // namespace screeninfo
