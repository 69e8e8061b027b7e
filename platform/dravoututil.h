// dravoututil.h - the output utility library.
//
// Everything that concerns the host's output set-up: the library's own job
// options, the device's resource data (configurations, resolutions, films),
// temporary and final file names, copies, and the reporting of finished files
// to the host. Every call but dravoututil_init takes the handle it returned.
//
// Options the library reads through the host's get_string_option when it
// needs them (all optional; an empty value counts as absent):
//   "OUTDIR"    folder for temporary and final files (default ".")
//   "DEVICEDIR" folder holding the device's resource file "device.toml"
//               (default: the value of the environment name DRAV_DEVICEDIR,
//               else ".")
//   "JOBNAME"   first part of every file name (default "job"); characters
//               outside A-Z a-z 0-9 . _ - become "_", so does a leading ".",
//               and only the first 64 bytes are used
#ifndef DRAVOUTUTIL_H
#define DRAVOUTUTIL_H

#include <stddef.h>
#include <stdint.h>

#include "drav_host.h"

#ifdef __cplusplus
extern "C" {
#endif

#define DRAVOUTUTIL_API __attribute__((visibility("default")))

typedef struct DravOutUtil DravOutUtil;  // the handle; null means none

// ---------------------------------------------------------------------------
// Resource data. Records are laid out so that each field sits at a fixed byte
// offset. Integers are 32-bit little-endian. The offsets are those of a
// 32-bit build; with 64-bit pointers the field order is kept and only the
// fields behind a pointer move, as noted at each record.

// One resolution of a configuration; entries are 840 bytes apart.
typedef struct DravResolutionEntry {
  char name[256];        // 0: label, e.g. "2400"
  char reserved0[8];     // 256
  double resolution;     // 264: pixels per inch
  double reserved1;      // 272
  double gamma;          // 280: gamma value
  char gamma_text[552];  // 288: gamma text, zero-terminated, empty when none
} DravResolutionEntry;

// One film; entries are 1048 bytes apart.
typedef struct DravFilmEntry {
  char name[256];        // 0: film name (compared without regard to case)
  double length;         // 256: largest page height, thousandths of an inch
  double width;          // 264: largest page width, thousandths of an inch
  char reserved[776];    // 272
} DravFilmEntry;

// One configuration. 64-bit builds: resolution_count moves from 2196 to 2200
// and resolutions from 2200 to 2208.
typedef struct DravConfigRecord {
  char name[256];                    // 0: configuration name
  char reserved0[780];               // 256
  char film_name[256];               // 1036: film the configuration uses
  int32_t deflate_level;             // 1292: Deflate level for the writer, 1-12; 0: its default
  int32_t compression_threads;       // 1296: writer threads, 1-64; 0: its default
  char reserved1[892];               // 1300
  DravFilmEntry* films;              // 2192: the film table (count in the resource record)
  int32_t resolution_count;          // 2196 (2200 on 64-bit)
  DravResolutionEntry* resolutions;  // 2200 (2208 on 64-bit)
} DravConfigRecord;

// The resource record. 64-bit builds: selected moves from 7436 to 7440, and
// the fields after it follow in order.
typedef struct DravResource {
  char file_path[1024];             // 0: the resource file that was read
  char config_name[256];            // 1024: configuration that the library selected
  char reserved0[2052];             // 1280
  int32_t film_count;               // 3332: entries in the film table
  int32_t config_count;             // 3336: entries in configurations
  char reserved1[4096];             // 3340
  DravConfigRecord* selected;       // 7436 (7440 on 64-bit): the selected configuration
  DravConfigRecord* configurations; // every configuration of the file, in file order
  DravFilmEntry* films;             // the film table, in file order
} DravResource;

// ---------------------------------------------------------------------------

// Starts the library with the host's table (kept until dravoututil_end; slot
// file_done and host_message are used). zero must be 0. *util_options receives
// the library's own option list, owned by the library. Returns the handle, or
// null when host is null or memory is short.
DRAVOUTUTIL_API DravOutUtil* dravoututil_init(HostCallbacks* host, int zero,
                                              DravOptionDecl** util_options);

// One option list holding util_options and then declared (both ended by a
// null key); a key given in both is listed once, from util_options. Owned by
// the library until dravoututil_end. Null on failure.
DRAVOUTUTIL_API DravOptionDecl* dravoututil_mergeoptions(DravOutUtil* util,
                                                         const DravOptionDecl* util_options,
                                                         const DravOptionDecl* declared);

// Reads "device.toml" from the device folder (docs/device-file.md) and selects
// the configuration config_name (compared without regard to case), or, when
// config_name is null or empty, the file's default configuration. zero must be
// 0. On success returns 0 and sets *resdata to the address of a word that
// points to the resource record; the word and the record stay valid until the
// next successful call or dravoututil_end. On failure returns non-zero,
// reports why at level 1, and leaves *resdata and the earlier record as they
// were.
DRAVOUTUTIL_API int dravoututil_readresfile(DravOutUtil* util, const char* config_name,
                                            int zero, DravResource*** resdata);

// Writes into buffer (size bytes) a new temporary file name in the output
// folder, ending in suffix, and creates that file empty so that no other
// writer takes the name. The name is
//   OUTDIR/.JOBNAME-YYYYMMDD-HHMMSS.HOST.PID.SEQ<suffix>
// with the local time of *time (seconds since 1970; the 32-bit count is
// read as the time nearest to the current one with the same lowest 32 bits,
// so a count that wrapped after 2038-01-19 names its own year, not 1901:
// pass the current time's lowest 32 bits); HOST is this machine's
// host name (gethostname) cut at its first ".", with bytes outside A-Z a-z
// 0-9 _ - replaced by "_", at most 64 bytes, "localhost" when it is empty or
// cannot be read; PID the process id, SEQ a counter of the process. Both
// names of one separation share the time and therefore the part that becomes
// the final name. The handle holds an open-file-description lock on the new
// file (F_OFD_SETLK, whole file) until the file is moved to its final name
// (dravoututil_uniquerename), kept (dravoututil_keepcomplete) or deleted
// (dravoututil_discard), or the handle ends: dravoututil_cleantemporaries
// never removes a locked file, whatever PID namespace its writer runs in.
// Returns 0, or non-zero when the name (with its zero byte) does not fit
// size bytes (it is refused, never cut) or the file cannot be created.
DRAVOUTUTIL_API int dravoututil_outputspec(DravOutUtil* util, char* buffer, int size,
                                           const char* suffix, const int32_t* time);

// Moves the file source to <folder of source>/<stem><extension> (for a name
// from dravoututil_outputspec: OUTDIR/JOBNAME-YYYYMMDD-HHMMSS<extension>,
// also for one of the older form without HOST; for a name of another form:
// its base name without its last extension), or,
// when that name is taken, to ...-2<extension>, -3, ...: atomically, never
// replacing an existing file, also with several processes writing into the
// same folder. The file and its folder are synced to disk before 0 is
// returned with the final name in buffer. Non-zero on failure; the file then
// stays under source and buffer holds the last name tried, or, when it
// failed before trying one (the file could not be synced), the name it was
// to get first (empty only when that does not fit buffer).
// Should the folder not sync after the move, the file is moved back to source
// and the call fails; only if that move fails too does the file keep its
// final name: 0 is returned with that name, and a level-1 message says that
// the name may not survive a crash.
// Numbers grow within one handle: the search for a free name starts after
// the last number the handle took for the same folder, stem and extension
// (also by dravoututil_uniquecopy), so a lower name freed since stays unused.
DRAVOUTUTIL_API int dravoututil_uniquerename(DravOutUtil* util, char* buffer, int size,
                                             const char* source, const char* extension);

// Keeps source, a complete file that dravoututil_uniquerename could not move
// to its final name, where dravoututil_cleantemporaries never removes it:
// moved to the visible name <folder of source>/<stem>.kept<extension> (the
// stem as for dravoututil_uniquerename; -2, -3, ... before ".kept" when it
// is taken; never replacing a file), or, when it cannot be moved, left under
// source with every write permission taken away (a temporary file that
// nobody may write counts as complete). The file and folder are synced
// where they can be. The handle's lock on source ends. Returns 0 with the
// name under which the file now is in buffer (checked to name it); non-zero
// with buffer empty when the file is under neither name.
DRAVOUTUTIL_API int dravoututil_keepcomplete(DravOutUtil* util, char* buffer, int size,
                                             const char* source, const char* extension);

// Deletes the file path (a temporary file of dravoututil_outputspec that is
// given up) and ends the handle's lock on it; the lock is held until the
// name is gone, and the file's space is given back once it is. A failed
// deletion is tried once more. Returns 0 when nothing is left under path
// (also when it was gone already), else -1 with errno set.
DRAVOUTUTIL_API int dravoututil_discard(DravOutUtil* util, const char* path);

// Copies source to a new name of the same form in its folder (the stem of
// source, then -2, -3, ..., then its extension) that no file had; the stem
// is the base name without its extension and without a trailing -N (a stem
// ending in -YYYYMMDD-HHMMSS keeps it); the copy is written under a
// temporary name, synced and only then given its final name without
// replacing anything (the temporary name is ".<stem>.HOST.PID.SEQ.copy",
// with HOST, PID and SEQ as in dravoututil_outputspec, locked as those are
// until it has its final name). As with
// dravoututil_uniquerename, numbers grow within
// one handle. Returns 0 with the name in buffer, non-zero on failure (nothing
// is left behind; a name that would not fit buffer is refused before
// anything is copied).
DRAVOUTUTIL_API int dravoututil_uniquecopy(DravOutUtil* util, char* buffer, int size,
                                           const char* source);

// Reports the finished file name to the host through its file_done slot.
DRAVOUTUTIL_API void dravoututil_feedback(DravOutUtil* util, const char* name, int zero);

// Ends the library and releases the handle and everything it owns (option
// lists, resource data). A null handle is accepted.
DRAVOUTUTIL_API void dravoututil_end(DravOutUtil* util);

// Removes from folder (not its sub-folders) the temporary files that
// writers of this library on this machine left behind when they died:
// regular files named exactly ".<stem>.HOST.PID.SEQ" followed by ".tmp",
// ".tmp_pngpreview" (dravoututil_outputspec) or ".copy" (the temporary
// copies of dravoututil_uniquecopy), whose HOST is this machine's (as in
// dravoututil_outputspec), whose PID no longer runs here (kill(PID, 0) fails
// with ESRCH; a process it may not signal runs, and so does the caller), on
// which no writer holds its lock (a writer in another PID namespace, where
// PID says nothing, holds one while it lives; a file system without locks
// lets nothing be removed), and which someone may still write (a complete
// file kept under its temporary name by dravoututil_keepcomplete has no
// write permission left). The file is locked while it is removed, so a
// writer cannot take it meanwhile. Never a file of another machine, of a
// running process, of another name (a kept "<stem>.kept.tav" included), of
// the older form without HOST (its machine is unknown), nor a symbolic link,
// a folder or anything behind a link. removed (may be null) is called with
// the full name of each file removed; a file that cannot be removed is left
// and not counted. Needs no handle. Returns the number of files removed, or
// -1 when the folder cannot be opened or read (errno tells why; EINVAL for a
// null folder).
DRAVOUTUTIL_API int dravoututil_cleantemporaries(const char* folder,
                                                 void (*removed)(const char* path, void* context),
                                                 void* context);

// Checks a device folder without a handle: its "device.toml" exists, parses,
// and holds the configuration config_name (compared without regard to case;
// null or empty: the file's default configuration), whose film is in the
// film table (compared without regard to case, as the plug-in looks it up
// when a page starts). It reads the file as dravoututil_readresfile does and
// so finds the same faults. An empty device_folder is the current folder.
// Returns 0 with error empty, or non-zero with the reason in error (size
// bytes, always terminated when size > 0), naming the file and, where there
// is one, the line and column, e.g.
//   examples/device/device.toml: no configuration named "X" (known: A, B)
// The reason is one line: control characters become "?", and a reason too
// long for error is cut at the start of a UTF-8 character.
DRAVOUTUTIL_API int dravoututil_checkdevice(const char* device_folder, const char* config_name,
                                            char* error, int size);

#ifdef __cplusplus
}  // extern "C"

