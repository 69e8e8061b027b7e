// preview_png.h - the preview as a PNG file: encoded in memory by libpng,
// then written out whole.
#ifndef PNGPREVIEW_PREVIEW_PNG_H
#define PNGPREVIEW_PREVIEW_PNG_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "preview_image.h"

namespace pngpreview {

// Outcome of encode_png and write_file: code 0 or a negative PngPreviewResult,
// with the reason in message (empty on success).
struct Outcome {
  int code = 0;
  char message[4608] = {};  // room for a long file name
};

// Encodes image as an 8-bit grey PNG into out (replacing its contents).
Outcome encode_png(const PreviewImage& image, std::vector<uint8_t>& out);

// Creates or truncates the regular file path and writes bytes to it. On
// failure the file is removed again; a path that is not a regular file is
// refused and left alone. message quotes path.
Outcome write_file(const char* path, const std::vector<uint8_t>& bytes);

}  // namespace pngpreview

#endif  // PNGPREVIEW_PREVIEW_PNG_H
