// tav_writer.cpp - the TAV file writer: TIFF fields, strips, tag directory,
// and a close that reports every failure.
#include "tav_writer.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>

#include "tav.h"
#include "tav_layout.h"
#include "tav_private_ifd.h"

namespace tav {
namespace {

// TIFF compression scheme for a TAV compression code and mode, or 0 when the
// code is unknown.
uint16_t TiffCompression(int compression, int mode) {
  if (compression == TAV_COMPRESS_FLATE) return COMPRESSION_ADOBE_DEFLATE;
  if (compression == TAV_COMPRESS_NONE) {
    return (mode & TAV_MODE_RUNLENGTH) ? COMPRESSION_PACKBITS : COMPRESSION_NONE;
  }
  return 0;
}

// How the strips of a TIFF compression scheme are coded.
StripCoding CodingOf(uint16_t compression) {
  if (compression == COMPRESSION_ADOBE_DEFLATE) return StripCoding::kDeflate;
  if (compression == COMPRESSION_PACKBITS) return StripCoding::kPackBits;
  return StripCoding::kNone;
}

// True for a finite value above zero.
bool Positive(double v) { return std::isfinite(v) && v > 0.0; }

// Set by the test seam: files of this thread are BigTIFF whatever their size.
thread_local bool t_force_bigtiff = false;

}  // namespace

void ForceBigTiffForTesting(bool on) noexcept { t_force_bigtiff = on; }

// Validates the parameters and creates the file.
std::unique_ptr<TavWriter> TavWriter::Open(const WriterParams& p, std::string& error) {
  if (p.path.empty()) {
    error = "the file name is empty";
    return nullptr;
  }
  if (p.path.size() > kMaxNameBytes) {
    error = "the file name is longer than 255 bytes";
    return nullptr;
  }
  const int bits = BitsPerPixel(p.format);
  if (bits == 0) {
    error = "unknown format code " + std::to_string(p.format);
    return nullptr;
  }
  const uint16_t compression = TiffCompression(p.compression, p.mode);
  if (compression == 0) {
    error = "unknown compression code " + std::to_string(p.compression);
    return nullptr;
  }
  if (p.height <= 0 || p.width <= 0) {
    error = "the page size " + std::to_string(p.width) + " x " + std::to_string(p.height) +
            " pixels is not positive";
    return nullptr;
  }
  if (!Positive(p.width_mm) || !Positive(p.height_mm) ||
      !Positive(p.width / (p.width_mm / 25.4)) || !Positive(p.height / (p.height_mm / 25.4))) {
    error = "the page size in millimetres is not a positive number";
    return nullptr;
  }

  const uint64_t row_bytes = RowBytes(bits, static_cast<uint32_t>(p.width));
  if (row_bytes > kMaxRowBytes) {
    error = "the page width " + std::to_string(p.width) + " gives rows of " +
            std::to_string(row_bytes) + " bytes, more than the " + std::to_string(kMaxRowBytes) +
            " a TAV file allows";
    return nullptr;
  }

  std::unique_ptr<TavWriter> w(new TavWriter());
  w->path_ = p.path;
  w->height_ = static_cast<uint32_t>(p.height);
  w->row_bytes_ = static_cast<std::size_t>(row_bytes);
  w->rows_per_strip_ = RowsPerStrip(row_bytes, w->height_);
  w->transform_ = std::make_unique<RowTransform>(bits, static_cast<uint32_t>(p.width),
                                                 (p.mode & TAV_MODE_MIRROR) != 0,
                                                 (p.mode & TAV_MODE_REVERSE) != 0);
  w->strip_settings_.coding = CodingOf(compression);
  w->strip_settings_.level = kDefaultDeflateLevel;
  w->strip_settings_.threads = DefaultThreads();
  w->strip_settings_.row_bytes = w->row_bytes_;
  w->strip_settings_.rows_per_strip = w->rows_per_strip_;
  if (!w->MakePipeline(error)) return nullptr;
  w->header_ = DirectoryHeader{p.format, p.compression, p.mode, p.width_mm, p.height_mm};

  const bool bigtiff = t_force_bigtiff || NeedsBigTiff(row_bytes * w->height_);
  w->tif_ = CreateTiff(p.path.c_str(), bigtiff ? "w8" : "w", w->io_, w->messages_);
  if (w->tif_ == nullptr) {
    // A header that could not be written names the system's reason first.
    if (w->io_.error != 0 && std::strcmp(w->io_.doing, "creating") != 0) {
      error = w->io_.Describe(p.path);
    } else {
      error = p.path + ": cannot create: " + w->messages_.ErrorAbout(p.path);
    }
    return nullptr;
  }
  if (!DefineDirectoryTag(w->tif_)) {
    error = p.path + ": cannot define the TAV directory tag";
    return nullptr;  // the destructor closes the handle
  }
  if (!w->SetupFields(p, static_cast<uint16_t>(bits), compression)) {
    error = w->TiffError("cannot set up the TIFF fields");
    return nullptr;
  }
  return w;
}

// Joins the workers and releases the libtiff handle when Close was never
// called.
TavWriter::~TavWriter() {
  pipeline_.reset();
  if (tif_ != nullptr) TIFFClose(tif_);
}

// Sets up the strip buffers and workers for strip_settings_.
bool TavWriter::MakePipeline(std::string& error) {
  pipeline_.reset();  // joins the old workers before new ones start
  pipeline_ = StripPipeline::Create(strip_settings_, error);
  return pipeline_ != nullptr;
}

// Takes the writer's settings before the first row.
int TavWriter::SetOptions(int deflate_level, int threads) {
  if (tif_ == nullptr) return Fail(path_ + ": already closed");
  if (next_row_ != 0) {
    return Fail(path_ + ": the writer's settings can only change before the first row");
  }
  if (deflate_level != 0 && (deflate_level < kMinDeflateLevel || deflate_level > kMaxDeflateLevel)) {
    return Fail(path_ + ": Deflate level " + std::to_string(deflate_level) + " is not within " +
                std::to_string(kMinDeflateLevel) + " to " + std::to_string(kMaxDeflateLevel));
  }
  if (threads < 0 || threads > kMaxThreads) {
    return Fail(path_ + ": " + std::to_string(threads) + " threads is not within 0 to " +
                std::to_string(kMaxThreads));
  }
  const int level = deflate_level == 0 ? kDefaultDeflateLevel : deflate_level;
  const int workers = threads == 0 ? DefaultThreads() : threads;
  if (level == strip_settings_.level && workers == strip_settings_.threads) return 0;
  strip_settings_.level = level;
  strip_settings_.threads = workers;
  std::string error;
  if (!MakePipeline(error)) {
    // Keep a working writer: one strip, no workers.
    strip_settings_.threads = 1;
    std::string fallback_error;
    if (!MakePipeline(fallback_error)) {
      write_failed_ = true;
      write_error_ = path_ + ": " + fallback_error;
    }
    return Fail(path_ + ": " + error);
  }
  return 0;
}

// Sets the TIFF fields that describe the image.
bool TavWriter::SetupFields(const WriterParams& p, uint16_t bits, uint16_t compression) {
  const double x_res = p.width / (p.width_mm / 25.4);
  const double y_res = p.height / (p.height_mm / 25.4);
  TIFF* t = tif_;
  return TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(p.width)) &&
         TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(p.height)) &&
         TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits) &&
         TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t{1}) &&
         TIFFSetField(t, TIFFTAG_COMPRESSION, compression) &&
         TIFFSetField(t, TIFFTAG_PHOTOMETRIC, uint16_t{PHOTOMETRIC_MINISWHITE}) &&
         TIFFSetField(t, TIFFTAG_FILLORDER, uint16_t{FILLORDER_MSB2LSB}) &&
         TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t{PLANARCONFIG_CONTIG}) &&
         TIFFSetField(t, TIFFTAG_ORIENTATION, uint16_t{ORIENTATION_TOPLEFT}) &&
         TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rows_per_strip_) &&
         TIFFSetField(t, TIFFTAG_XRESOLUTION, x_res) &&
         TIFFSetField(t, TIFFTAG_YRESOLUTION, y_res) &&
         TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, uint16_t{RESUNIT_INCH}) &&
         TIFFSetField(t, TIFFTAG_SOFTWARE, "dravtav");
}

