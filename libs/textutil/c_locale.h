// c_locale.h - numbers formatted and scanned in the "C" locale without
// touching the process locale: the calling thread switches to "C" for one
// scope and back to whatever it had. Tag texts and option values are read
// and written this way, so a host running in a locale with a decimal comma
// still gets "150.000000".
#ifndef TEXTUTIL_C_LOCALE_H
#define TEXTUTIL_C_LOCALE_H

#include <clocale>
#include <locale.h>

namespace textutil {

class ScopedCLocale {
 public:
  ScopedCLocale() : previous_(uselocale(CLocale())) {}
  ~ScopedCLocale() { uselocale(previous_); }
  ScopedCLocale(const ScopedCLocale&) = delete;
  ScopedCLocale& operator=(const ScopedCLocale&) = delete;

 private:
  // The "C" locale object, made once. Should it ever fail, uselocale(0) only
  // queries and the thread keeps its locale.
  static locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
  }
  locale_t previous_;
};

}  // namespace textutil

#endif  // TEXTUTIL_C_LOCALE_H
