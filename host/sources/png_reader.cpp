// png_reader.cpp - streaming PNG reader through libpng, row by row.
//
// libpng reports errors by longjmp. Every libpng call that may fail runs in a
// small function holding no C++ object, so that the jump skips no destructor;
// the error text is kept in the reader and turned into a HostError.
//
// Interlaced images are refused: their rows only exist once all passes are
// read, which means holding the whole image. A 1-bit grey image without
// transparency is used bit for bit (black = ink); anything else is expanded
// to grey or RGB with or without alpha, laid over white, and thresholded by
// luminance. Images of 16 bits a sample keep them: contone use (read_ink16)
// takes their luminance at 16 bits, the 8-bit uses the samples' high bytes.
//
// Only IHDR, PLTE, tRNS, pHYs, IDAT and IEND are read: libpng skips every
// other chunk (text, colour profiles, private chunks) without keeping its
// bytes, so a header claiming a huge text chunk costs nothing but a refusal.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/bitrow.h"
#include "common/grey.h"
#include "common/host_error.h"
#include "sources/image_reader.h"

namespace riphost {

namespace {

// Largest chunk libpng may hold in memory (the palette and transparency
// are small; the image data is streamed).
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;
// Largest number of ancillary chunks libpng may keep.
constexpr png_uint_32 kMaxCachedChunks = 32;
// Widest image: libpng holds a few rows of up to 8 bytes a pixel.
constexpr int kMaxPngWidth = 1 << 20;

// Where libpng's error callback leaves its text, and its last warning.
struct PngErrorText {
  char text[256] = "unknown libpng error";
  char warning[256] = "";
};

// libpng error callback: keep the text, jump back to the wrapper.
[[noreturn]] void on_png_error(png_structp png, png_const_charp message) {
  auto* error = static_cast<PngErrorText*>(png_get_error_ptr(png));
  std::snprintf(error->text, sizeof error->text, "%s", message ? message : "unknown libpng error");
  png_longjmp(png, 1);
}

// libpng warnings (ancillary chunk trouble and the like) do not stop
// reading; the last one is kept, as it often tells why an error followed.
void on_png_warning(png_structp png, png_const_charp message) {
  auto* error = static_cast<PngErrorText*>(png_get_error_ptr(png));
  std::snprintf(error->warning, sizeof error->warning, "%s", message ? message : "");
}

// Reads the header chunks; false on a libpng error.
bool read_info(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  return true;
}

// Sets the transformations to grey or RGB samples of 8 bits (16 bits for
// 16-bit images), transparency as alpha; false on a libpng error.
bool expand_samples(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_expand(png);
  png_read_update_info(png, info);
  return true;
}

// Reads the next row; false on a libpng error.
bool read_one_row(png_structp png, png_bytep row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_row(png, row, nullptr);
  return true;
}

// Owns libpng's read and info structures.
struct PngHandle {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngHandle() = default;
  PngHandle(const PngHandle&) = delete;
  PngHandle& operator=(const PngHandle&) = delete;
  ~PngHandle() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

class PngReader final : public ImageReader {
 public:
  // Opens the file, reads the header and sets up the row format.
  PngReader(const std::filesystem::path& path, int threshold)
      : threshold_(threshold), file_(open_for_reading(path)) {
    png_byte signature[8];
    if (std::fread(signature, 1, 8, file_.get()) != 8 || png_sig_cmp(signature, 0, 8) != 0) {
      throw HostError("not a PNG image");
    }
    handle_.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error_, on_png_error, on_png_warning);
    if (!handle_.png) throw HostError("cannot start libpng");
    handle_.info = png_create_info_struct(handle_.png);
    if (!handle_.info) throw HostError("cannot start libpng");
    png_ = handle_.png;
    info_ = handle_.info;
    png_init_io(png_, file_.get());
    png_set_sig_bytes(png_, 8);
    // The row buffers follow from the width, bounded here; text and other
    // ancillary chunks, which riphost does not use, are skipped unread
    // (negative count: every chunk but IHDR, PLTE, tRNS, IDAT and IEND; then
    // pHYs is taken back).
    png_set_user_limits(png_, kMaxPngWidth, kMaxImageSide);
    png_set_chunk_malloc_max(png_, kMaxChunkBytes);
    png_set_chunk_cache_max(png_, kMaxCachedChunks);
    png_set_keep_unknown_chunks(png_, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    // The physical size (9 bytes) gives contone images their resolution.
    static const png_byte kPhys[] = {'p', 'H', 'Y', 's', '\0'};
    png_set_keep_unknown_chunks(png_, PNG_HANDLE_CHUNK_AS_DEFAULT, kPhys, 1);
    if (!read_info(png_, info_)) throw HostError(failure("bad PNG"));
    png_uint_32 x_per_metre = 0, y_per_metre = 0;
    int unit = PNG_RESOLUTION_UNKNOWN;
    if (png_get_pHYs(png_, info_, &x_per_metre, &y_per_metre, &unit) && unit == PNG_RESOLUTION_METER &&
        x_per_metre > 0 && y_per_metre > 0) {
      x_ppi_ = x_per_metre * 0.0254;
      y_ppi_ = y_per_metre * 0.0254;
    }

    width_ = static_cast<int>(png_get_image_width(png_, info_));
    height_ = static_cast<int>(png_get_image_height(png_, info_));
    if (png_get_interlace_type(png_, info_) != PNG_INTERLACE_NONE) {
      throw HostError("interlaced PNG images are not supported (they cannot be read row by row); "
                      "save the image without interlacing");
    }
    int color_type = png_get_color_type(png_, info_);
    int bit_depth = png_get_bit_depth(png_, info_);
    one_bit_ = color_type == PNG_COLOR_TYPE_GRAY && bit_depth == 1 && !png_get_valid(png_, info_, PNG_INFO_tRNS);
    if (!one_bit_) {
      if (!expand_samples(png_, info_)) throw HostError(failure("bad PNG"));
      channels_ = png_get_channels(png_, info_);
      if (channels_ < 1 || channels_ > 4) throw HostError("unsupported PNG pixel layout");
      deep_ = png_get_bit_depth(png_, info_) == 16;
      grey_.resize(static_cast<std::size_t>(width_));
    }
    raw_.resize(png_get_rowbytes(png_, info_));
  }

