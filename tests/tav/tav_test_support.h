// tav_test_support.h - shared helpers of the TAV tests: scratch folders,
// input rows, an independent model of the stored pixels, an independent
// encoder of the tag directory, and running programs.
#ifndef TAV_TEST_SUPPORT_H
#define TAV_TEST_SUPPORT_H

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tav.h"

typedef struct tiff TIFF;

namespace tavtest {

using Bytes = std::vector<uint8_t>;

// A scratch folder removed with its content at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

// Opens a TIFF through plain libtiff without printing its messages.
TIFF* OpenTiffQuietly(const std::string& path, const char* mode);

// Bits per pixel of a format code (1 or 8).
int Bits(int format);

// Bytes of one row for format and width.
std::size_t InputRowBytes(int format, int width);

// Random input rows as the host delivers them: 1-bit rows least significant
// bit first with random padding bits, 8-bit rows of 0x00 and 0xFF.
std::vector<Bytes> RandomRows(int format, int width, int height, uint32_t seed);

// The row the file must hold for input row in, computed pixel by pixel:
// most significant bit first, 1 = ink, padding zero, mirror and reverse
// applied as the mode says.
Bytes ExpectedStoredRow(const Bytes& in, int format, int width, int mode);

// Pixel x (0 or 1 = ink) of a stored row.
int StoredInk(const Bytes& stored, int format, int x);

// A tag to write.
struct TagInput {
  std::string name;
  Bytes value;
};

// Writes a whole file through the C functions: tags_before, rows, tags_after.
// Returns tav_fclose's result, or -100 when tav_fopenw failed and -200 when a
// row or tag call failed.
int WriteTav(const std::string& path, int format, int compression, int mode, int width,
             const std::vector<Bytes>& rows, double width_mm, double height_mm,
             const std::vector<TagInput>& tags_before = {},
             const std::vector<TagInput>& tags_after = {});

// Directory bytes laid out as docs/tav-format.md describes, written
// independently of the library.
Bytes EncodeDirectory(int32_t format, int32_t compression, int32_t mode, double width_mm,
                      double height_mm, const std::vector<TagInput>& tags);

// Writes a small TIFF (1-bit or 8-bit, min-is-white, uncompressed, all
// pixels zero) through plain libtiff. With with_tag, tag 65342 holds
// directory, stored with TIFF type tiff_type (7 = UNDEFINED).
void WritePlainTiff(const std::string& path, int width, int height, int bits, bool with_tag,
                    const Bytes& directory = {}, int tiff_type = 7);

// Writes through plain libtiff a TIFF with a valid TAV directory for format
// (1 or 3) whose fields claim width x height pixels in strips of
// rows_per_strip rows, TIFF compression tiff_compression, and whose strips
// hold exactly the bytes of strips (a hostile file when they are too few).
void WriteRawStripTiff(const std::string& path, uint32_t width, uint32_t height, int format,
                       int tiff_compression, uint32_t rows_per_strip,
                       const std::vector<Bytes>& strips);

// The bytes of the TAV tag directory read through plain libtiff, in either
// layout: from the private IFD that tag 65342 points to, or from the tag
// itself. Empty when there is none.
Bytes ReadDirectoryTagWithLibtiff(const std::string& path);

// The offset of the private IFD that tag 65342 points to, read through plain
// libtiff; 0 when the tag holds no IFD offset.
uint64_t PrivateIfdOffset(const std::string& path);

// Copies the TAV file source to copy with the tag directory in the first
// layout, as files were written before the private IFD: the directory bytes
// as the value of tag 65342 (UNDEFINED) in the main IFD. Fields, strips and
// TIFF form (BigTIFF or not) stay as they are.
void WriteFirstLayoutCopy(const std::string& source, const std::string& copy);

// Whole content of a file.
Bytes ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const Bytes& bytes);

// Runs a shell command; returns its exit status (-1 when it did not exit
// normally) and its standard output in out.
int RunCommand(const std::string& command, std::string* out = nullptr);

// Text as a single-quoted shell word.
std::string Quote(const std::string& text);

}  // namespace tavtest

#endif  // TAV_TEST_SUPPORT_H
