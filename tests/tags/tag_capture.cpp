// tag_capture.cpp - the in-memory sink and message entry of the tag tests.
#include "tag_capture.h"

#include <cstdarg>
#include <cstdio>

namespace tags_test {

int MemorySink::put(const char* name, int length, const void* value) {
  values[name] = std::string(static_cast<const char*>(value), static_cast<std::size_t>(length));
  order.push_back(name);
  return result;
}

std::vector<Report>& Reports::All() {
  static std::vector<Report> reports;
  return reports;
}

bool Reports::Has(int level, const std::string& text) {
  for (const Report& r : All())
    if (r.level == level && r.text == text) return true;
  return false;
}

bool Reports::HasFormat(int level, const std::string& format) {
  for (const Report& r : All())
    if (r.level == level && r.format == format) return true;
  return false;
}

int Reports::Count(int level) {
  int n = 0;
  for (const Report& r : All()) n += r.level == level ? 1 : 0;
  return n;
}

int Message(int level, const char* format, ...) {
  char text[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  Reports::All().push_back({level, text, format});
  return 0;
}

}  // namespace tags_test
