// fileutil.h - the shared file utility library.
#ifndef FILEUTIL_H
#define FILEUTIL_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define FILEUTIL_API __attribute__((visibility("default")))

// Looks name up in the process environment. When it is defined, copies its
// value into value (size bytes, size > 0), cut to size - 1 bytes when longer,
// and returns non-zero; otherwise returns 0 and leaves value empty. With a
// null value or a size of 0 nothing can be delivered: it writes nothing and
// returns 0.
FILEUTIL_API int lognam(const char* name, char* value, size_t size);

// Deletes the file path. Returns 0 on success, -1 on failure (errno set).
FILEUTIL_API int fdelete(const char* path);

#ifdef __cplusplus
}
#endif

#endif  // FILEUTIL_H
