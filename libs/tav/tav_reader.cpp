// tav_reader.cpp - reads TAV files of either layout of the tag directory:
// checks the TIFF fields against the directory and hands out rows as stored.
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "tav.h"
#include "tav_directory.h"
#include "tav_layout.h"
#include "tav_private_ifd.h"
#include "tav_tiffio.h"

namespace tav {

struct TavReader::Impl {
  std::string path;
  TiffMessages messages;  // handed to libtiff; lives as long as tif
  TIFF* tif = nullptr;
  TavInfo info;
  std::vector<TavTag> tags;
  std::size_t row_bytes = 0;
  uint8_t last_mask = 0xFF;  // pixels of a 1-bit row's last byte inside the width
  uint32_t rows_per_strip = 1;
  int64_t next_row = -1;      // row libtiff decodes next without seeking, -1 unknown
  std::vector<uint8_t> skip;  // rows decoded only to reach a later row


  ~Impl() {
    if (tif != nullptr) TIFFClose(tif);
  }

  [[noreturn]] void NotTav(const std::string& why) const {
    throw std::runtime_error(path + ": not a TAV file (" + why + ")");
  }
  [[noreturn]] void Damaged(const std::string& why) const {
    throw std::runtime_error(path + ": damaged TAV file: " + why);
  }

