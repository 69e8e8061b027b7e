// content_source.h - what a separation's content comes from, as the ticket says.
#ifndef RIPHOST_CONTENT_SOURCE_H
#define RIPHOST_CONTENT_SOURCE_H

#include <cstddef>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "ticket/screen_spec.h"

namespace riphost {

// Where a contone image lies on the page and how large it is printed. Sizes
// not given follow from the image's resolution: the ticket's "ppi", else the
// file's, else the job's (one image pixel per device pixel).
struct ContonePlacement {
  double ppi = 0.0;                 // the image's resolution; 0: the file's
  double x = 0.0, y = 0.0;          // its top-left corner on the page
  double width = 0.0, height = 0.0;  // its size on the page; 0: from the resolution
  bool millimetres = false;         // x, y, width, height in mm, else device pixels
};

// A rectangle of a contone separation screened with one of the separation's
// screens (an index into its screen list).
struct ScreenArea {
  std::size_t screen = 0;
  int x = 0, y = 0, width = 0, height = 0;
};

struct ContentSource {
  enum class Kind { Pattern, Image, Contone };
  // Contone content: an 8-bit image (grey, or one channel of a CMYK TIFF) or
  // a built-in gradient, screened by riphost.
  enum class Gradient { None, Horizontal, Vertical };
  Kind kind = Kind::Pattern;
  // Pattern: its name and the parameters given in the ticket (name, value).
  std::string pattern;
  std::vector<std::pair<std::string, int>> parameters;
  // Image: the resolved file, the name as the ticket wrote it, and the
  // luminance below which a grey or colour pixel is ink.
  std::filesystem::path image;
  std::string image_text;
  int threshold = 128;
  // Contone: the image (image, image_text; empty for a gradient) and its
  // channel ('C', 'M', 'Y', 'K'; 0 for a grey image), or the gradient.
  char channel = 0;
  Gradient gradient = Gradient::None;
  // Contone: an optional 1-bit image over it whose ink is copydot.
  std::filesystem::path copydot;
  std::string copydot_text;
  // Contone: areas screened with other screens than the first (later areas
  // lie over earlier ones).
  std::vector<ScreenArea> areas;
  // Contone: the ink's transfer curve, and where the image lies.
  TransferCurve transfer;
  ContonePlacement placement;
};

}  // namespace riphost

#endif  // RIPHOST_CONTENT_SOURCE_H
