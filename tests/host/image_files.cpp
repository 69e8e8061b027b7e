// image_files.cpp - PNG and TIFF writers for the tests.
#include "image_files.h"

#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

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
  if (photometric == PHOTOMETRIC_PALETTE) {
    std::size_t entries = std::size_t{1} << bits;
    std::vector<std::uint16_t> ramp(entries);
    for (std::size_t i = 0; i < entries; ++i) ramp[i] = static_cast<std::uint16_t>(i * 65535u / (entries - 1));
    TIFFSetField(tif, TIFFTAG_COLORMAP, ramp.data(), ramp.data(), ramp.data());
  }
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

namespace {

// Appends value in little-endian order.
template <typename T>
void put(std::string& bytes, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

// Header, 16 bytes of strip, the directory, then the arrays it points to.
std::string tiff_header_only(std::uint32_t width, std::uint32_t height, std::uint16_t samples, std::uint16_t bits,
                             std::uint16_t photometric) {
  constexpr std::uint32_t kStrip = 8;
  constexpr std::uint32_t kDirectory = kStrip + 16;
  constexpr std::uint16_t kShort = 3;
  constexpr std::uint16_t kLong = 4;
  struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::uint32_t value;            // the value, or where the array starts
    std::vector<std::uint16_t> array;  // shorts stored after the directory
  };
  std::vector<Entry> entries = {
      {TIFFTAG_IMAGEWIDTH, kLong, 1, width, {}},
      {TIFFTAG_IMAGELENGTH, kLong, 1, height, {}},
      {TIFFTAG_BITSPERSAMPLE, kShort, samples, bits, std::vector<std::uint16_t>(samples, bits)},
      {TIFFTAG_COMPRESSION, kShort, 1, COMPRESSION_NONE, {}},
      {TIFFTAG_PHOTOMETRIC, kShort, 1, photometric, {}},
      {TIFFTAG_STRIPOFFSETS, kLong, 1, kStrip, {}},
      {TIFFTAG_SAMPLESPERPIXEL, kShort, 1, samples, {}},
      {TIFFTAG_ROWSPERSTRIP, kLong, 1, height, {}},
      {TIFFTAG_STRIPBYTECOUNTS, kLong, 1, 16, {}},
      {TIFFTAG_PLANARCONFIG, kShort, 1, PLANARCONFIG_CONTIG, {}},
  };
  if (samples > 1) {
    std::uint16_t colour = photometric == PHOTOMETRIC_RGB ? 3 : 1;
    std::uint16_t extra = samples > colour ? static_cast<std::uint16_t>(samples - colour) : 0;
    if (extra > 0) {
      entries.push_back({TIFFTAG_EXTRASAMPLES, kShort, extra, 0, std::vector<std::uint16_t>(extra, 0)});
    }
  }
  std::uint32_t arrays = kDirectory + 2 + 12 * static_cast<std::uint32_t>(entries.size()) + 4;
  std::string bytes = "II";
  put<std::uint16_t>(bytes, 42);
  put<std::uint32_t>(bytes, kDirectory);
  bytes.append(16, '\0');
  put<std::uint16_t>(bytes, static_cast<std::uint16_t>(entries.size()));
  std::string tail;
  for (const Entry& entry : entries) {
    put(bytes, entry.tag);
    put(bytes, entry.type);
    put(bytes, entry.count);
    if (entry.array.size() > 2) {
      put<std::uint32_t>(bytes, arrays + static_cast<std::uint32_t>(tail.size()));
      for (std::uint16_t value : entry.array) put(tail, value);
    } else if (entry.type == kShort) {
      // One or two shorts sit in the entry itself.
      put<std::uint16_t>(bytes, static_cast<std::uint16_t>(entry.value));
      put<std::uint16_t>(bytes, entry.array.size() == 2 ? entry.array[1] : 0);
    } else {
      put(bytes, entry.value);
    }
  }
  put<std::uint32_t>(bytes, 0);
  return bytes + tail;
}

namespace {

// Big-endian 32-bit number.
std::string be32(std::uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>(value >> (24 - 8 * i));
  return bytes;
}

}  // namespace

std::string png_chunk(const std::string& type, const std::string& data, std::int64_t declared_length) {
  std::string body = type + data;
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  std::uint32_t length = declared_length < 0 ? static_cast<std::uint32_t>(data.size())
                                             : static_cast<std::uint32_t>(declared_length);
  return be32(length) + body + be32(static_cast<std::uint32_t>(crc));
}

std::string png_ihdr(std::uint32_t width, std::uint32_t height, int bit_depth, int color_type) {
  std::string data = be32(width) + be32(height);
  data += static_cast<char>(bit_depth);
  data += static_cast<char>(color_type);
  data += std::string(3, '\0');  // deflate, adaptive filtering, not interlaced
  return png_chunk("IHDR", data);
}

std::string png_idat(const std::string& filtered_rows) {
  uLongf size = compressBound(static_cast<uLong>(filtered_rows.size()));
  std::string packed(size, '\0');
  if (compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(filtered_rows.data()),
               static_cast<uLong>(filtered_rows.size())) != Z_OK) {
    return {};
  }
  packed.resize(size);
  return png_chunk("IDAT", packed);
}

}  // namespace riphost_test
