// content_source.h - what a separation's content comes from, as the ticket says.
#ifndef RIPHOST_CONTENT_SOURCE_H
#define RIPHOST_CONTENT_SOURCE_H

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace riphost {

struct ContentSource {
  enum class Kind { Pattern, Image };
  Kind kind = Kind::Pattern;
  // Pattern: its name and the parameters given in the ticket (name, value).
  std::string pattern;
  std::vector<std::pair<std::string, int>> parameters;
  // Image: the resolved file, the name as the ticket wrote it, and the
  // luminance below which a grey or colour pixel is ink.
  std::filesystem::path image;
  std::string image_text;
  int threshold = 128;
};

}  // namespace riphost

#endif  // RIPHOST_CONTENT_SOURCE_H
