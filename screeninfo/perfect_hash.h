// perfect_hash.h - the collision-free lookup from screen handles to records.
//
// During software screening every run carries the 32-bit handle of the
// screen that produced it. At the start of a separation hash_init builds,
// from the selection's (handle, record index) pairs, a perfect hash: the
// narrowest window of bit positions in which all handles differ, indexed
// either directly by one table (hash_MapLUTable) or, when that table would be
// too large, through two smaller tables in which a per-bucket displacement,
// found first-fit, separates the handles (find_perfect_hash). A lookup is one
// or two shifts, masks and table reads; it never compares the handle, so a
// handle of the selection always finds its own record and any other handle
// finds the unknown-screens record (index unique_count) or whatever its slot
// holds.
//
// Handles that differ only in bits 0 and 1 (unaligned descriptor addresses)
// get their own slots too: the window search reaches down to bit 0. For
// handles that differ above bit 1 the tables are the same as with a search
// that starts at bit 2.
#ifndef SCREENINFO_PERFECT_HASH_H
#define SCREENINFO_PERFECT_HASH_H

#include <cstdint>
#include <vector>

#include "host_message.h"

namespace screeninfo {

// One selection entry: a screen handle and the index of its screen record.
struct PointerEntry {
  uint32_t handle;
  int32_t index;
};

class ScreenHash {
 public:
  enum class Lookup { none, single, one_table, two_tables };

  // hash_init: builds the hash for pointers[0 .. count-1] (reordered in place
  // on the two-table path); unique_count is the index of the unknown-screens
  // record. Returns 0 with a lookup installed, -1 when count <= 0, -3 when a
  // table cannot be built. Reports through message (may be null); summary
  // lines when debug_level > 0, one line per pointer when it is > 1.
  int init(PointerEntry* pointers, int count, int unique_count, int debug_level, HostMessage message);

  // screen_lookup: the record index of handle h, 0 .. unique_count.
  int lookup(uint32_t h) const {
    switch (kind_) {
      case Lookup::single: return h == single_handle_ ? 0 : 1;
      case Lookup::one_table: return lookup_table_[part(h, shift_)];
      case Lookup::two_tables:
        return lookup_table_[part(h, shift2_) ^ static_cast<uint32_t>(map_table_[part(h, shift1_)])];
      case Lookup::none: break;
    }
    return unknown_;
  }

  // The table bits of h from bit shift up (a shift of 32 leaves none).
  uint32_t part(uint32_t h, int shift) const {
    return static_cast<uint32_t>(static_cast<uint64_t>(h) >> shift) & mask_;
  }

  // Frees the tables; no lookup is installed afterwards.
  void release();

  Lookup kind() const { return kind_; }
  int size() const { return size_; }  // hash_size: entries of each table, 0 when none
  uint32_t mask() const { return mask_; }
  int shift() const { return shift_; }
  int shift1() const { return shift1_; }
  int shift2() const { return shift2_; }
  const std::vector<int32_t>& lookup_table() const { return lookup_table_; }
  const std::vector<int32_t>& map_table() const { return map_table_; }

  // The bit window of a set of handles: lowest bit L, highest bit H (H is 32
  // when a handle occurs twice). Exposed for tests.
  static void window(const PointerEntry* pointers, int count, int* lowest, int* highest);

 private:
  int map_lu_table(const PointerEntry* pointers, int count, int width, int lowest);
  int find_perfect_hash(PointerEntry* pointers, int count, int width, int lowest, int bits);
  int allocate_two_tables(int size, std::vector<int32_t>& count_table);
  bool place_group(const PointerEntry* group, int members, int first);
  uint32_t bucket(uint32_t h) const { return part(h, shift1_); }
  uint32_t slot(uint32_t h) const { return part(h, shift2_) ^ static_cast<uint32_t>(map_table_[bucket(h)]); }

  Lookup kind_ = Lookup::none;
  uint32_t single_handle_ = 0;
  int unknown_ = 0;
  int size_ = 0;
  uint32_t mask_ = 0;
  int shift_ = 0, shift1_ = 0, shift2_ = 0;
  std::vector<int32_t> lookup_table_;
  std::vector<int32_t> map_table_;
  int debug_level_ = 0;
  HostMessage message_ = nullptr;
};

// The extension's hash of the loaded selection; perfect_hash.cpp owns it.
// hash_init builds it over a screen table's pointer map (pointers[0 ..
// count-1], reordered in place on the two-table path; unique_count is the
// unknown-screens record's index): 0, -1 or -3, as ScreenHash::init.
int hash_init(PointerEntry* pointers, int count, int unique_count, int debug_level, HostMessage message);
const ScreenHash& screen_hash();
// Frees its tables; no lookup is installed afterwards.
void hash_release();

}  // namespace screeninfo

#endif  // SCREENINFO_PERFECT_HASH_H
