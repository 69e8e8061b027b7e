// tag_capture.h - a tag sink that keeps the tags in memory and a message
// entry that keeps the reports, for the tag writers' tests.
#ifndef TESTS_TAGS_TAG_CAPTURE_H
#define TESTS_TAGS_TAG_CAPTURE_H

#include <map>
#include <string>
#include <vector>

#include "tag_output.h"

namespace tags_test {

struct Report {
  int level;
  std::string text;    // as a host would format it
  std::string format;  // the format handed over
};

// Tags by name (a name given twice keeps its last value) and the order they came in.
class MemorySink final : public dravout::TagSink {
 public:
  int put(const char* name, int length, const void* value) override;
  std::map<std::string, std::string> values;
  std::vector<std::string> order;
  int result = 0;  // what every put answers
};

// The reports of the test: cleared by Reports::Clear, filled by Message.
struct Reports {
  static std::vector<Report>& All();
  static void Clear() { All().clear(); }
  static bool Has(int level, const std::string& text);
  static bool HasFormat(int level, const std::string& format);
  static int Count(int level);
};

// The message entry handed to the writers.
int Message(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace tags_test

#endif  // TESTS_TAGS_TAG_CAPTURE_H
