// fopen_utf8.cpp - opens a file named by a UTF-8 text.
//
// The name is checked to be well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF, no cut sequence) before the system sees
// it, so a broken or hostile name is refused with EILSEQ rather than creating
// a file whose name no tool can show. The check is a plain byte table walk:
// it needs no locale, which the C library's converters would.
#include "utf8file.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

// Tells whether byte is a continuation byte within [low, high].
bool InRange(unsigned char byte, unsigned char low, unsigned char high) {
  return byte >= low && byte <= high;
}

// Tells whether text is well-formed UTF-8.
bool IsWellFormedUtf8(const char* text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    const unsigned char lead = *p;
    if (lead < 0x80) {
      ++p;
      continue;
    }
    // Allowed range of the first continuation byte and the sequence length,
    // by lead byte; the later continuation bytes are always 80..BF.
    unsigned char low = 0x80, high = 0xBF;
    int length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // overlong
      if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;   // overlong
      if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
      return false;  // stray continuation byte, C0/C1 overlong, F5..FF
    }
    if (!InRange(p[1], low, high)) return false;  // also stops at the terminator
    for (int i = 2; i < length; ++i) {
      if (!InRange(p[i], 0x80, 0xBF)) return false;
    }
    p += length;
  }
  return true;
}

// Tells whether mode is a plain standard mode: r, w or a, then at most one
// 'b' and one '+' in any order, then an optional 'x' after w.
bool IsPlainMode(const char* mode) {
  if (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a') return false;
  bool binary = false, update = false;
  const char* p = mode + 1;
  for (; *p == 'b' || *p == '+'; ++p) {
    bool& seen = *p == 'b' ? binary : update;
    if (seen) return false;
    seen = true;
  }
  if (*p == 'x' && mode[0] == 'w') ++p;
  return *p == '\0';
}

}  // namespace

// Opens path with mode after checking path is UTF-8; plain standard modes
// also get "e" so the descriptor does not leak into child processes.
FILE* fopen_utf8(const char* path, const char* mode) {
  if (!path || !mode) {
    errno = EINVAL;
    return nullptr;
  }
  if (!IsWellFormedUtf8(path)) {
    errno = EILSEQ;
    return nullptr;
  }
  if (!IsPlainMode(mode)) return std::fopen(path, mode);
  char cloexec_mode[8];  // the longest plain mode is 4 characters
  const std::size_t length = std::strlen(mode);
  std::memcpy(cloexec_mode, mode, length);
  cloexec_mode[length] = 'e';
  cloexec_mode[length + 1] = '\0';
  return std::fopen(path, cloexec_mode);
}
