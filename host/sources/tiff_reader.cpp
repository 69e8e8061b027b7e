// tiff_reader.cpp - streaming TIFF reader through libtiff, scanline by scanline.
//
// Tiled images are refused: a tile row would have to be decoded whole. The
// reader takes grey (1, 2, 4, 8 or 16 bits, either PhotometricInterpretation),
// palette (1 to 8 bits) and RGB (8 or 16 bits) images with their samples
// interleaved, optionally with one alpha sample. A 1-bit grey image is used
// bit for bit, black being ink; everything else is thresholded by luminance.
// For contone use (read_ink) a CMYK image (8 or 16 bits, interleaved) gives
// one of its channels, chosen when it is opened.
// The colour samples and one alpha sample at most bound a scanline to 8
// bytes per pixel, so a small hostile header cannot claim a huge buffer;
// libtiff's own allocations are capped as well.
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
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

// Where libtiff's error handler of one file leaves its text.
struct TiffErrorText {
  char text[256] = "unknown libtiff error";
};

// libtiff error handler of one file: keep the text.
__attribute__((format(printf, 4, 0))) int on_tiff_error(TIFF*, void* user_data, const char* module,
                                                       const char* format, va_list args) {
  auto* error = static_cast<TiffErrorText*>(user_data);
  char message[200];
  std::vsnprintf(message, sizeof message, format, args);
  std::snprintf(error->text, sizeof error->text, "%s%s%s", module ? module : "", module ? ": " : "", message);
  return 1;
}

// libtiff warnings (unknown tags and the like) do not stop reading.
int on_tiff_warning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Largest single allocation libtiff may make for one file: far above what
// the widest image the reader takes needs.
constexpr tmsize_t kMaxTiffAllocation = tmsize_t{256} << 20;

// Bytes a scanline may take per pixel: 4 samples of 16 bits.
constexpr std::size_t kMaxBytesPerPixel = 8;

// Closes a libtiff handle.
struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};

