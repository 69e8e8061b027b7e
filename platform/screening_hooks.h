// screening_hooks.h - records of the host's screening hooks.
//
// The host offers its screening hooks through drav_extension. Each hook
// record starts with its hook ID and version; the fields keep the order of
// the host's 32-bit layout, with pointers at their natural width.
#ifndef SCREENING_HOOKS_H
#define SCREENING_HOOKS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { SCR_HOOK_ID = 1, SCRSEL_HOOK_ID = 3 };
enum { SCR_HOOK_VERSION = 2, SCRSEL_HOOK_VERSION = 10 };

// Run callbacks: screen handle, start x, length in pixels.
typedef void (*ScrRunFn)(uint32_t handle, int32_t x, int32_t length);

typedef int (*ScrInitFn)(int bits, intptr_t second, ScrRunFn screen_run, ScrRunFn solid_run,
                         ScrRunFn copydot_run);
typedef int (*ScrLineFn)(intptr_t first, int32_t line, intptr_t third);

// The SCR (software screening) hook record.
typedef struct ScrHookRecord {
  int32_t hook_id;        // SCR_HOOK_ID
  int32_t version;        // SCR_HOOK_VERSION
  const char* ident;      // written by the extension
  ScrInitFn init;         // replaced by the extension, which chains to the host's
  ScrLineFn line;         // replaced by the extension, which chains to the host's
  intptr_t host_words[4]; // the host's, not touched
  intptr_t cleared[3];    // set to 0 by the extension
} ScrHookRecord;

struct ScreenSelection;

typedef int (*ScrSelLoadFn)(struct ScreenSelection* selection);
typedef int (*ScrSelUnloadFn)(struct ScreenSelection* selection, intptr_t second, intptr_t third);
typedef int (*ScrGetStateFn)(struct ScreenSelection* selection, uint32_t handle, const char** dot,
                             int32_t* a, int32_t* b, int32_t* loaded, int32_t* scrtype, int32_t* c);
typedef int (*ScrGetParamsFn)(struct ScreenSelection* selection, uint32_t handle, const char** dot,
                              double* a, double* lpi, double* b, double* ang, int32_t* loaded,
                              int32_t* scrtype, void* n1, void* n2, void* n3, void* n4, void* n5,
                              void* n6, void* n7);
typedef int (*ScrGetNameFn)(struct ScreenSelection* selection, uint32_t handle, char* name108);

// The SCRSEL (screen selection) hook record.
typedef struct ScrSelHookRecord {
  int32_t hook_id;              // SCRSEL_HOOK_ID
  int32_t version;              // SCRSEL_HOOK_VERSION
  const char* ident;            // written by the extension
  intptr_t host_words0[8];      // the host's
  ScrSelLoadFn load;            // replaced by the extension
  ScrSelUnloadFn unload;        // replaced by the extension
  intptr_t host_words1[6];      // the host's
  ScrGetStateFn get_screen_state;
  intptr_t host_words2[5];      // the host's
  ScrGetParamsFn get_screen_params;
  intptr_t host_words3[3];      // the host's
  ScrGetNameFn get_screen_name;
} ScrSelHookRecord;

// The host's screen selection, as far as the extension reads it.
typedef struct ScreenSelection {
  intptr_t host_words[40];      // the host's
  uint32_t* screens;            // handles of the selected screens
  int32_t* screen_uses;         // one per entry; entries > 0 are taken
  intptr_t host_word;           // the host's
  int32_t screen_count;         // entries in both arrays
} ScreenSelection;

#ifdef __cplusplus
}
#endif

#endif  // SCREENING_HOOKS_H
