// image_files.h - writing small PNG and TIFF files for the reader tests.
#ifndef RIPHOST_TEST_IMAGE_FILES_H
#define RIPHOST_TEST_IMAGE_FILES_H

#include <cstdint>
#include <filesystem>
#include <vector>

namespace riphost_test {

// Rows of samples as the file stores them (packed for bit depths below 8).
using SampleRows = std::vector<std::vector<std::uint8_t>>;

// Writes a PNG with libpng; false on failure.
bool write_png(const std::filesystem::path& file, int width, int height, int color_type, int bit_depth,
               bool interlaced, const SampleRows& rows);

// Writes a TIFF in strips (or in 16 x 16 tiles) with libtiff; false on failure.
bool write_tiff(const std::filesystem::path& file, int width, int height, int bits, int samples,
                int photometric, const SampleRows& rows, bool tiled = false);

}  // namespace riphost_test

#endif  // RIPHOST_TEST_IMAGE_FILES_H