// Keeps message as the last error and returns -1.
int TavWriter::Fail(std::string message) {
  last_error_ = std::move(message);
  return -1;
}

// "path: what: libtiff's text" for a failed libtiff call.
std::string TavWriter::TiffError(const char* what) const {
  std::string text = path_ + ": " + what;
  if (!messages_.last_error.empty()) text += ": " + messages_.ErrorAbout(path_);
  return text;
}

// Why writing the strip that ends with row failed: the system's reason
// first when a system call failed, else libtiff's text.
std::string TavWriter::RowError(int row) const {
  if (io_.error == 0) return TiffError(("cannot write row " + std::to_string(row)).c_str());
  const std::string row_text = "row " + std::to_string(row);
  if (std::strcmp(io_.doing, "writing") == 0) return io_.Describe(row_text + " of " + path_);
  return io_.Describe(path_ + ", " + row_text);
}

// Converts the next row into the strip buffer; writes full strips.
int TavWriter::PutRow(int row, const void* data) {
  if (data == nullptr) return Fail(path_ + ": row " + std::to_string(row) + " has no data");
  if (write_failed_) {
    return Fail(write_error_ + "; row " + std::to_string(row) + " refused after that");
  }
  if (row < 0 || static_cast<uint32_t>(row) >= height_) {
    return Fail(path_ + ": row " + std::to_string(row) + " is outside the page height " +
                std::to_string(height_));
  }
  if (static_cast<uint32_t>(row) != next_row_) {
    return Fail(path_ + ": row " + std::to_string(row) + " out of order, expected row " +
                std::to_string(next_row_));
  }
  transform_->Apply(static_cast<const uint8_t*>(data),
                    pipeline_->FillBuffer() + std::size_t{rows_in_strip_} * row_bytes_);
  ++rows_in_strip_;
  ++next_row_;
  if (rows_in_strip_ == rows_per_strip_ || next_row_ == height_) {
    pipeline_->Submit(rows_in_strip_, IoFailureInjected(IoCall::kCompress));
    rows_in_strip_ = 0;
    // The last row waits for every strip, so its call reports any failure;
    // a full ring waits for its oldest strip, so memory stays bounded.
    if (!WriteCoded(next_row_ == height_, row)) return Fail(write_error_);
  }
  return 0;
}

