// dravcfg.h - the configuration library: the recorder settings of a device.
//
// A location such as "QZ_RIPPAR:dv_config.res" names a resource through a
// logical prefix; the library resolves it, reads the recorder settings and
// hands them out as set records.
#ifndef DRAVCFG_H
#define DRAVCFG_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define DRAVCFG_API __attribute__((visibility("default")))

typedef struct DravCfg DravCfg;

// One set of recorder settings. Offsets are those of the record's layout.
typedef struct DravCfgSet {
  char name[256];              // 0
  int32_t resolution_count;    // 256: number of resolutions in the set
  int32_t reserved0;           // 260
  struct {
    double resolution;         // 264 + 840 * k
    char reserved[832];
  } resolutions[16];
} DravCfgSet;

// Opens and reads the settings at location; null when it cannot be opened.
DRAVCFG_API DravCfg* dravcfg_open(const char* location);
// Number of pending error texts and the texts themselves (owned by the handle).
DRAVCFG_API int dravcfg_get_nr_errors(DravCfg* cfg);
DRAVCFG_API const char** dravcfg_get_errormessages(DravCfg* cfg);
// Number of sets, 0 on failure.
DRAVCFG_API int dravcfg_get_nrsets(DravCfg* cfg);
// An array of dravcfg_get_nrsets pointers to set records, null on failure.
// The caller frees every record and then the array with free().
DRAVCFG_API DravCfgSet** dravcfg_get_sets(DravCfg* cfg);
// Closes the handle and sets *cfg to null.
DRAVCFG_API void dravcfg_close(DravCfg** cfg);

#ifdef __cplusplus
}
#endif

#endif  // DRAVCFG_H
