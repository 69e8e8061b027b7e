// drav_host.h - the RIP host's side of the output plug-in interface.
//
// The host hands the plug-in a table of callbacks (HostCallbacks), passes
// scanlines through ScanlineBuffer records, and receives status codes and
// option declarations. Everything here is plain C so that host and plug-in
// may be built by different compilers.
#ifndef DRAV_HOST_H
#define DRAV_HOST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Size of the buffer that get_string_option fills. The host writes at most
// DRAV_OPTION_TEXT_SIZE bytes, the terminating zero included: a longer value
// is never cut silently; the host refuses it when it checks the job ticket.
// The plug-in's buffers are at least this large.
#define DRAV_OPTION_TEXT_SIZE 256

// Size of every file-name buffer passed between plug-in and libraries.
#define DRAV_NAME_SIZE 256

// Size of the buffer the host hands to dravout_get_param for a text answer
// ("version", "OutputFileName", "gamma", the resolution list, "left" as a
// 32-bit int). The plug-in writes at most this many bytes, the terminating
// zero included; an answer that would not fit is not given (result 0).
#define DRAV_PARAM_ANSWER_SIZE 1024

// Message levels of host_message.
enum DravMessageLevel {
  DRAV_MSG_ERROR = 1,    // an operation fails, output is missing, or a bad option was replaced
  DRAV_MSG_WARNING = 2,  // processing goes on with a substitute value or a reduced result
  DRAV_MSG_INFO = 3      // information and diagnostics
};

// Status codes of the dravout_* operations (dravout_get_param answers 1 or 0).
enum DravStatus {
  DRAV_OK = 0,
  DRAV_ERR_CREATE = 5,   // output file cannot be named or created
  DRAV_ERR_CLOSE = 6,    // output file cannot be closed or given its final name
  DRAV_ERR_WRITE = 7,    // scanline or copy cannot be written
  DRAV_ERR_MEMORY = 9,   // memory exhausted, or the device description cannot be built
  DRAV_ERR_OTHER = 17    // any other failure
};

// The host's callback table. Slots are called in the host's thread only.
//
// get_int_option / get_real_option / get_string_option: look a job, page or
// separation parameter up by key (keys are compared without regard to case).
// They return non-zero when the host has the key and stored its value, 0 when
// it has not; the value is then left untouched. get_string_option writes a
// zero-terminated text of at most DRAV_OPTION_TEXT_SIZE bytes into buffer.
//
// file_done (slot 3): the plug-in itself never calls it; the output utility
// library reports each finished output file through it (dravoututil_feedback).
// path is the file's full name; kind is the third argument of the feedback
// call (always 0 today).
//
// host_message: printf-style report at one of the DravMessageLevel levels.
// Callers pass any text they did not write as a "%s" argument, never as the
// format. The result is not used.
typedef struct HostCallbacks {
  int (*get_int_option)(const char* key, int* value);
  int (*get_real_option)(const char* key, double* value);
  int (*get_string_option)(const char* key, char* buffer);
  void (*file_done)(const char* path, int kind);
  int (*host_message)(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
} HostCallbacks;

// The record through which one scanline passes. data belongs to the plug-in;
// the host renders one scanline of 1-bit pixels into it, pixel j of each byte
// in bit j (least significant bit first), padded to whole 32-bit words. flag is
// 0 at the start of every separation and 1 once a row was written in reverse
// or mirror mode.
typedef struct ScanlineBuffer {
  uint8_t* data;
  int32_t flag;
} ScanlineBuffer;

// Option type codes of a declared option.
enum DravOptionType {
  DRAV_OPT_REAL = 2,
  DRAV_OPT_INTEGER = 3,
  DRAV_OPT_STRING = 4
};

// One declared job option. Tables of these end with an entry whose key is
// null and whose type is 0.
typedef struct DravOptionDecl {
  const char* key;
  int32_t type;
} DravOptionDecl;

#ifdef __cplusplus
}
#endif

#endif  // DRAV_HOST_H
