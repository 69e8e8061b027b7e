// utf8file.h - the UTF-8 file library.
#ifndef UTF8FILE_H
#define UTF8FILE_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

#define UTF8FILE_API __attribute__((visibility("default")))

// Opens the file named by the UTF-8 text path with a standard mode text
// ("rb", "wb", ...). Returns a standard stream, or null with errno set (also
// when path is not valid UTF-8).
UTF8FILE_API FILE* fopen_utf8(const char* path, const char* mode);

#ifdef __cplusplus
}
#endif

#endif  // UTF8FILE_H
