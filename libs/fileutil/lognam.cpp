// lognam.cpp - reads an environment variable into a caller's buffer.
#include "fileutil.h"

#include <cstdlib>
#include <cstring>

// Copies the value of the environment variable name into value, cut to fit
// size bytes with its terminator; returns non-zero when a value was copied.
int lognam(const char* name, char* value, size_t size) {
  if (!value || size == 0) return 0;  // no room even for the terminator
  value[0] = '\0';
  if (!name) return 0;
  const char* found = std::getenv(name);
  if (!found) return 0;
  const size_t length = strnlen(found, size - 1);
  std::memcpy(value, found, length);
  value[length] = '\0';
  return 1;
}
