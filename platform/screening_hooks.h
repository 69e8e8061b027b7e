// screening_hooks.h - the host's screening hooks, as the extension sees them.
//
// The host offers numbered hooks of its screening machinery through
// drav_extension(record, host table). Every hook record starts with its hook
// ID and its version. The extension claims two:
//
//   SCR (ID 1, version 2): software screening. The host calls init when it
//   starts screening a separation, line before the runs of each line, and
//   the run callbacks that init handed it for every run it produces.
//   SCRSEL (ID 3, version 10): the screen selection of a separation. The
//   host calls load when it has selected the screens of a separation and
//   unload when it lets go of them; the extension asks about each screen
//   through get_screen_params, get_screen_state and get_screen_name.
//
// Records are shared memory between host and extension. They keep the field
// order of the host's 32-bit layout with pointers and host words at their
// natural width; the byte offsets of that 32-bit layout are given beside each
// field, the offsets of this build are pinned below. The extension copies a
// record whole (sizeof) before it writes its own functions into it.
//
// Screen handles are 32-bit values chosen by the host, one per screen
// descriptor (a host may use the descriptor's address). Handles need not be
// aligned: any two distinct handles are told apart.
#ifndef SCREENING_HOOKS_H
#define SCREENING_HOOKS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { SCR_HOOK_ID = 1, SCRSEL_HOOK_ID = 3 };
enum { SCR_HOOK_VERSION = 2, SCRSEL_HOOK_VERSION = 10 };

// Run callbacks: screen handle (not looked at for solid and copydot runs),
// start x of the run, length in pixels.
typedef void (*ScrRunFn)(uint32_t handle, int32_t x, int32_t length);

// SCR init: bits per pixel of the separation, a host value passed on as it
// is, and the three run callbacks (screen, solid, copydot; null when the
// runs are not wanted). The host's own init is called last by the extension.
typedef int (*ScrInitFn)(int bits, intptr_t second, ScrRunFn screen_run, ScrRunFn solid_run,
                         ScrRunFn copydot_run);
// SCR line: a host value, the number of the line whose runs follow, a host value.
typedef int (*ScrLineFn)(intptr_t first, int32_t line, intptr_t third);

// The SCR (software screening) hook record. 32-bit layout: 48 bytes.
typedef struct ScrHookRecord {
  int32_t hook_id;         // 0: SCR_HOOK_ID
  int32_t version;         // 4: SCR_HOOK_VERSION
  const char* ident;       // 8: written: the extension's identification
  ScrInitFn init;          // 12: written: the extension's, which chains to the host's
  ScrLineFn line;          // 16: written: the extension's, which chains to the host's
  intptr_t host_words[4];  // 20-35: the host's, not touched
  intptr_t cleared[3];     // 36, 40, 44: set to 0 by the extension
} ScrHookRecord;

struct ScreenSelection;

// SCRSEL load: the selection the host has just made.
typedef int (*ScrSelLoadFn)(struct ScreenSelection* selection);
// SCRSEL unload: the selection and two words of the host's own. The
// extension frees its tables and then calls the host's unload with exactly
// the three arguments it received.
typedef int (*ScrSelUnloadFn)(struct ScreenSelection* selection, intptr_t host_arg1, intptr_t host_arg2);
// Screen queries. Out arguments are written by the host; dot receives the
// screen's dot-shape name (owned by the host, valid until unload).
typedef int (*ScrGetStateFn)(struct ScreenSelection* selection, uint32_t handle, const char** dot,
                             int32_t* unused1, int32_t* unused2, int32_t* loaded, int32_t* scrtype,
                             int32_t* unused3);
typedef int (*ScrGetParamsFn)(struct ScreenSelection* selection, uint32_t handle, const char** dot,
                              double* unused1, double* lpi, double* unused2, double* ang, int32_t* loaded,
                              int32_t* scrtype, void* n1, void* n2, void* n3, void* n4, void* n5, void* n6,
                              void* n7);
