// dravcfg.h - the configuration library (libdravcfg.so): the recorder
// settings of a device, as sets of resolutions.
//
// A location such as "QZ_RIPPAR:dv_config.res" names a resource through a
// logical name. The part before the first colon is looked up with lognam
// (fileutil.h: the process environment) and gives the device folder; the part
// after it names the resource. The one resource there is, "dv_config.res"
// (compared without regard to the case of A-Z), is the folder's device file
// "<folder>/device.toml": the same file the output utility library reads for
// a job's resource data (docs/device-file.md), read and checked by the same
// reader, so the resolution list and the job's resource data cannot disagree.
//
// Sets: one per [[configuration]] of the device file, in file order; each
// holds the configuration's name and the "ppi" of its
// [[configuration.resolution]] entries, in file order.
//
// Error texts: whatever the library cannot read (a missing file, a TOML
// error, nesting deeper than the file allows, a bad value, an unknown
// resource) becomes one zero-terminated text of the form
//   "dravcfg: <file>:<line>:<column>: <reason>"  (or "dravcfg: <file>: <reason>",
//   or "dravcfg: <location>: <reason>" when no file was named).
// The texts hold file names and file contents: print them as "%s" arguments,
// never as a format. Reading them does not drain them: they stay until the
// handle is closed, so asking twice gives the same texts. A later failure of
// dravcfg_get_sets (out of memory) adds one text.
//
// A handle is used by one thread at a time. Every function accepts a null
// handle and then answers 0 or null.
#ifndef DRAVCFG_H
#define DRAVCFG_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define DRAVCFG_API __attribute__((visibility("default")))

typedef struct DravCfg DravCfg;

// One resolution of a set: 840 bytes.
typedef struct DravCfgResolution {
  double resolution;   // +0: pixels per inch
  char reserved[832];  // +8: zero
} DravCfgResolution;

// One set of recorder settings. A record is ONE block from malloc of
// DRAVCFG_SET_SIZE(resolution_count) bytes: the 264-byte head below followed
// by resolution_count entries of 840 bytes, as many as the configuration has
// (there is no fixed limit). free(record) releases all of it. Bytes not
// described here are zero. (ISO C++ has no flexible array member; GCC and
// Clang take it, so -Wpedantic is quiet about it here.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
typedef struct DravCfgSet {
  char name[256];                    // 0: configuration name, zero-terminated
  int32_t resolution_count;          // 256: number of resolutions in the set
  int32_t reserved0;                 // 260: zero
  DravCfgResolution resolutions[];   // 264 + 840 * k: resolution k (k from 0)
} DravCfgSet;
#pragma GCC diagnostic pop

// Size in bytes of a set record with count resolutions.
#define DRAVCFG_SET_SIZE(count) (sizeof(DravCfgSet) + (size_t)(count) * sizeof(DravCfgResolution))

#ifdef __cplusplus
#define DRAVCFG_STATIC_ASSERT(condition, text) static_assert(condition, text)
#else
#define DRAVCFG_STATIC_ASSERT(condition, text) _Static_assert(condition, text)
#endif
DRAVCFG_STATIC_ASSERT(sizeof(DravCfgResolution) == 840, "a resolution entry is 840 bytes");
DRAVCFG_STATIC_ASSERT(offsetof(DravCfgResolution, resolution) == 0, "resolution at +0");
DRAVCFG_STATIC_ASSERT(offsetof(DravCfgSet, resolution_count) == 256, "count at 256");
DRAVCFG_STATIC_ASSERT(offsetof(DravCfgSet, resolutions) == 264, "resolutions at 264");
DRAVCFG_STATIC_ASSERT(sizeof(DravCfgSet) == 264, "the head of a set record is 264 bytes");
#undef DRAVCFG_STATIC_ASSERT

// Opens the resource at location and reads it at once.
// Null when location names no device folder: location is null, has no
// colon, or its logical name (before the colon) is empty, not defined or
// defined as empty; also when memory runs out. The caller then has no list
// and nothing to report.
// Otherwise a handle, with error texts when the resource cannot be read
// (unknown resource name, folder name too long, device file missing or
// faulty); release it with dravcfg_close.
DRAVCFG_API DravCfg* dravcfg_open(const char* location);

// Number of error texts of the handle (0: none; 0 for a null handle).
DRAVCFG_API int dravcfg_get_nr_errors(DravCfg* cfg);

// The handle's error texts: an array of dravcfg_get_nr_errors(cfg) texts
// followed by a null pointer, owned by the handle and valid until
// dravcfg_close (null for a null handle). Do not free or change them.
DRAVCFG_API const char** dravcfg_get_errormessages(DravCfg* cfg);

// Number of sets; 0 on failure (null handle, or the resource could not be
// read: see the error texts).
DRAVCFG_API int dravcfg_get_nrsets(DravCfg* cfg);

// A new array of dravcfg_get_nrsets(cfg) pointers to new set records, in
// file order; null on failure (null handle, the resource could not be read,
// or out of memory, which adds an error text). The CALLER owns the array and
// the records: it frees every record with free(), then the array with
// free(). Each call makes a new array and new records.
DRAVCFG_API DravCfgSet** dravcfg_get_sets(DravCfg* cfg);

// Releases everything the handle owns (its error texts included) and sets
// *cfg to null. A null cfg or a null *cfg is accepted. Set records already
// handed out stay the caller's.
DRAVCFG_API void dravcfg_close(DravCfg** cfg);

#ifdef __cplusplus
}
#endif

#endif  // DRAVCFG_H
