// ticket_content.cpp - reading a separation's content source.
#include "ticket/ticket_content.h"

#include <cmath>
#include <memory>

#include "screening/placement.h"
#include "sources/image_reader.h"
#include "sources/patterns.h"
#include "ticket/ticket_paths.h"
#include "ticket/ticket_transfer.h"

namespace riphost::reading {

namespace {

// A contone separation's "gradient".
ContentSource::Gradient read_gradient(const Json& gradient, const std::string& where) {
  std::string at = place(where, "gradient");
  std::string text = to_text(gradient, at);
  if (text == "horizontal") return ContentSource::Gradient::Horizontal;
  if (text == "vertical") return ContentSource::Gradient::Vertical;
  throw HostError(at + ": unknown gradient \"" + text + "\" (known: horizontal, vertical)");
}

// A contone image: "contone", with "channel" for a CMYK TIFF.
void read_contone_image(const Json& object, const std::string& where, const Places& places,
                        ContentSource& content, Problems& problems) {
  std::string at = place(where, "contone");
  content.image_text = to_text(*member(object, "contone"), at);
  if (const Json* channel = member(object, "channel")) {
    problems.attempt([&] {
      std::string text = to_text(*channel, place(where, "channel"));
      if (text != "C" && text != "M" && text != "Y" && text != "K") {
        throw HostError(place(where, "channel") + ": expected \"C\", \"M\", \"Y\" or \"K\", found \"" + text + "\"");
      }
      content.channel = text[0];
    });
  }
  content.image = existing_file(places, content.image_text, at);
}

// A page side reaching to a placed image's far edge (device pixels).
int placed_side(double edge) {
  if (!(edge >= 1.0)) return 1;
  return edge >= kMaxImageSide ? kMaxImageSide : static_cast<int>(std::lround(edge));
}

// Largest position or size of a placed image, in its unit.
constexpr double kMaxPlacement = 1e7;

// A position (any sign) or, with positive, a size of "placement".
double to_placement(const Json& value, const std::string& where, bool positive) {
  if (!value.is_number()) throw HostError(where + ": expected a number, found " + json_kind(value));
  const double number = value.get<double>();
  if (!(number >= (positive ? 0.0 : -kMaxPlacement) && number <= kMaxPlacement) || (positive && number == 0.0)) {
    throw HostError(where + (positive ? ": must be greater than 0 and at most 1e7" : ": must be within -1e7 to 1e7"));
  }
  return number;
}

// A contone image's "ppi" and "placement": {"x", "y", "width", "height",
// "unit"} on the page.
void read_placement(const Json& object, const std::string& where, ContonePlacement& placement, Problems& problems) {
  if (const Json* ppi = member(object, "ppi")) {
    problems.attempt([&] { placement.ppi = to_positive_real(*ppi, place(where, "ppi"), kMaxPpi); });
  }
  const Json* value = member(object, "placement");
  if (!value) return;
  const std::string at = place(where, "placement");
  if (!problems.attempt([&] { require_object(*value, at); })) return;
  check_keys(*value, at, {"x", "y", "width", "height", "unit", kCommentKey}, problems);
  double* fields[] = {&placement.x, &placement.y, &placement.width, &placement.height};
  const char* keys[] = {"x", "y", "width", "height"};
  for (int i = 0; i < 4; ++i) {
    if (const Json* field = member(*value, keys[i])) {
      problems.attempt([&] { *fields[i] = to_placement(*field, place(at, keys[i]), i >= 2); });
    }
  }
  if (const Json* unit = member(*value, "unit")) {
    problems.attempt([&] {
      const std::string text = to_text(*unit, place(at, "unit"));
      if (text != "px" && text != "mm") {
        throw HostError(place(at, "unit") + ": expected \"px\" or \"mm\", found \"" + text + "\"");
      }
      placement.millimetres = text == "mm";
    });
  }
}

// The "copydot" image over contone content; its header is opened.
void read_copydot(const Json& copydot, const std::string& where, const Places& places, ContentSource& content) {
  std::string at = place(where, "copydot");
  content.copydot_text = to_text(copydot, at);
  content.copydot = existing_file(places, content.copydot_text, at);
  try {
    open_image(content.copydot, 128);
  } catch (const HostError& error) {
    content.copydot_text.clear();
    throw HostError(at + ": " + to_text(copydot, at) + ": " + error.what());
  }
}

// Contone content: "contone" (an image, with "channel" for a CMYK TIFF) or
// "gradient", with an optional "copydot" image over it. "screen_areas" is
// read with the separation's screens.
ContentSource read_contone(const Json& object, const std::string& where, const Places& places,
                           std::vector<std::string>& allowed, Problems& problems) {
  ContentSource content;
  content.kind = ContentSource::Kind::Contone;
  allowed.insert(allowed.end(), {"copydot", "screen_areas", "transfer"});
  if (const Json* gradient = member(object, "gradient")) {
    allowed.push_back("gradient");
    content.gradient = read_gradient(*gradient, where);
  } else {
    allowed.insert(allowed.end(), {"contone", "channel", "ppi", "placement"});
    read_contone_image(object, where, places, content, problems);
    read_placement(object, where, content.placement, problems);
  }
  if (const Json* curve = member(object, "transfer")) {
    problems.attempt([&] { content.transfer = read_transfer_curve(*curve, place(where, "transfer")); });
  }
  if (const Json* copydot = member(object, "copydot")) {
    problems.attempt([&] { read_copydot(*copydot, where, places, content); });
  }
  return content;
}

// A built-in pattern with its parameters.
ContentSource read_pattern(const Json& object, const Json& pattern, const std::string& where,
                           std::vector<std::string>& allowed, Problems& problems) {
  ContentSource content;
  content.kind = ContentSource::Kind::Pattern;
  content.pattern = to_text(pattern, place(where, "pattern"));
  const std::vector<std::string>* parameters = pattern_parameters(content.pattern);
  if (!parameters) {
    throw HostError(place(where, "pattern") + ": unknown pattern \"" + content.pattern + "\" (known: " +
                    pattern_names() + ")");
  }
  allowed.push_back("pattern");
  for (const std::string& name : *parameters) {
    allowed.push_back(name);
    if (const Json* value = member(object, name.c_str())) {
      problems.attempt([&] {
        content.parameters.emplace_back(name, to_int(*value, place(where, name), 1, kMaxPatternParameter));
      });
    }
  }
  return content;
}

// A 1-bit image with its threshold.
ContentSource read_image(const Json& object, const Json& image, const std::string& where, const Places& places,
                         std::vector<std::string>& allowed, Problems& problems) {
  ContentSource content;
  content.kind = ContentSource::Kind::Image;
  allowed.push_back("image");
  allowed.push_back("threshold");
  std::string at = place(where, "image");
  content.image_text = to_text(image, at);
  if (const Json* threshold = member(object, "threshold")) {
    problems.attempt([&] { content.threshold = to_int(*threshold, place(where, "threshold"), 0, 255); });
  }
  content.image = existing_file(places, content.image_text, at);
  return content;
}

}  // namespace

ContentSource read_source(const Json& object, const std::string& where, const Places& places,
                          std::vector<std::string>& allowed, Problems& problems) {
  const Json* pattern = member(object, "pattern");
  const Json* image = member(object, "image");
  const Json* contone = member(object, "contone");
  const Json* gradient = member(object, "gradient");
  const int kinds = (pattern ? 1 : 0) + (image ? 1 : 0) + (contone ? 1 : 0) + (gradient ? 1 : 0);
  if (kinds > 1) {
    throw HostError(where + ": give one of \"pattern\", \"image\", \"contone\" and \"gradient\", not several");
  }
  if (kinds == 0) {
    throw HostError(where + ": missing its content: give \"pattern\", \"image\", \"contone\" or \"gradient\"");
  }
  if (contone || gradient) return read_contone(object, where, places, allowed, problems);
  if (pattern) return read_pattern(object, *pattern, where, allowed, problems);
  return read_image(object, *image, where, places, allowed, problems);
}

// Opens an image's header to learn its size (and to refuse it early when it
// cannot be read).
void content_size(const ContentSource& content, const std::string& where, double ppi, int& width, int& height,
                  Problems& problems) {
  if (content.kind == ContentSource::Kind::Pattern || content.gradient != ContentSource::Gradient::None) {
    width = 0;
    height = 0;
    return;
  }
  const bool contone = content.kind == ContentSource::Kind::Contone;
  problems.attempt([&] {
    try {
      std::unique_ptr<ImageReader> reader =
          contone ? open_contone(content.image, content.channel) : open_image(content.image, content.threshold);
      width = reader->width();
      height = reader->height();
      if (contone && ppi > 0.0) {
        const PlacedImage placed =
            place_image(content.placement, width, height, reader->x_ppi(), reader->y_ppi(), ppi);
        width = placed_side(placed.x + placed.width());
        height = placed_side(placed.y + placed.height());
      }
    } catch (const HostError& error) {
      throw HostError(place(where, contone ? "contone" : "image") + ": " + content.image_text + ": " + error.what());
    }
  });
}

}  // namespace riphost::reading
