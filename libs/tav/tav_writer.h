// tav_writer.h - writes one TAV file: rows packed into strips, tags kept
// until the file is closed.
#ifndef TAV_WRITER_H
#define TAV_WRITER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tav_directory.h"
#include "tav_rowtransform.h"
#include "tav_strips.h"
#include "tav_tiffio.h"

namespace tav {

// What tav_fopenw is given.
struct WriterParams {
  std::string path;
  int format = 0;
  int compression = 0;
  int mode = 0;
  int height = 0;
  int width = 0;
  double width_mm = 0.0;
  double height_mm = 0.0;
};

// One TAV file open for writing. Strips are compressed on worker threads
// (StripPipeline) and written in order on the caller's thread.
class TavWriter {
 public:
  // Checks the parameters, creates the file and sets up its TIFF fields.
  // Returns null with the reason in error on failure.
  static std::unique_ptr<TavWriter> Open(const WriterParams& params, std::string& error);

  ~TavWriter();
  TavWriter(const TavWriter&) = delete;
  TavWriter& operator=(const TavWriter&) = delete;

  // Sets the Deflate level (0: the default) and the worker threads (0: the
  // default, 1: none). Only before the first row. Returns 0 or -1.
  int SetOptions(int deflate_level, int threads);

  // Converts row number row into the strip being filled; a full strip goes
  // to the workers, and the strips they have finished are written. Returns 0
  // or -1; a strip that could not be compressed or written fails the call
  // that finds it. Allocates nothing.
  int PutRow(int row, const void* data);

  // Keeps a tag for the directory written at close. Returns 0 or -1.
  int PutTag(const char* name, int length, const void* value);

  // Writes the tag directory (tav_private_ifd.h), flushes, syncs and closes
  // the file. Returns 0
  // only when every row was written and everything reached the disk; the
  // libtiff handle is released in every case.
  int Close();

  // The reason of the last failure, or an empty text.
  const std::string& LastError() const noexcept { return last_error_; }

 private:
  TavWriter() = default;
  int Fail(std::string message);
  std::string TiffError(const char* what) const;
  std::string RowError(int row) const;
  // Writes the coded strips in order: those already coded, or with wait all
  // of them. row names the row in a failure text. False after a failure.
  bool WriteCoded(bool wait, int row);
  bool MakePipeline(std::string& error);
  bool SetupFields(const WriterParams& params, uint16_t bits, uint16_t compression);
  // Appends the private IFD and the tag directory and points the main IFD's
  // tag at them. Returns the failure text, empty on success.
  std::string StoreDirectory(const std::vector<uint8_t>& directory);

  std::string path_;
  TiffMessages messages_;  // handed to libtiff; lives as long as tif_
  FileIo io_;              // the file's system calls; lives as long as tif_
  TIFF* tif_ = nullptr;
  std::unique_ptr<RowTransform> transform_;
  StripSettings strip_settings_;
  std::unique_ptr<StripPipeline> pipeline_;
  std::size_t row_bytes_ = 0;
  uint32_t height_ = 0;
  uint32_t rows_per_strip_ = 0;
  uint32_t rows_in_strip_ = 0;
  uint32_t next_row_ = 0;
  uint32_t strip_index_ = 0;   // next strip to write
  uint32_t strip_first_row_ = 0;  // first row of that strip
  bool write_failed_ = false;
  std::string write_error_;  // why the failed write failed, kept for later calls
  DirectoryHeader header_;
  DirectoryBuilder directory_;
  std::string last_error_;
};

// Test seam: files opened afterwards by the calling thread are BigTIFF
// whatever their size, so the BigTIFF layout can be tested on small files.
// Not used outside the tests.
TAV_API void ForceBigTiffForTesting(bool on) noexcept;

}  // namespace tav

#endif  // TAV_WRITER_H