  // Decodes the next row and turns it into ink bits.
  void read_row(std::uint8_t* bits, int pixels) override {
    if (!read_one_row(png_, raw_.data())) {
      throw HostError(failure("PNG data unreadable at row " + std::to_string(row_)));
    }
    ++row_;
    if (one_bit_) {
      // Grey 0 is black: ink is a clear bit.
      unpack_msb_first(raw_.data(), pixels, true, bits);
      return;
    }
    to_grey(pixels);
    threshold_row(grey_.data(), pixels, threshold_, bits);
  }

  // Decodes the next row as ink: 255 minus the grey laid over white.
  void read_ink(std::uint8_t* ink, int pixels) override {
    if (one_bit_) {
      ImageReader::read_ink(ink, pixels);
      return;
    }
    if (!read_one_row(png_, raw_.data())) {
      throw HostError(failure("PNG data unreadable at row " + std::to_string(row_)));
    }
    ++row_;
    to_grey(pixels);
    for (int x = 0; x < pixels; ++x) ink[x] = static_cast<std::uint8_t>(255u - grey_[static_cast<std::size_t>(x)]);
  }

  bool deep() const noexcept override { return deep_; }

  // Decodes the next row as 16-bit ink: 65535 minus the grey laid over white.
  void read_ink16(std::uint16_t* ink, int pixels) override {
    if (!deep_) {
      ImageReader::read_ink16(ink, pixels);
      return;
    }
    if (!read_one_row(png_, raw_.data())) {
      throw HostError(failure("PNG data unreadable at row " + std::to_string(row_)));
    }
    ++row_;
    const std::uint8_t* p = raw_.data();
    // PNG samples of 16 bits are big-endian.
    auto at = [&p](int i) { return static_cast<std::uint32_t>(p[2 * i] << 8 | p[2 * i + 1]); };
    for (int x = 0; x < pixels; ++x, p += 2 * channels_) {
      std::uint16_t grey = 0;
      switch (channels_) {
        case 1: grey = static_cast<std::uint16_t>(at(0)); break;
        case 2: grey = over_white16(at(0), at(1)); break;
        case 3: grey = luminance16(at(0), at(1), at(2)); break;
        default: grey = over_white16(luminance16(at(0), at(1), at(2)), at(3)); break;
      }
      ink[x] = static_cast<std::uint16_t>(65535u - grey);
    }
  }

 private:
  // "<what>: <libpng's error>", with the warning before it when there was one.
  std::string failure(const std::string& what) const {
    std::string text = what + ": " + error_.text;
    if (error_.warning[0] != '\0') text += std::string(" (after: ") + error_.warning + ")";
    return text;
  }

  // Luminance of the row's first pixels pixels, laid over white, at 8 bits
  // (of 16-bit samples their high bytes).
  void to_grey(int pixels) {
    const std::uint8_t* p = raw_.data();
    std::uint8_t* g = grey_.data();
    const int step = deep_ ? 2 : 1;  // bytes a sample; the high byte first
    const std::size_t pixel = static_cast<std::size_t>(channels_ * step);
    switch (channels_) {
      case 1:
        if (!deep_) {
          std::memcpy(g, p, static_cast<std::size_t>(pixels));
          break;
        }
        for (int x = 0; x < pixels; ++x, p += pixel) g[x] = p[0];
        break;
      case 2:
        for (int x = 0; x < pixels; ++x, p += pixel) g[x] = over_white(p[0], p[step]);
        break;
      case 3:
        for (int x = 0; x < pixels; ++x, p += pixel) g[x] = luminance(p[0], p[step], p[2 * step]);
        break;
      default:
        for (int x = 0; x < pixels; ++x, p += pixel) {
          g[x] = over_white(luminance(p[0], p[step], p[2 * step]), p[3 * step]);
        }
        break;
    }
  }

  int threshold_;
  PngErrorText error_;
  FileHandle file_;
  PngHandle handle_;  // after file_: released before the file is closed
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  bool one_bit_ = false;
  bool deep_ = false;  // 16-bit samples
  int channels_ = 1;
  std::vector<std::uint8_t> raw_;
  std::vector<std::uint8_t> grey_;
  int row_ = 0;
};

}  // namespace

// Opens a PNG image and reads its header.
std::unique_ptr<ImageReader> open_png(const std::filesystem::path& path, int threshold) {
  return std::make_unique<PngReader>(path, threshold);
}

}  // namespace riphost