// Fills name (108 bytes) with a zero-terminated text naming the screen.
typedef int (*ScrGetNameFn)(struct ScreenSelection* selection, uint32_t handle, char* name);

// Bytes of the buffer that get_screen_name fills.
#define SCR_SCREEN_NAME_SIZE 108

// The SCRSEL (screen selection) hook record. 32-bit layout: 120 bytes.
typedef struct ScrSelHookRecord {
  int32_t hook_id;                  // 0: SCRSEL_HOOK_ID
  int32_t version;                  // 4: SCRSEL_HOOK_VERSION
  const char* ident;                // 8: written: the extension's identification
  intptr_t host_words0[8];          // 12-43: the host's
  ScrSelLoadFn load;                // 44: written: the extension's, which chains to the host's
  ScrSelUnloadFn unload;            // 48: written: the extension's, which chains to the host's
  intptr_t host_words1[6];          // 52-75: the host's
  ScrGetStateFn get_screen_state;   // 76: called from the extension's saved copy
  intptr_t host_words2[5];          // 80-99: the host's
  ScrGetParamsFn get_screen_params; // 100: called from the saved copy
  intptr_t host_words3[3];          // 104-115: the host's
  ScrGetNameFn get_screen_name;     // 116: called from the saved copy
} ScrSelHookRecord;

// The host's screen selection, as far as the extension reads it.
typedef struct ScreenSelection {
  intptr_t host_words[40];  // 0-159: the host's
  uint32_t* screens;        // 160: handles of the selected screens
  int32_t* screen_uses;     // 164: one per entry; entries above 0 are taken
  intptr_t host_word;       // 168: the host's
  int32_t screen_count;     // 172: entries in both arrays
} ScreenSelection;

#ifdef __cplusplus
}  // extern "C"

#include <cstddef>
// The layout of this build: the 32-bit offsets above with every pointer and
// host word 8 bytes wide.
static_assert(sizeof(void*) != 8 || offsetof(ScrHookRecord, init) == 16);
static_assert(sizeof(void*) != 8 || offsetof(ScrHookRecord, line) == 24);
static_assert(sizeof(void*) != 8 || offsetof(ScrHookRecord, cleared) == 64);
static_assert(sizeof(void*) != 8 || sizeof(ScrHookRecord) == 88);
static_assert(sizeof(void*) != 8 || offsetof(ScrSelHookRecord, load) == 80);
static_assert(sizeof(void*) != 8 || offsetof(ScrSelHookRecord, unload) == 88);
static_assert(sizeof(void*) != 8 || offsetof(ScrSelHookRecord, get_screen_state) == 144);
static_assert(sizeof(void*) != 8 || offsetof(ScrSelHookRecord, get_screen_params) == 192);
static_assert(sizeof(void*) != 8 || offsetof(ScrSelHookRecord, get_screen_name) == 224);
static_assert(sizeof(void*) != 8 || sizeof(ScrSelHookRecord) == 232);
static_assert(sizeof(void*) != 8 || offsetof(ScreenSelection, screens) == 320);
static_assert(sizeof(void*) != 8 || offsetof(ScreenSelection, screen_uses) == 328);
static_assert(sizeof(void*) != 8 || offsetof(ScreenSelection, screen_count) == 344);
// A 32-bit build has the host's own offsets.
static_assert(sizeof(void*) != 4 || (offsetof(ScrHookRecord, init) == 12 && sizeof(ScrHookRecord) == 48));
static_assert(sizeof(void*) != 4 || (offsetof(ScrSelHookRecord, load) == 44 &&
                                     offsetof(ScrSelHookRecord, get_screen_name) == 116 &&
                                     sizeof(ScrSelHookRecord) == 120));
static_assert(sizeof(void*) != 4 || (offsetof(ScreenSelection, screens) == 160 &&
                                     offsetof(ScreenSelection, screen_count) == 172));
#endif

#endif  // SCREENING_HOOKS_H
