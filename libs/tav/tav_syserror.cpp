// tav_syserror.cpp - English error texts without touching the locale.
#include "tav_syserror.h"

#include <cstring>
#include <string>

namespace tav {
namespace {

// Picks the result of either strerror_r: the GNU one returns the text, the
// POSIX one fills the buffer.
[[maybe_unused]] const char* StrerrorResult(const char* text, const char*) { return text; }
[[maybe_unused]] const char* StrerrorResult(int result, const char* buffer) {
  return result == 0 ? buffer : nullptr;
}

}  // namespace

// strerror_r would follow LC_MESSAGES.
std::string SystemErrorText(int error) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
  if (const char* text = strerrordesc_np(error)) return text;
#else
  char buffer[256] = "";
  if (const char* text = StrerrorResult(strerror_r(error, buffer, sizeof buffer), buffer)) {
    if (text[0] != '\0') return text;
  }
#endif
  return "error " + std::to_string(error);
}

}  // namespace tav
