// screen_table.h - the screen table of a separation's screen selection
// (SCRSEL load and unload).
//
// Owns the table: one record per unique screen of the selection, then the
// unknown-screens record, and the map from every taken screen handle to
// its record. Built by ext_scrsel_load after the host's own load, freed by
// ext_scrsel_unload before the host's own unload. A new table tells the
// hash and the run accounting that the old one is gone.
#ifndef SCREENINFO_SCREEN_TABLE_H
#define SCREENINFO_SCREEN_TABLE_H

#include <cstdint>

#include "perfect_hash.h"
#include "screen_info.h"
#include "screening_hooks.h"

namespace screeninfo {

struct ScreenTable {
  ScreenInfo* screen_info = nullptr;  // unique_count records, then the unknown-screens record
  int unique_count = 0;
  PointerEntry* pointer_map = nullptr;  // pointer_count pairs (handle, record index)
  int pointer_count = 0;
};

// The table of the loaded selection; empty (null) when none is loaded.
const ScreenTable& screen_table();

// SCRSEL slots.
int ext_scrsel_load(ScreenSelection* selection);
int ext_scrsel_unload(ScreenSelection* selection, intptr_t host_arg1, intptr_t host_arg2);

// Frees the table and its names (also used by a repeated load); the hash
// and the run accounting forget it too.
void release_tables();

}  // namespace screeninfo

#endif  // SCREENINFO_SCREEN_TABLE_H
