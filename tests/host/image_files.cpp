// image_files.cpp - PNG and TIFF writers for the tests.
#include "image_files.h"

#include <png.h>
#include <tiffio.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace riphost_test {

namespace {

// Writes the PNG through an open stream; false on a libpng error.
bool write_png_stream(std::FILE* file, int width, int height, int color_type, int bit_depth, bool interlaced,
                      const SampleRows& rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bit_depth, color_type,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  int passes = interlaced ? png_set_interlace_handling(png) : 1;
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = 0; y < height; ++y) png_write_row(png, rows[static_cast<std::size_t>(y)].data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

// Opens the file and writes the PNG.
bool write_png(const std::filesystem::path& file, int width, int height, int color_type, int bit_depth,
               bool interlaced, const SampleRows& rows) {
  std::FILE* stream = std::fopen(file.c_str(), "wb");
  if (!stream) return false;
  bool written = write_png_stream(stream, width, height, color_type, bit_depth, interlaced, rows);
  return std::fclose(stream) == 0 && written;
}

// Writes strips of libtiff's default size, or 16 x 16 tiles.
bool write_tiff(const std::filesystem::path& file, int width, int height, int bits, int samples, int photometric,
                const SampleRows& rows, bool tiled) {
  TIFF* tif = TIFFOpen(file.c_str(), "w");
  if (!tif) return false;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(bits));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(samples));
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, static_cast<std::uint16_t>(photometric));
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_DEFLATE);
  bool ok = true;
  if (tiled) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16u);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, 16u);
    std::vector<std::uint8_t> tile(static_cast<std::size_t>(TIFFTileSize(tif)), 0);
    for (int y = 0; y < height; y += 16) {
      for (int x = 0; x < width; x += 16) {
        ok = ok && TIFFWriteTile(tif, tile.data(), static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), 0, 0) >= 0;
      }
    }
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    for (int y = 0; y < height && ok; ++y) {
      std::vector<std::uint8_t> row = rows[static_cast<std::size_t>(y)];
      ok = TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0) >= 0;
    }
  }
  TIFFClose(tif);
  return ok;
}

}  // namespace riphost_test
