// image_reader.h - bilevel, grey and colour images read one row at a time.
//
// A reader decodes its file row by row, in order, and turns each row into ink
// bits in the plug-in's order (pixel x in byte x / 8, bit x % 8). Grey and
// colour pixels are ink when their luminance is below the threshold; bilevel
// images keep their own black as ink. Readers hold one row of their own,
// never the whole image.
#ifndef RIPHOST_IMAGE_READER_H
#define RIPHOST_IMAGE_READER_H

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace riphost {

// Largest width or height of an image (and of a page).
inline constexpr int kMaxImageSide = 1 << 24;

class ImageReader {
 public:
  virtual ~ImageReader() = default;
  int width() const noexcept { return width_; }
  int height() const noexcept { return height_; }
  // Decodes the next row and writes the ink bits of its first pixels pixels
  // (1 <= pixels <= width()) into bits[0 .. ceil(pixels / 8)); bits after the
  // last pixel in the last byte may hold anything. Throws HostError when the
  // row cannot be read.
  virtual void read_row(std::uint8_t* bits, int pixels) = 0;
  // Contone use: decodes the next row and writes the ink of its first pixels
  // pixels into ink[0 .. pixels), 0 (paper) to 255 (full ink): a grey value
  // g gives 255 - g, a CMYK channel its own value; a bilevel image gives 0
  // or 255. Throws HostError when the row cannot be read.
  virtual void read_ink(std::uint8_t* ink, int pixels);
  // Contone use at 16 bits: as read_ink, ink 0 to 65535; images of 8 bits
  // or less give 257 times their 8-bit ink.
  virtual void read_ink16(std::uint16_t* ink, int pixels);
  // True when read_ink16 gives more than read_ink (16-bit samples).
  virtual bool deep() const noexcept { return false; }
  // The resolution the file states, pixels per inch (0: none).
  double x_ppi() const noexcept { return x_ppi_; }
  double y_ppi() const noexcept { return y_ppi_; }

 protected:
  int width_ = 0;
  int height_ = 0;
  double x_ppi_ = 0.0;
  double y_ppi_ = 0.0;

 private:
  std::vector<std::uint8_t> bits_;  // read_ink of a bilevel image: one row of bits
  std::vector<std::uint8_t> ink8_;  // read_ink16 of an 8-bit image: one row of ink
};

// Closes a C stream.
struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file for binary reading. Throws HostError "cannot open: <reason>".
FileHandle open_for_reading(const std::filesystem::path& path);

// Opens an image, recognised by its content: PBM (P1, P4), PNG or TIFF.
// Reads the header only. Throws HostError (message without the file name)
// when the file cannot be opened, is of another kind, uses a layout that
// cannot be streamed (interlaced PNG, tiled TIFF) or needs more memory than
// can be had.
std::unique_ptr<ImageReader> open_image(const std::filesystem::path& path, int threshold);

// Opens an image for contone use (read_ink), recognised by its content:
// PGM (P5, 8 bits or less), PBM, PNG or TIFF; channel 'C', 'M', 'Y' or 'K'
// takes that channel of a CMYK TIFF image (and only of one), 0 the grey
// value. Throws HostError as open_image.
std::unique_ptr<ImageReader> open_contone(const std::filesystem::path& path, char channel);

// The readers of each kind, called by open_image and open_contone.
std::unique_ptr<ImageReader> open_pbm(const std::filesystem::path& path);
std::unique_ptr<ImageReader> open_pgm(const std::filesystem::path& path);
std::unique_ptr<ImageReader> open_png(const std::filesystem::path& path, int threshold);
std::unique_ptr<ImageReader> open_tiff(const std::filesystem::path& path, int threshold, char channel = 0);

}  // namespace riphost

#endif  // RIPHOST_IMAGE_READER_H
