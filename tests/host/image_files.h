// image_files.h - writing small PNG and TIFF files for the reader tests.
#ifndef RIPHOST_TEST_IMAGE_FILES_H
#define RIPHOST_TEST_IMAGE_FILES_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace riphost_test {

// Rows of samples as the file stores them (packed for bit depths below 8).
using SampleRows = std::vector<std::vector<std::uint8_t>>;

// Writes a PNG with libpng; false on failure.
bool write_png(const std::filesystem::path& file, int width, int height, int color_type, int bit_depth,
               bool interlaced, const SampleRows& rows);

// Writes a TIFF in strips (or in 16 x 16 tiles) with libtiff; false on
// failure. A palette image gets a grey ramp as colour map: entry i of n is
// i * 65535 / (n - 1) in each of red, green and blue.
bool write_tiff(const std::filesystem::path& file, int width, int height, int bits, int samples,
                int photometric, const SampleRows& rows, bool tiled = false);

// The bytes of an uncompressed little-endian TIFF of one strip whose header
// claims the given layout; the strip holds 16 bytes whatever the layout
// needs. For headers that libtiff would not write.
std::string tiff_header_only(std::uint32_t width, std::uint32_t height, std::uint16_t samples, std::uint16_t bits,
                             std::uint16_t photometric);

// PNG files byte by byte, for files that libpng would not write.
inline const std::string kPngSignature("\x89PNG\r\n\x1a\n", 8);
// One chunk: its length (declared_length when given, else the data's size),
// type, data and CRC.
std::string png_chunk(const std::string& type, const std::string& data, std::int64_t declared_length = -1);
// The IHDR chunk of a non-interlaced image.
std::string png_ihdr(std::uint32_t width, std::uint32_t height, int bit_depth, int color_type);
// An IDAT chunk holding rows (each led by its filter byte), deflated.
std::string png_idat(const std::string& filtered_rows);

}  // namespace riphost_test

#endif  // RIPHOST_TEST_IMAGE_FILES_H