  void Open();
  void ReadDirectory();
  void ReadPrivateIfd(std::vector<uint8_t>& out);
  void ReadFields();
  void CheckStrips(uint16_t compression);
  void ReadScanline(uint32_t row, uint8_t* out);
};

// Opens the file and reads everything but the rows.
void TavReader::Impl::Open() {
  // Only regular files: a FIFO would block the reader for ever and a device
  // has no end.
  std::string why;
  const int fd = OpenRegularFile(path.c_str(), why);
  if (fd < 0) throw std::runtime_error(path + ": cannot open: " + why);
  // "m": read through read(2), so a file cut short under us is an error, not
  // a crash.
  tif = OpenTiffDescriptor(fd, path.c_str(), "rm", messages);
  if (tif == nullptr) NotTav("not a readable TIFF file: " + messages.ErrorAbout(path));
  if (TIFFIsTiled(tif)) NotTav("a tiled TIFF image");
  ReadDirectory();
  ReadFields();
}

// Reads and decodes the tag directory: from the private IFD the tag points
// to, or, in files of the first layout, the tag's own bytes.
void TavReader::Impl::ReadDirectory() {
  std::vector<uint8_t> stored;  // bytes read from the private IFD's entry
  const uint8_t* data = nullptr;
  std::size_t size = 0;
  switch (DirectoryTagFormOf(tif)) {
    case DirectoryTagForm::kAbsent:
      NotTav("no TAV tag directory");
    case DirectoryTagForm::kOther:
      Damaged("the TAV tag directory is neither a byte array nor an IFD offset");
    case DirectoryTagForm::kBytes: {
      uint32_t count = 0;
      void* bytes = nullptr;
      if (TIFFGetField(tif, kDirectoryTiffTag, &count, &bytes) != 1) NotTav("no TAV tag directory");
      data = static_cast<const uint8_t*>(bytes);
      size = count;
      break;
    }
    case DirectoryTagForm::kIfdOffset:
      ReadPrivateIfd(stored);
      data = stored.data();
      size = stored.size();
      break;
  }
  Directory dir;
  try {
    dir = DecodeDirectory(data, size);
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(path + ": " + e.what());
  }
  info.format = dir.header.format;
  info.compression = dir.header.compression;
  info.mode = dir.header.mode;
  info.width_mm = dir.header.width_mm;
  info.height_mm = dir.header.height_mm;
  tags = std::move(dir.tags);
  if (BitsPerPixel(info.format) == 0) Damaged("unknown format code " + std::to_string(info.format));
  if (info.compression != TAV_COMPRESS_NONE && info.compression != TAV_COMPRESS_FLATE) {
    Damaged("unknown compression code " + std::to_string(info.compression));
  }
}

// Reads the directory bytes of the private IFD that the main IFD's tag
// points to.
void TavReader::Impl::ReadPrivateIfd(std::vector<uint8_t>& out) {
  uint64_t at = 0;
  if (!DirectoryIfdOffset(tif, at)) Damaged("the TAV tag directory's IFD offset is not one value");
  const int fd = TIFFFileno(tif);
  struct stat file {};
  if (fstat(fd, &file) != 0) Damaged("cannot read the file size");
  const IfdForm form{TIFFIsBigTIFF(tif) != 0, TIFFIsBigEndian(tif) != 0};
  try {
    const ByteRange range = LocateDirectory(fd, static_cast<uint64_t>(file.st_size), form, at);
    ReadExactly(fd, range.offset, static_cast<std::size_t>(range.size), out);
  } catch (const std::runtime_error& e) {
    Damaged(e.what());
  }
}

// Reads the TIFF fields and checks them against the directory.
void TavReader::Impl::ReadFields() {
  uint32_t width = 0;
  uint32_t height = 0;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) ||
      !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height)) {
    Damaged("no image size");
  }
  if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX) {
    Damaged("image size " + std::to_string(width) + " x " + std::to_string(height));
  }
  info.width = static_cast<int>(width);
  info.height = static_cast<int>(height);

  uint16_t bits = 0;
  uint16_t samples = 0;
  uint16_t photometric = 0;
  uint16_t compression = 0;
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) Damaged("no photometric field");
  if (samples != 1) Damaged(std::to_string(samples) + " samples per pixel");
  if (bits != BitsPerPixel(info.format)) {
    Damaged(std::to_string(bits) + " bits per sample with format code " +
            std::to_string(info.format));
  }
  if (photometric != PHOTOMETRIC_MINISWHITE) {
    Damaged("photometric interpretation " + std::to_string(photometric) +
            ", expected min-is-white");
  }
  info.bits_per_sample = bits;
  switch (compression) {
    case COMPRESSION_NONE: info.tiff_compression = "none"; break;
    case COMPRESSION_PACKBITS: info.tiff_compression = "PackBits"; break;
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE: info.tiff_compression = "Deflate"; break;
    default: info.tiff_compression = "TIFF compression " + std::to_string(compression);
  }

  float x_res = 0.0f;
  float y_res = 0.0f;
  uint16_t unit = RESUNIT_INCH;
  TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x_res);
  TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y_res);
  TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
  const double per_inch = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
  info.x_resolution = x_res * per_inch;
  info.y_resolution = y_res * per_inch;
  info.bigtiff = TIFFIsBigTIFF(tif) != 0;

  const uint64_t bytes_per_row = tav::RowBytes(bits, width);
  if (bytes_per_row > kMaxRowBytes) {
    NotTav("rows of " + std::to_string(bytes_per_row) + " bytes, more than the " +
           std::to_string(kMaxRowBytes) + " a TAV file allows");
  }
  row_bytes = static_cast<std::size_t>(bytes_per_row);
  if (TIFFScanlineSize64(tif) != row_bytes) Damaged("unexpected scanline size");
  if (bits == 1 && width % 8 != 0) last_mask = static_cast<uint8_t>(0xFF << (8 - width % 8));
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
  if (rows_per_strip == 0 || rows_per_strip > height) rows_per_strip = height;
  CheckStrips(compression);
}

