// pbm_reader.cpp - streaming reader of bilevel netpbm images (P1 and P4) and
// of raw grey ones (P5, for contone content).
//
// In PBM a 1 is black, which is ink. P4 rows are packed most significant bit
// first and are bit-reversed into the plug-in's order; P1 rows are digits.
// P5 rows hold one byte per pixel (a maximum value of at most 255), 0 being
// black: grey g of maximum m is ink (m - g) / m.
#include <cstdio>
#include <string>
#include <vector>

#include "common/bitrow.h"
#include "common/host_error.h"
#include "sources/image_reader.h"

namespace riphost {

namespace {

class PbmReader final : public ImageReader {
 public:
  // Opens the file and reads the header.
  // grey: a P5 image is expected, else P1 or P4.
  PbmReader(const std::filesystem::path& path, bool grey) : file_(open_for_reading(path)) {
    int p = std::getc(file_.get());
    int kind = std::getc(file_.get());
    if (grey) {
      if (p != 'P' || kind != '5') throw HostError("not a PGM image");
    } else if (p != 'P' || (kind != '1' && kind != '4')) {
      throw HostError("not a PBM image");
    }
    plain_ = kind == '1';
    grey_ = grey;
    width_ = read_header_number("width");
    height_ = read_header_number("height");
    if (grey_) {
      maxval_ = read_header_number("maximum value");
      if (maxval_ > 255) throw HostError("PGM images of more than 8 bits are not supported");
      packed_.resize(static_cast<std::size_t>(width_));
    } else if (!plain_) {
      packed_.resize((static_cast<std::size_t>(width_) + 7) / 8);
    }
  }

  // Reads the next row in the file's form.
  void read_row(std::uint8_t* bits, int pixels) override {
    if (grey_) {
      read_grey_row();
      std::size_t bytes = (static_cast<std::size_t>(pixels) + 7) / 8;
      for (std::size_t i = 0; i < bytes; ++i) bits[i] = 0;
      for (int x = 0; x < pixels; ++x) {
        if (2 * packed_[static_cast<std::size_t>(x)] < maxval_) bits[x >> 3] |= static_cast<std::uint8_t>(1u << (x & 7));
      }
    } else if (plain_) {
      read_plain_row(bits, pixels);
    } else {
      read_packed_row(bits, pixels);
    }
    ++row_;
  }

  // The ink of the next row: (maximum - g) scaled to 0..255.
  void read_ink(std::uint8_t* ink, int pixels) override {
    if (!grey_) {
      ImageReader::read_ink(ink, pixels);
      return;
    }
    read_grey_row();
    ++row_;
    const unsigned m = static_cast<unsigned>(maxval_);
    for (int x = 0; x < pixels; ++x) {
      unsigned g = packed_[static_cast<std::size_t>(x)];
      if (g > m) g = m;
      ink[x] = static_cast<std::uint8_t>(((m - g) * 255u + m / 2) / m);
    }
  }

 private:
  // P5: one row of bytes.
  void read_grey_row() {
    if (std::fread(packed_.data(), 1, packed_.size(), file_.get()) != packed_.size()) {
      throw HostError("PGM data ends early, at row " + std::to_string(row_));
    }
  }

  // Skips white space and "#" comments; returns the next other character.
  int next_significant() {
    std::FILE* f = file_.get();
    int c = std::getc(f);
    while (c != EOF) {
      if (c == '#') {
        while (c != EOF && c != '\n' && c != '\r') c = std::getc(f);
      } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
        c = std::getc(f);
      } else {
        break;
      }
    }
    return c;
  }

  // The kind of image in messages.
  const char* kind() const noexcept { return grey_ ? "PGM" : "PBM"; }

  // Reads one positive decimal number of the header and the one white-space
  // character after it.
  int read_header_number(const char* what) {
    int c = next_significant();
    if (c < '0' || c > '9') throw HostError(std::string("bad ") + kind() + " header: no " + what);
    long long value = 0;
    while (c >= '0' && c <= '9') {
      value = value * 10 + (c - '0');
      if (value > kMaxImageSide) throw HostError(std::string(kind()) + " " + what + " too large");
      c = std::getc(file_.get());
    }
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f') {
      throw HostError(std::string("bad ") + kind() + " header after the " + what);
    }
    if (value == 0) throw HostError(std::string(kind()) + " " + what + " is 0");
    return static_cast<int>(value);
  }

  // P4: one packed row, bit-reversed.
  void read_packed_row(std::uint8_t* bits, int pixels) {
    if (std::fread(packed_.data(), 1, packed_.size(), file_.get()) != packed_.size()) {
      throw HostError("PBM data ends early, at row " + std::to_string(row_));
    }
    unpack_msb_first(packed_.data(), pixels, false, bits);
  }

  // P1: width digits, white space and comments allowed between them.
  void read_plain_row(std::uint8_t* bits, int pixels) {
    std::size_t bytes = (static_cast<std::size_t>(pixels) + 7) / 8;
    for (std::size_t i = 0; i < bytes; ++i) bits[i] = 0;
    for (int x = 0; x < width_; ++x) {
      int c = next_significant();
      if (c != '0' && c != '1') {
        if (c == EOF) throw HostError("PBM data ends early, at row " + std::to_string(row_));
        throw HostError("bad PBM pixel at row " + std::to_string(row_));
      }
      if (c == '1' && x < pixels) bits[x >> 3] |= static_cast<std::uint8_t>(1u << (x & 7));
    }
  }

  FileHandle file_;
  bool plain_ = false;
  bool grey_ = false;
  int maxval_ = 255;
  std::vector<std::uint8_t> packed_;
  int row_ = 0;
};

}  // namespace

// Opens a PBM image and reads its header.
std::unique_ptr<ImageReader> open_pbm(const std::filesystem::path& path) {
  return std::make_unique<PbmReader>(path, false);
}

// Opens a PGM (P5) image and reads its header.
std::unique_ptr<ImageReader> open_pgm(const std::filesystem::path& path) {
  return std::make_unique<PbmReader>(path, true);
}

}  // namespace riphost
