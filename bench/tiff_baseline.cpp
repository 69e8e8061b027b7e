// tiff_baseline.cpp - plain libtiff strip writing, for comparison.
#include "tiff_baseline.h"

#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tav_layout.h"

namespace bench {
namespace {

// Closes the TIFF handle on every path out of Write.
struct TiffCloser {
  TIFF* tif;
  ~TiffCloser() {
    if (tif != nullptr) TIFFClose(tif);
  }
};

}  // namespace

TiffBaseline::TiffBaseline(int width, int height, int bits)
    : width_(width),
      height_(height),
      bits_(bits),
      row_bytes_(static_cast<std::size_t>(tav::RowBytes(bits, static_cast<uint32_t>(width)))),
      rows_per_strip_(tav::RowsPerStrip(row_bytes_, static_cast<uint32_t>(height))),
      strip_(row_bytes_ * rows_per_strip_) {}

void TiffBaseline::Write(const std::filesystem::path& path, const uint8_t* rows, std::size_t stride, bool deflate) {
  TiffCloser file{TIFFOpen(path.c_str(), "w")};
  TIFF* tif = file.tif;
  if (tif == nullptr) throw std::runtime_error("TIFFOpen failed for " + path.string());
  const bool tags_ok =
      TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width_)) &&
      TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height_)) &&
      TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(bits_)) &&
      TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(1)) &&
      TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE) &&
      TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
      TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows_per_strip_) &&
      TIFFSetField(tif, TIFFTAG_COMPRESSION, deflate ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_NONE);
  if (!tags_ok) throw std::runtime_error("TIFFSetField failed for " + path.string());

  uint32_t strip = 0;
  for (int y = 0; y < height_;) {
    const int count = std::min<int>(static_cast<int>(rows_per_strip_), height_ - y);
    for (int i = 0; i < count; ++i) {
      std::memcpy(strip_.data() + static_cast<std::size_t>(i) * row_bytes_,
                  rows + static_cast<std::size_t>(y + i) * stride, row_bytes_);
    }
    const tmsize_t size = static_cast<tmsize_t>(row_bytes_ * static_cast<std::size_t>(count));
    if (TIFFWriteEncodedStrip(tif, strip, strip_.data(), size) != size) {
      throw std::runtime_error("TIFFWriteEncodedStrip failed for strip " + std::to_string(strip));
    }
    ++strip;
    y += count;
  }
  if (!TIFFFlush(tif) || fsync(TIFFFileno(tif)) != 0) {
    throw std::runtime_error("flushing " + path.string() + " failed");
  }
}

}  // namespace bench
