// ticket_content.h - what a separation's rows come from: a built-in pattern,
// a 1-bit image, or contone content (an image or a gradient, with an
// optional copydot image) that riphost screens. Private to host/ticket.
#ifndef RIPHOST_TICKET_CONTENT_H
#define RIPHOST_TICKET_CONTENT_H

#include <filesystem>
#include <string>
#include <vector>

#include "ticket/content_source.h"
#include "ticket/ticket_paths.h"
#include "ticket/ticket_values.h"

namespace riphost::reading {

// Size of a separation's content that is not known because the content has
// a problem (already reported).
inline constexpr int kUnknownSide = -1;

// The content source of a separation object at where; files are taken
// from places. Adds the keys its kind allows to allowed. A bad pattern
// parameter, threshold, channel or copydot image is a problem of its own; a
// source that cannot be used throws.
ContentSource read_source(const Json& object, const std::string& where, const Places& places,
                          std::vector<std::string>& allowed, Problems& problems);

// The size of the content: 0 x 0 for a pattern or a gradient, the image's
// size for an image (its header is opened), kUnknownSide when that fails
// (one problem). A contone image counts as placed on a page of ppi: up to
// its far edge, in device pixels.
void content_size(const ContentSource& content, const std::string& where, double ppi, int& width, int& height,
                  Problems& problems);

}  // namespace riphost::reading

#endif  // RIPHOST_TICKET_CONTENT_H