class TiffReader final : public ImageReader {
 public:
  // Opens the file with its own error handler and checks the layout.
  TiffReader(const std::filesystem::path& path, int threshold, char channel)
      : threshold_(threshold), channel_(channel) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) throw HostError("cannot start libtiff");
    TIFFOpenOptionsSetErrorHandlerExtR(options, on_tiff_error, &error_);
    TIFFOpenOptionsSetWarningHandlerExtR(options, on_tiff_warning, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxTiffAllocation);
    // "m": read, do not map the file: a page image can be far larger than the
    // memory riphost may hold.
    tif_.reset(TIFFOpenExt(path.c_str(), "rm", options));
    TIFFOpenOptionsFree(options);
    if (!tif_) throw HostError(std::string("bad TIFF: ") + error_.text);
    TIFF* tif = tif_.get();
    if (TIFFIsTiled(tif)) {
      throw HostError("tiled TIFF images are not supported (they cannot be read scanline by scanline); "
                      "save the image in strips");
    }
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0) throw HostError("TIFF image without width or height");
    if (width > static_cast<std::uint32_t>(kMaxImageSide) || height > static_cast<std::uint32_t>(kMaxImageSide)) {
      throw HostError("TIFF image too large");
    }
    width_ = static_cast<int>(width);
    height_ = static_cast<int>(height);
    read_layout();
    tmsize_t size = TIFFScanlineSize(tif);
    if (size <= 0) throw HostError(std::string("bad TIFF: ") + error_.text);
    if (static_cast<std::size_t>(size) > static_cast<std::size_t>(width_) * kMaxBytesPerPixel) {
      throw HostError("TIFF scanline of " + std::to_string(size) + " bytes for " + std::to_string(width_) +
                      " pixels: the sample layout is not supported");
    }
    raw_.resize(static_cast<std::size_t>(size));
    if (!bilevel_) grey_.resize(static_cast<std::size_t>(width_));
    read_resolution();
  }

  // Decodes the next scanline and turns it into ink bits.
  void read_row(std::uint8_t* bits, int pixels) override {
    if (TIFFReadScanline(tif_.get(), raw_.data(), static_cast<std::uint32_t>(row_), 0) < 0) {
      throw HostError("TIFF data unreadable at row " + std::to_string(row_) + ": " + error_.text);
    }
    ++row_;
    if (bilevel_) {
      // MinIsWhite: 1 is black (ink), MinIsBlack: 0 is.
      unpack_msb_first(raw_.data(), pixels, !min_is_white_, bits);
      return;
    }
    if (cmyk_) throw HostError("a CMYK TIFF image gives contone content only");
    to_grey(pixels);
    threshold_row(grey_.data(), pixels, threshold_, bits);
  }

  // Decodes the next scanline as ink: the chosen CMYK channel, or 255 minus
  // the grey laid over white.
  void read_ink(std::uint8_t* ink, int pixels) override {
    if (bilevel_) {
      ImageReader::read_ink(ink, pixels);
      return;
    }
    if (TIFFReadScanline(tif_.get(), raw_.data(), static_cast<std::uint32_t>(row_), 0) < 0) {
      throw HostError("TIFF data unreadable at row " + std::to_string(row_) + ": " + error_.text);
    }
    ++row_;
    if (cmyk_) {
      for (int x = 0; x < pixels; ++x) ink[x] = sample8(static_cast<std::size_t>(x) * spp_ + ink_index_);
      return;
    }
    to_grey(pixels);
    for (int x = 0; x < pixels; ++x) ink[x] = static_cast<std::uint8_t>(255u - grey_[static_cast<std::size_t>(x)]);
  }

  // 16-bit grey (without alpha) and CMYK images keep their 16 bits.
  bool deep() const noexcept override {
    return bps_ == 16 && (cmyk_ || (colour_ == Colour::Grey && alpha_ == Alpha::None));
  }

  void read_ink16(std::uint16_t* ink, int pixels) override {
    if (!deep()) {
      ImageReader::read_ink16(ink, pixels);
      return;
    }
    if (TIFFReadScanline(tif_.get(), raw_.data(), static_cast<std::uint32_t>(row_), 0) < 0) {
      throw HostError("TIFF data unreadable at row " + std::to_string(row_) + ": " + error_.text);
    }
    ++row_;
    for (int x = 0; x < pixels; ++x) {
      std::uint16_t value;
      std::memcpy(&value, raw_.data() + 2 * (static_cast<std::size_t>(x) * spp_ + (cmyk_ ? ink_index_ : 0)), 2);
      // A CMYK channel is ink; grey is ink where it is dark.
      ink[x] = cmyk_ || min_is_white_ ? value : static_cast<std::uint16_t>(65535u - value);
    }
  }

 private:
  enum class Colour { Grey, Palette, Rgb };

  // The resolution fields, in pixels per inch (none without a unit).
  void read_resolution() {
    float x = 0.0f, y = 0.0f;
    std::uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif_.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
    const double per_inch = unit == RESUNIT_INCH ? 1.0 : unit == RESUNIT_CENTIMETER ? 2.54 : 0.0;
    if (per_inch > 0.0 && TIFFGetField(tif_.get(), TIFFTAG_XRESOLUTION, &x) && x > 0.0f && std::isfinite(x)) {
      x_ppi_ = x * per_inch;
      y_ppi_ = TIFFGetField(tif_.get(), TIFFTAG_YRESOLUTION, &y) && y > 0.0f && std::isfinite(y) ? y * per_inch : x_ppi_;
    }
  }

  // Checks the sample layout and decides how rows are turned into ink.
  void read_layout() {
    TIFF* tif = tif_.get();
    std::uint16_t bps = 1;
    std::uint16_t spp = 1;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint16_t format = SAMPLEFORMAT_UINT;
    std::uint16_t photometric = 0;
    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) {
      throw HostError("TIFF image without PhotometricInterpretation");
    }
    if (!TIFFIsCODECConfigured(compression)) {
      throw HostError("TIFF compression " + std::to_string(compression) + " is not available");
    }
    if (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_VOID) {
      throw HostError("TIFF samples must be unsigned integers");
    }
    if (spp > 1 && planar != PLANARCONFIG_CONTIG) {
      throw HostError("TIFF images with separate colour planes are not supported; save them interleaved");
    }
    bps_ = bps;
    spp_ = spp;
    if (channel_ != 0) {
      read_cmyk_layout(photometric, bps, spp);
      return;
    }
    read_colour_layout(photometric, bps, spp);
  }

  // A grey, RGB or palette image, with at most one alpha sample.
  void read_colour_layout(std::uint16_t photometric, std::uint16_t bps, std::uint16_t spp) {
    switch (photometric) {
      case PHOTOMETRIC_MINISWHITE:
      case PHOTOMETRIC_MINISBLACK:
        if (bps != 1 && bps != 2 && bps != 4 && bps != 8 && bps != 16) throw unsupported(photometric, bps);
        colour_ = Colour::Grey;
        base_channels_ = 1;
        min_is_white_ = photometric == PHOTOMETRIC_MINISWHITE;
        bilevel_ = bps == 1 && spp == 1;
        break;
      case PHOTOMETRIC_RGB:
        if ((bps != 8 && bps != 16) || spp < 3) throw unsupported(photometric, bps);
        colour_ = Colour::Rgb;
        base_channels_ = 3;
        break;
      case PHOTOMETRIC_PALETTE:
        if (bps < 1 || bps > 8 || spp != 1) throw unsupported(photometric, bps);
        colour_ = Colour::Palette;
        base_channels_ = 1;
        load_palette();
        break;
      case PHOTOMETRIC_SEPARATED:
        // A CMYK image is screened one ink at a time, never as line art.
        if (!is_cmyk()) throw unsupported(photometric, bps);
        throw HostError("a CMYK TIFF image: add \"channel\": \"C\", \"M\", \"Y\" or \"K\" to screen one of its inks "
                        "(as \"contone\")");
      default:
        throw HostError("TIFF PhotometricInterpretation " + std::to_string(photometric) +
                        " is not supported (use grey, palette or RGB)");
    }
    if (spp > base_channels_ + 1) {
      throw HostError("TIFF images with " + std::to_string(spp) + " samples per pixel are not supported here (at most " +
                      std::to_string(base_channels_ + 1) + ": the colour samples and one alpha sample)");
    }
    find_alpha();
  }

  // A CMYK image from which channel_ is taken: 8 or 16 bits, four inks.
  void read_cmyk_layout(std::uint16_t photometric, std::uint16_t bps, std::uint16_t spp) {
    std::uint16_t inkset = INKSET_CMYK;
    TIFFGetFieldDefaulted(tif_.get(), TIFFTAG_INKSET, &inkset);
    if (photometric != PHOTOMETRIC_SEPARATED || inkset != INKSET_CMYK) {
      throw HostError("a channel can only be taken from a CMYK TIFF image");
    }
    if ((bps != 8 && bps != 16) || spp != 4) {
      throw HostError("CMYK TIFF images need 4 samples of 8 or 16 bits per pixel");
    }
    static constexpr char kInks[] = "CMYK";
    for (unsigned i = 0; i < 4; ++i) {
      if (kInks[i] == channel_) ink_index_ = i;
    }
    cmyk_ = true;
    base_channels_ = 4;
  }

  // Whether the image's inks are cyan, magenta, yellow and black.
  bool is_cmyk() const {
    std::uint16_t inkset = INKSET_CMYK;
    TIFFGetFieldDefaulted(tif_.get(), TIFFTAG_INKSET, &inkset);
    return inkset == INKSET_CMYK;
  }

  // The error for a sample layout this reader does not take.
  static HostError unsupported(std::uint16_t photometric, std::uint16_t bps) {
    return HostError("TIFF images with PhotometricInterpretation " + std::to_string(photometric) + " and " +
                     std::to_string(bps) + " bits per sample are not supported");
  }

  // Luminance of every palette entry; 8-bit colour maps are recognised as
  // libtiff's own RGBA reader does (no entry above 255).
  void load_palette() {
    std::uint16_t* red = nullptr;
    std::uint16_t* green = nullptr;
    std::uint16_t* blue = nullptr;
    if (!TIFFGetField(tif_.get(), TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue) {
      throw HostError("TIFF palette image without a colour map");
    }
    std::size_t entries = std::size_t{1} << bps_;
    bool sixteen = false;
    for (std::size_t i = 0; i < entries; ++i) {
      if (red[i] > 255 || green[i] > 255 || blue[i] > 255) sixteen = true;
    }
    int shift = sixteen ? 8 : 0;
    for (std::size_t i = 0; i < entries; ++i) {
      palette_[i] = luminance(red[i] >> shift, green[i] >> shift, blue[i] >> shift);
    }
  }

  // Finds an alpha sample right after the colour samples, if there is one.
  void find_alpha() {
    if (spp_ <= base_channels_) return;
    std::uint16_t count = 0;
    std::uint16_t* kinds = nullptr;
    if (TIFFGetField(tif_.get(), TIFFTAG_EXTRASAMPLES, &count, &kinds) && count > 0 && kinds) {
      if (kinds[0] == EXTRASAMPLE_ASSOCALPHA) alpha_ = Alpha::Associated;
      if (kinds[0] == EXTRASAMPLE_UNASSALPHA) alpha_ = Alpha::Unassociated;
    }
  }

  // Sample number index of the row, scaled to 8 bits.
  std::uint8_t sample8(std::size_t index) const noexcept {
    switch (bps_) {
      case 8:
        return raw_[index];
      case 16: {
        std::uint16_t value;
        std::memcpy(&value, raw_.data() + 2 * index, 2);
        return static_cast<std::uint8_t>(value >> 8);
      }
      default: {
        std::uint8_t value = raw_sample(index);
        return static_cast<std::uint8_t>(value * 255u / ((1u << bps_) - 1u));
      }
    }
  }

  // Sample number index of a row packed at fewer than 8 bits, unscaled. A
  // sample of 3, 5, 6 or 7 bits may straddle two bytes: it is cut from the
  // 16 bits starting at its first byte (the row's last byte has no successor).
  std::uint8_t raw_sample(std::size_t index) const noexcept {
    std::size_t bit = index * bps_;
    std::size_t byte = bit >> 3;
    unsigned window = static_cast<unsigned>(raw_[byte]) << 8;
    if (byte + 1 < raw_.size()) window |= raw_[byte + 1];
    unsigned shift = 16u - bps_ - static_cast<unsigned>(bit & 7u);
    return static_cast<std::uint8_t>((window >> shift) & ((1u << bps_) - 1u));
  }

  // Luminance of the row's first pixels pixels, laid over white.
  void to_grey(int pixels) {
    std::uint8_t* g = grey_.data();
    std::size_t spp = spp_;
    for (int x = 0; x < pixels; ++x) {
      std::size_t first = static_cast<std::size_t>(x) * spp;
      unsigned value;
      if (colour_ == Colour::Rgb) {
        value = luminance(sample8(first), sample8(first + 1), sample8(first + 2));
      } else if (colour_ == Colour::Palette) {
        value = palette_[bps_ == 8 ? raw_[first] : raw_sample(first)];
      } else {
        value = sample8(first);
        if (min_is_white_) value = 255u - value;
      }
      if (alpha_ != Alpha::None) {
        unsigned alpha = sample8(first + base_channels_);
        // Premultiplied colour over white is colour + (1 - alpha) white.
        value = alpha_ == Alpha::Associated ? std::min(255u, value + 255u - alpha) : over_white(value, alpha);
      }
      g[x] = static_cast<std::uint8_t>(value);
    }
  }

  enum class Alpha { None, Associated, Unassociated };

  int threshold_;
  char channel_ = 0;
  bool cmyk_ = false;
  unsigned ink_index_ = 0;
  TiffErrorText error_;
  std::unique_ptr<TIFF, TiffCloser> tif_;
  Colour colour_ = Colour::Grey;
  Alpha alpha_ = Alpha::None;
  unsigned bps_ = 1;
  unsigned spp_ = 1;
  unsigned base_channels_ = 1;
  bool min_is_white_ = false;
  bool bilevel_ = false;
  std::uint8_t palette_[256] = {};
  std::vector<std::uint8_t> raw_;
  std::vector<std::uint8_t> grey_;
  int row_ = 0;
};

}  // namespace

// Opens a TIFF image and reads its first directory.
std::unique_ptr<ImageReader> open_tiff(const std::filesystem::path& path, int threshold, char channel) {
  return std::make_unique<TiffReader>(path, threshold, channel);
}

}  // namespace riphost