// Refuses strips that lie outside the file or cannot hold the rows the
// fields declare: a small file claiming a huge page would otherwise have the
// reader decode, and its callers allocate, far more than the file holds.
void TavReader::Impl::CheckStrips(uint16_t compression) {
  const auto height = static_cast<uint32_t>(info.height);
  const uint32_t strips = height / rows_per_strip + (height % rows_per_strip != 0 ? 1 : 0);
  if (TIFFNumberOfStrips(tif) < strips) {
    Damaged(std::to_string(TIFFNumberOfStrips(tif)) + " strips for " + std::to_string(height) +
            " rows of " + std::to_string(rows_per_strip) + " per strip");
  }
  uint64_t ratio = 0;  // raw bytes one stored byte can stand for; 0 unknown
  if (compression == COMPRESSION_NONE) ratio = 1;
  if (compression == COMPRESSION_PACKBITS) ratio = kMaxPackBitsRatio;
  if (compression == COMPRESSION_ADOBE_DEFLATE || compression == COMPRESSION_DEFLATE) {
    ratio = kMaxDeflateRatio;
  }
  struct stat file {};
  if (fstat(TIFFFileno(tif), &file) != 0) Damaged("cannot read the file size");
  const auto file_size = static_cast<uint64_t>(file.st_size);
  for (uint32_t strip = 0; strip < strips; ++strip) {
    // libtiff replaces a byte count it finds implausible by an estimate from
    // the image size: the strip must also lie inside the file.
    int err = 0;
    const uint64_t stored = TIFFGetStrileByteCountWithErr(tif, strip, &err);
    const uint64_t offset = err == 0 ? TIFFGetStrileOffsetWithErr(tif, strip, &err) : 0;
    if (err != 0) Damaged("no place or size for strip " + std::to_string(strip));
    if (offset > file_size || stored > file_size - offset) {
      Damaged("strip " + std::to_string(strip) + " runs past the end of the file");
    }
    if (ratio == 0) continue;
    const uint32_t rows = std::min(rows_per_strip, height - strip * rows_per_strip);
    const uint64_t raw = uint64_t{rows} * row_bytes;
    if (stored < (raw + ratio - 1) / ratio) {
      Damaged("strip " + std::to_string(strip) + " holds " + std::to_string(stored) +
              " bytes, too few for its " + std::to_string(rows) + " rows of " +
              std::to_string(row_bytes) + " bytes");
    }
  }
}

// Decodes one row through libtiff or throws.
void TavReader::Impl::ReadScanline(uint32_t row, uint8_t* out) {
  messages.last_error.clear();
  if (TIFFReadScanline(tif, out, row, 0) < 0) {
    next_row = -1;
    throw std::runtime_error(path + ": cannot read row " + std::to_string(row) + ": " +
                             messages.ErrorAbout(path));
  }
  next_row = int64_t{row} + 1;
}

// Opens path; see tav.h.
TavReader::TavReader(const std::string& path) : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  impl_->Open();
}

TavReader::~TavReader() = default;

const TavInfo& TavReader::Info() const noexcept { return impl_->info; }

const std::vector<TavTag>& TavReader::Tags() const noexcept { return impl_->tags; }

// The first tag called name, or null.
const TavTag* TavReader::FindTag(const std::string& name) const noexcept {
  for (const TavTag& tag : impl_->tags) {
    if (tag.name == name) return &tag;
  }
  return nullptr;
}

std::size_t TavReader::RowBytes() const noexcept { return impl_->row_bytes; }

// Reads one stored row; padding bits past the width come back as 0.
void TavReader::ReadRow(int row, uint8_t* out) {
  Impl& d = *impl_;
  if (row < 0 || row >= d.info.height) {
    throw std::runtime_error(d.path + ": row " + std::to_string(row) + " is outside 0.." +
                             std::to_string(d.info.height - 1));
  }
  // Compressed strips decode from their start only: a row further on is
  // reached by decoding the rows before it, from the strip's first row or
  // from the row the decoder stands at.
  const auto target = static_cast<uint32_t>(row);
  uint32_t from = target - target % d.rows_per_strip;
  if (d.next_row > int64_t{from} && d.next_row <= int64_t{target}) {
    from = static_cast<uint32_t>(d.next_row);
  }
  if (from < target && d.skip.empty()) d.skip.resize(d.row_bytes);
  for (uint32_t r = from; r < target; ++r) d.ReadScanline(r, d.skip.data());
  d.ReadScanline(target, out);
  if (d.info.bits_per_sample == 1) out[d.row_bytes - 1] &= d.last_mask;
}

}  // namespace tav
