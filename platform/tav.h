// tav.h - the raster file writer library: TAV files, written and read.
//
// A TAV file is a TIFF file (BigTIFF when the raw image could pass 4 GiB), so
// any TIFF reader shows its pixels. Named tags are kept byte for byte in one
// private TIFF tag; docs/tav-format.md describes the layout in full.
//
// Writing: tav_fopenw, then rows 0, 1, ... height-1 with tav_putrow, tags with
// tav_puttag at any time before tav_fclose. One handle is used by one thread
// (the writer's own worker threads only compress strips).
#ifndef TAV_H
#define TAV_H

#include <stdint.h>

#ifdef __cplusplus
#include <cstddef>
#include <memory>
#include <string>
#include <vector>
extern "C" {
#endif

#define TAV_API __attribute__((visibility("default")))

// Format codes.
enum TavFormat {
  TAV_FORMAT_FW16B = 1,  // 1 bit per pixel
  TAV_FORMAT_FW8B = 2,   // 1 bit per pixel
  TAV_FORMAT_FW88B = 3   // 8 bits per pixel, 0x00 or 0xFF
};

// Compression codes. Code 0 is uncompressed unless the mode carries
// TAV_MODE_RUNLENGTH, which selects PackBits run-length coding.
enum TavCompression {
  TAV_COMPRESS_NONE = 0,
  TAV_COMPRESS_FLATE = 64  // Deflate
};

// Mode flags. Bits other than these are accepted and kept in the file.
enum TavMode {
  TAV_MODE_MIRROR = 0x02,    // rows are mirrored left to right before they are stored
  TAV_MODE_REVERSE = 0x08,   // pixels are inverted (negative) before they are stored
  TAV_MODE_RUNLENGTH = 0x40  // with compression 0: PackBits
};

typedef struct TavFile TavFile;

// Creates (or truncates) the file name and returns a handle open for rows and
// tags; null when the arguments are invalid (format or compression unknown,
// height or width not positive, a row longer than 256 MiB, that is a format 3
// width above 2^28, name longer than 255 bytes) or the file cannot be
// created. width_mm and height_mm give the resolution stored in the file:
// width / (width_mm / 25.4) pixels per inch, and the same vertically.
TAV_API TavFile* tav_fopenw(const char* name, int format, int compression, int mode,
                            int height, int width, double width_mm, double height_mm);

// Sets how the file's strips are compressed; only before the first row.
// deflate_level: 1 (fastest) to 12 (smallest), used with TAV_COMPRESS_FLATE;
// 0 keeps the default, 6. threads: worker threads that compress strips, 1 to
// 64; 1 compresses on the calling thread, 0 keeps the default (the
// processors the process may run on, at most 4). The workers only compress:
// rows are taken and strips are written, in order, by the calling thread,
// and the workers end in tav_fclose. Returns 0, or a negative value when a
// value is out of range or rows were written already (the settings are then
// unchanged).
TAV_API int tav_setoptions(TavFile* file, int deflate_level, int threads);

// Writes row number row (0, 1, 2, ... in order). data holds the row as the
// host delivers it: formats 1 and 2 read ceil(width / 8) bytes of 1-bit pixels,
// pixel j of each byte in bit j (least significant first); format 3 reads
// width bytes. data is not modified. Returns 0, or a negative value when the
// row is out of order, beyond the height, or cannot be written. A full strip
// (about 512 KiB of rows) goes to a worker thread; a strip that could not be
// compressed or written fails the tav_putrow call that finds it (at the
// latest the call of the last row) with the reason in tav_lasterror, and
// every later call. At most 2 strips per worker thread are held at once.
// Allocates nothing: the strip buffers are set up by tav_fopenw.
TAV_API int tav_putrow(TavFile* file, int row, const void* data);

// Adds the tag name (1 to 255 bytes, no zero byte) with length value bytes,
// stored unchanged. A second tag of the same name is kept as well. Returns 0,
// or a negative value when the tag is refused.
TAV_API int tav_puttag(TavFile* file, const char* name, int length, const void* value);

// Completes and closes the file and releases the handle, whatever the result;
// joins the worker threads.
// Returns 0, or a negative value when the file could not be completed: fewer
// rows than its height were written, a row write failed earlier, or the data
// could not be flushed to disk. The file is synced to disk before 0 is
// returned.
TAV_API int tav_fclose(TavFile* file);

// The text of the last failure reported by a tav_ call in the calling thread
// (a refused argument, a libtiff error, a failed write), or an empty text.
// When a write, seek, sync or close of the file failed, the text starts with
// the system's reason in English and says what was being done, e.g. "No space
// left on device (writing row 1048 of /out/.x.tmp)". Valid until the thread's
// next tav_ call.
TAV_API const char* tav_lasterror(void);

#ifdef __cplusplus
}  // extern "C"

namespace tav {

struct TavTag {
  std::string name;
  std::vector<uint8_t> value;
};

// What a TAV file says of itself.
struct TavInfo {
  int width = 0;
  int height = 0;
  int format = 0;          // TavFormat
  int compression = 0;     // TavCompression
  int mode = 0;            // TavMode bits as given to tav_fopenw
  int bits_per_sample = 1; // 1 or 8
  double width_mm = 0.0;
  double height_mm = 0.0;
  double x_resolution = 0.0;  // pixels per inch
  double y_resolution = 0.0;
  bool bigtiff = false;
  std::string tiff_compression;  // "none", "PackBits" or "Deflate"
};

// Reads a TAV file. Rows come back as stored in the file: 1-bit rows as
// ceil(width / 8) bytes with the first pixel in the most significant bit and
// a set bit meaning ink (shown black); 8-bit rows as width bytes, 0xFF = ink.
class TAV_API TavReader {
 public:
  // Throws std::runtime_error with a clear text when the file cannot be opened
  // or is not a TAV file.
  explicit TavReader(const std::string& path);
  ~TavReader();
  TavReader(const TavReader&) = delete;
  TavReader& operator=(const TavReader&) = delete;

  const TavInfo& Info() const noexcept;
  const std::vector<TavTag>& Tags() const noexcept;
  // The first tag called name, or null.
  const TavTag* FindTag(const std::string& name) const noexcept;
  std::size_t RowBytes() const noexcept;
  // Reads row (0 .. height-1) into out, which holds RowBytes() bytes. Rows may
  // be read in any order; reading them in order is fastest. Throws
  // std::runtime_error on a bad row number or a damaged file.
  void ReadRow(int row, uint8_t* out);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tav
#endif  // __cplusplus

#endif  // TAV_H
