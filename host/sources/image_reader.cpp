// image_reader.cpp - recognising an image file by its first bytes.
#include "sources/image_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>

#include "common/host_error.h"

namespace riphost {

namespace {

// Reads the file's first bytes and hands it to the reader of its kind.
std::unique_ptr<ImageReader> open_by_kind(const std::filesystem::path& path, int threshold) {
  FileHandle file = open_for_reading(path);
  unsigned char head[8] = {};
  std::size_t got = std::fread(head, 1, sizeof head, file.get());
  file.reset();
  if (got >= 2 && head[0] == 'P' && (head[1] == '1' || head[1] == '4')) return open_pbm(path);
  if (got >= 2 && head[0] == 'P' && head[1] >= '2' && head[1] <= '7') {
    throw HostError("only bilevel netpbm images (PBM, P1 or P4) are supported");
  }
  static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (got == 8 && std::memcmp(head, kPng, 8) == 0) return open_png(path, threshold);
  bool tiff_ii = got >= 4 && head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0;
  bool tiff_mm = got >= 4 && head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43);
  if (tiff_ii || tiff_mm) return open_tiff(path, threshold);
  throw HostError("not a PBM, PNG or TIFF image");
}

// As open_by_kind, for contone use: 8-bit grey PGM is taken too, and a
// channel only from a TIFF image.
std::unique_ptr<ImageReader> open_contone_by_kind(const std::filesystem::path& path, char channel) {
  FileHandle file = open_for_reading(path);
  unsigned char head[8] = {};
  std::size_t got = std::fread(head, 1, sizeof head, file.get());
  file.reset();
  bool tiff_ii = got >= 4 && head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0;
  bool tiff_mm = got >= 4 && head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43);
  if (tiff_ii || tiff_mm) return open_tiff(path, 128, channel);
  if (channel != 0) throw HostError("a channel can only be taken from a CMYK TIFF image");
  if (got >= 2 && head[0] == 'P' && head[1] == '5') return open_pgm(path);
  if (got >= 2 && head[0] == 'P' && head[1] >= '2' && head[1] <= '7' && head[1] != '4') {
    throw HostError("only raw grey (P5) and bilevel (P1, P4) netpbm images are supported");
  }
  return open_by_kind(path, 128);
}

}  // namespace

// A bilevel image's ink bits, widened to 0 and 255.
void ImageReader::read_ink(std::uint8_t* ink, int pixels) {
  if (bits_.empty()) bits_.resize((static_cast<std::size_t>(width_) + 7) / 8 + 1);
  read_row(bits_.data(), pixels);
  for (int x = 0; x < pixels; ++x) ink[x] = ((bits_[static_cast<std::size_t>(x) >> 3] >> (x & 7)) & 1u) ? 255 : 0;
}

// An 8-bit row widened: k becomes k * 257, so 255 stays full ink.
void ImageReader::read_ink16(std::uint16_t* ink, int pixels) {
  if (ink8_.empty()) ink8_.resize(static_cast<std::size_t>(width_));
  read_ink(ink8_.data(), pixels);
  for (int x = 0; x < pixels; ++x) ink[x] = static_cast<std::uint16_t>(ink8_[static_cast<std::size_t>(x)] * 257u);
}

std::unique_ptr<ImageReader> open_contone(const std::filesystem::path& path, char channel) {
  try {
    return open_contone_by_kind(path, channel);
  } catch (const std::bad_alloc&) {
    throw HostError("not enough memory to read the image");
  }
}

// fopen with the reason of a failure in the error.
FileHandle open_for_reading(const std::filesystem::path& path) {
  FileHandle file(std::fopen(path.c_str(), "rb"));
  if (!file) throw HostError("cannot open: " + std::generic_category().message(errno));
  return file;
}

// A header asking for a row buffer beyond the memory at hand is a bad
// image, not a failure of riphost.
std::unique_ptr<ImageReader> open_image(const std::filesystem::path& path, int threshold) {
  try {
    return open_by_kind(path, threshold);
  } catch (const std::bad_alloc&) {
    throw HostError("not enough memory to read the image");
  }
}

}  // namespace riphost
