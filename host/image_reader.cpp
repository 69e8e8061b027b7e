// image_reader.cpp - recognising an image file by its first bytes.
#include "image_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>

#include "host_error.h"

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

}  // namespace

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