// Writes coded strips in order as raw strips; keeps the first failure.
bool TavWriter::WriteCoded(bool wait, int row) {
  CodedStrip strip;
  while (pipeline_->Oldest(wait || pipeline_->Full(), strip)) {
    const uint32_t first = strip_first_row_;
    const uint32_t last = first + strip.rows - 1;
    if (strip.failure != nullptr) {
      write_failed_ = true;
      write_error_ = path_ + ": cannot compress rows " + std::to_string(first) + " to " +
                     std::to_string(last) + ": " + strip.failure;
      return false;
    }
    io_.error = 0;
    const tmsize_t size = static_cast<tmsize_t>(strip.size);
    // libtiff only reads from the buffer it is given.
    const tmsize_t written =
        TIFFWriteRawStrip(tif_, strip_index_, const_cast<uint8_t*>(strip.data), size);
    if (written != size) {
      write_failed_ = true;
      write_error_ = RowError(row >= 0 ? row : static_cast<int>(last));
      return false;
    }
    pipeline_->ReleaseOldest();
    ++strip_index_;
    strip_first_row_ = last + 1;
  }
  return true;
}

// Checks the tag and adds it to the directory.
int TavWriter::PutTag(const char* name, int length, const void* value) {
  if (name == nullptr) return Fail(path_ + ": a tag has no name");
  const std::size_t name_len = strnlen(name, kMaxNameBytes + 1);
  if (name_len == 0 || name_len > kMaxNameBytes) {
    return Fail(path_ + ": a tag name must have 1 to 255 bytes");
  }
  const std::string_view tag_name(name, name_len);
  if (length < 0 || (length > 0 && value == nullptr)) {
    return Fail(path_ + ": tag " + std::string(tag_name) + " has an invalid length " +
                std::to_string(length));
  }
  if (!directory_.Add(tag_name, static_cast<const uint8_t*>(value),
                      static_cast<std::size_t>(length))) {
    return Fail(path_ + ": tag " + std::string(tag_name) + " refused: the tags would pass " +
                std::to_string(kMaxDirectoryBytes) + " bytes");
  }
  return 0;
}

