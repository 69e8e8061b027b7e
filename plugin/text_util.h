// text_util.h - small text helpers that do not depend on the process locale.
#ifndef DRAVOUT_TEXT_UTIL_H
#define DRAVOUT_TEXT_UTIL_H

#include <cstddef>
#include <cstring>

namespace dravout {

// ASCII case folding: only A-Z change, whatever the locale.
inline char fold_ascii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when a and b are equal without regard to ASCII case.
inline bool equals_ignore_case(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (fold_ascii(*a) != fold_ascii(*b)) return false;
  }
  return *a == *b;
}

// Copies source into buffer (size bytes), cut to fit, always terminated.
inline void copy_text(char* buffer, std::size_t size, const char* source) {
  if (size == 0) return;
  const std::size_t n = source != nullptr ? strnlen(source, size - 1) : 0;
  if (n > 0) std::memcpy(buffer, source, n);
  buffer[n] = '\0';
}

}  // namespace dravout

#endif  // DRAVOUT_TEXT_UTIL_H
