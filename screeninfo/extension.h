// extension.h - the screening extension: registration, screen table, hash,
// run accounting, and the hand-over of the totals to the tag writer.
//
// The host registers its SCR and SCRSEL hooks through drav_extension
// (registration.h). For each separation it then loads the screen selection
// (ext_scrsel_load: the screen table, screen_table.h), starts software
// screening (ext_softscr_init: the perfect hash, perfect_hash.h, and the run
// callbacks, run_accounting.h), reports lines and runs (the callbacks add up
// pixels and bounding boxes per screen), and finally releases the selection
// (ext_scrsel_unload) after the file's tags were written; the tag writer
// reads the totals through pass_screen_info and pass_other_info
// (screen_info.h). Each part owns its own state; all of it is process-wide
// and used from the host's thread only.
#ifndef SCREENINFO_EXTENSION_H
#define SCREENINFO_EXTENSION_H

#include "perfect_hash.h"
#include "registration.h"
#include "run_accounting.h"
#include "screen_info.h"
#include "screen_table.h"

#endif  // SCREENINFO_EXTENSION_H