#include <cstddef>
static_assert(offsetof(DravResolutionEntry, resolution) == 264);
static_assert(offsetof(DravResolutionEntry, gamma) == 280);
static_assert(offsetof(DravResolutionEntry, gamma_text) == 288);
static_assert(sizeof(DravResolutionEntry) == 840);
static_assert(offsetof(DravFilmEntry, length) == 256);
static_assert(offsetof(DravFilmEntry, width) == 264);
static_assert(sizeof(DravFilmEntry) == 1048);
static_assert(offsetof(DravConfigRecord, film_name) == 1036);
static_assert(offsetof(DravConfigRecord, deflate_level) == 1292);
static_assert(offsetof(DravConfigRecord, compression_threads) == 1296);
static_assert(offsetof(DravConfigRecord, films) == 2192);
static_assert(offsetof(DravConfigRecord, resolution_count) == (sizeof(void*) == 8 ? 2200 : 2196));
static_assert(offsetof(DravConfigRecord, resolutions) == (sizeof(void*) == 8 ? 2208 : 2200));
static_assert(offsetof(DravResource, config_name) == 1024);
static_assert(offsetof(DravResource, film_count) == 3332);
static_assert(offsetof(DravResource, selected) == (sizeof(void*) == 8 ? 7440 : 7436));
#endif

#endif  // DRAVOUTUTIL_H