// The private IFD goes on a word boundary after the last strip, the directory
// bytes right after it; the main IFD, written by libtiff at the flush, comes
// last and holds the private IFD's offset.
std::string TavWriter::StoreDirectory(const std::vector<uint8_t>& directory) {
  const IfdForm form{TIFFIsBigTIFF(tif_) != 0, TIFFIsBigEndian(tif_) != 0};
  io_.error = 0;
  uint64_t end = 0;
  if (!SeekToEnd(io_, end)) return io_.Describe(path_);
  const uint64_t at = end + (end & 1);
  std::vector<uint8_t> ifd = EncodePrivateIfd(form, at, directory.size());
  if (ifd.empty()) {
    return path_ + ": the tag directory of " + std::to_string(directory.size()) +
           " bytes does not fit below the 4 GiB a TIFF file can address";
  }
  if (at != end) ifd.insert(ifd.begin(), uint8_t{0});
  if (!WriteToFile(io_, ifd.data(), ifd.size()) ||
      !WriteToFile(io_, directory.data(), directory.size())) {
    return io_.Describe(path_);
  }
  if (!TIFFSetField(tif_, kDirectoryTiffTag, at)) {
    return TiffError("cannot store the tag directory");
  }
  return {};
}

// Completes the file; see the header for what a 0 result guarantees.
int TavWriter::Close() {
  if (tif_ == nullptr) return Fail(path_ + ": already closed");
  std::string reason;
  if (next_row_ < height_) {
    reason = path_ + ": only " + std::to_string(next_row_) + " of " + std::to_string(height_) +
             " rows were written";
  }
  // Strips still with the workers are written; after a failure they are
  // dropped. Either way the workers end here.
  if (!write_failed_ && pipeline_ != nullptr) WriteCoded(true, -1);
  pipeline_.reset();
  // A failed write is the cause; it stays in front.
  if (write_failed_) reason = write_error_ + (reason.empty() ? "" : "; " + reason);
  bool ok = reason.empty();

  // Even an incomplete file gets its directory, so it can be inspected.
  std::vector<uint8_t> directory;
  try {
    directory = directory_.Finish(header_);
  } catch (const std::bad_alloc&) {
    if (ok) reason = path_ + ": out of memory for the tag directory";
    ok = false;
  }
  if (!directory.empty()) {
    std::string failure = StoreDirectory(directory);
    if (!failure.empty()) {
      if (ok) reason = std::move(failure);
      ok = false;
    }
    std::vector<uint8_t>().swap(directory);  // not held while the file is flushed
  }
  io_.error = 0;
  if (!TIFFFlush(tif_)) {
    if (ok) reason = io_.error != 0 ? io_.Describe(path_) : TiffError("cannot write the file");
    ok = false;
  }
  if (ok) {
    // Files that cannot be synced (pipes, some special file systems) are
    // taken as they are.
    const int err = SyncFile(io_);
    if (err == EINVAL || err == EROFS) {
      io_.error = 0;
    } else if (err != 0) {
      reason = io_.Describe(path_ + " to disk");
      ok = false;
    }
  }
  // The close itself may fail, e.g. on a network file system out of space.
  TIFFClose(tif_);
  tif_ = nullptr;
  if (ok && io_.error != 0) {
    reason = io_.Describe(path_);
    ok = false;
  }
  if (ok && messages_.error_seen) {
    reason = TiffError("cannot write the file");
    ok = false;
  }
  return ok ? 0 : Fail(std::move(reason));
}

}  // namespace tav
