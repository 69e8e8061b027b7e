// tav_test_support.cpp - helpers of the TAV tests.
#include "tav_test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tavtest {
namespace {

constexpr uint32_t kDirectoryTag = 65342;

// Swallows libtiff messages of the test's own handles.
int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

void PutLe(Bytes& out, uint64_t v, int size) {
  for (int i = 0; i < size; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

TIFF* OpenTiffQuietly(const std::string& path, const char* mode) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
  TIFF* tif = TIFFOpenExt(path.c_str(), mode, options);
  TIFFOpenOptionsFree(options);
  return tif;
}

TempDir::TempDir() {
  std::string pattern = ::testing::TempDir() + "tavtest_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  dir_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

int Bits(int format) { return format == 3 ? 8 : 1; }

std::size_t InputRowBytes(int format, int width) {
  return Bits(format) == 8 ? static_cast<std::size_t>(width)
                           : (static_cast<std::size_t>(width) + 7) / 8;
}

std::vector<Bytes> RandomRows(int format, int width, int height, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<Bytes> rows(height, Bytes(InputRowBytes(format, width)));
  for (Bytes& row : rows) {
    for (uint8_t& b : row) {
      b = Bits(format) == 8 ? ((rng() & 1) ? 0xFF : 0x00) : static_cast<uint8_t>(rng());
    }
  }
  return rows;
}

Bytes ExpectedStoredRow(const Bytes& in, int format, int width, int mode) {
  const bool mirror = (mode & 0x02) != 0;
  const bool reverse = (mode & 0x08) != 0;
  Bytes out(InputRowBytes(format, width), 0);
  for (int x = 0; x < width; ++x) {
    const int src = mirror ? width - 1 - x : x;
    if (Bits(format) == 8) {
      out[x] = static_cast<uint8_t>(in[src] ^ (reverse ? 0xFF : 0x00));
    } else {
      int ink = (in[src / 8] >> (src % 8)) & 1;  // input: pixel j in bit j
      if (reverse) ink ^= 1;
      if (ink) out[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));  // stored: MSB first
    }
  }
  return out;
}

int StoredInk(const Bytes& stored, int format, int x) {
  if (Bits(format) == 8) return stored[x] >= 128 ? 1 : 0;
  return (stored[x / 8] >> (7 - x % 8)) & 1;
}

int WriteTav(const std::string& path, int format, int compression, int mode, int width,
             const std::vector<Bytes>& rows, double width_mm, double height_mm,
             const std::vector<TagInput>& tags_before, const std::vector<TagInput>& tags_after) {
  TavFile* f = tav_fopenw(path.c_str(), format, compression, mode, static_cast<int>(rows.size()),
                          width, width_mm, height_mm);
  if (f == nullptr) return -100;
  bool failed = false;
  for (const TagInput& t : tags_before) {
    failed |= tav_puttag(f, t.name.c_str(), static_cast<int>(t.value.size()), t.value.data()) != 0;
  }
  for (std::size_t y = 0; y < rows.size(); ++y) {
    failed |= tav_putrow(f, static_cast<int>(y), rows[y].data()) != 0;
  }
  for (const TagInput& t : tags_after) {
    failed |= tav_puttag(f, t.name.c_str(), static_cast<int>(t.value.size()), t.value.data()) != 0;
  }
  const int result = tav_fclose(f);
  return failed ? -200 : result;
}

Bytes EncodeDirectory(int32_t format, int32_t compression, int32_t mode, double width_mm,
                      double height_mm, const std::vector<TagInput>& tags) {
  Bytes out = {'T', 'A', 'V', 'D'};
  PutLe(out, 1, 2);
  PutLe(out, 40, 2);
  PutLe(out, static_cast<uint32_t>(format), 4);
  PutLe(out, static_cast<uint32_t>(compression), 4);
  PutLe(out, static_cast<uint32_t>(mode), 4);
  PutLe(out, tags.size(), 4);
  uint64_t bits = 0;
  std::memcpy(&bits, &width_mm, 8);
  PutLe(out, bits, 8);
  std::memcpy(&bits, &height_mm, 8);
  PutLe(out, bits, 8);
  for (const TagInput& t : tags) {
    PutLe(out, t.name.size(), 2);
    PutLe(out, t.value.size(), 4);
    out.insert(out.end(), t.name.begin(), t.name.end());
    out.insert(out.end(), t.value.begin(), t.value.end());
  }
  return out;
}

void WritePlainTiff(const std::string& path, int width, int height, int bits, bool with_tag,
                    const Bytes& directory, int tiff_type) {
  TIFF* tif = OpenTiffQuietly(path, "w");
  ASSERT_NE(tif, nullptr);
  static char name[] = "TestDirectory";
  const TIFFFieldInfo info[] = {{kDirectoryTag, TIFF_VARIABLE2, TIFF_VARIABLE2,
                                 static_cast<TIFFDataType>(tiff_type), FIELD_CUSTOM, 1, 1, name}};
  ASSERT_EQ(TIFFMergeFieldInfo(tif, info, 1), 0);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(height));
  if (with_tag) {
    // A value count of 2-byte items when the tag is typed SHORT.
    const uint32_t count = static_cast<uint32_t>(tiff_type == TIFF_SHORT ? directory.size() / 2
                                                                         : directory.size());
    TIFFSetField(tif, kDirectoryTag, count, directory.data());
  }
  Bytes strip(static_cast<std::size_t>(height) * (bits == 8 ? width : (width + 7) / 8), 0);
  ASSERT_GE(TIFFWriteEncodedStrip(tif, 0, strip.data(), static_cast<tmsize_t>(strip.size())), 0);
  TIFFClose(tif);
}

void WriteRawStripTiff(const std::string& path, uint32_t width, uint32_t height, int format,
                       int tiff_compression, uint32_t rows_per_strip,
                       const std::vector<Bytes>& strips) {
  TIFF* tif = OpenTiffQuietly(path, "w");
  ASSERT_NE(tif, nullptr);
  static char name[] = "TestDirectory";
  const TIFFFieldInfo info[] = {
      {kDirectoryTag, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_UNDEFINED, FIELD_CUSTOM, 1, 1, name}};
  ASSERT_EQ(TIFFMergeFieldInfo(tif, info, 1), 0);
  const Bytes directory = EncodeDirectory(format, 0, 0, 1.0, 1.0, {});
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, Bits(format));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, tiff_compression);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows_per_strip);
  TIFFSetField(tif, kDirectoryTag, static_cast<uint32_t>(directory.size()), directory.data());
  for (std::size_t i = 0; i < strips.size(); ++i) {
    Bytes data = strips[i];  // libtiff takes a non-const buffer
    ASSERT_EQ(TIFFWriteRawStrip(tif, static_cast<uint32_t>(i), data.data(),
                                static_cast<tmsize_t>(data.size())),
              static_cast<tmsize_t>(data.size()));
  }
  ASSERT_EQ(TIFFWriteDirectory(tif), 1);
  TIFFClose(tif);
}

namespace {

// The bytes of tag 65342 of the handle's current directory when it is a
// byte array.
Bytes TagBytes(TIFF* tif) {
  uint32_t count = 0;
  void* data = nullptr;
  if (TIFFGetField(tif, kDirectoryTag, &count, &data) != 1 || data == nullptr) return {};
  const auto* p = static_cast<const uint8_t*>(data);
  return Bytes(p, p + count);
}

// The offset held by tag 65342 of the main IFD when it has an IFD or LONG
// type, else 0. libtiff hands unknown IFD and LONG8 tags out as 64-bit
// values, LONG tags as 32-bit ones.
uint64_t TagIfdOffset(TIFF* tif) {
  const TIFFField* field = TIFFFindField(tif, kDirectoryTag, TIFF_ANY);
  if (field == nullptr) return 0;
  const int type = static_cast<int>(TIFFFieldDataType(field));
  if (type != TIFF_IFD && type != TIFF_IFD8 && type != TIFF_LONG && type != TIFF_LONG8) return 0;
  uint32_t count = 0;
  void* data = nullptr;
  if (TIFFGetField(tif, kDirectoryTag, &count, &data) != 1 || count != 1) return 0;
  if (TIFFFieldSetGetSize(field) == 4) return *static_cast<const uint32_t*>(data);
  return *static_cast<const uint64_t*>(data);
}

}  // namespace

uint64_t PrivateIfdOffset(const std::string& path) {
  TIFF* tif = OpenTiffQuietly(path, "r");
  if (tif == nullptr) return 0;
  const uint64_t offset = TagIfdOffset(tif);
  TIFFClose(tif);
  return offset;
}

Bytes ReadDirectoryTagWithLibtiff(const std::string& path) {
  TIFF* tif = OpenTiffQuietly(path, "r");
  if (tif == nullptr) return {};
  Bytes out;
  if (const uint64_t offset = TagIfdOffset(tif); offset != 0) {
    // libtiff reads any IFD with a field list of its own; tag 65342 is no
    // EXIF tag, so it comes back as the unknown tag it is.
    if (TIFFReadEXIFDirectory(tif, offset)) out = TagBytes(tif);
  } else {
    out = TagBytes(tif);
  }
  TIFFClose(tif);
  return out;
}

void WriteFirstLayoutCopy(const std::string& source, const std::string& copy) {
  TIFF* in = OpenTiffQuietly(source, "r");
  ASSERT_NE(in, nullptr);
  const Bytes directory = ReadDirectoryTagWithLibtiff(source);
  ASSERT_FALSE(directory.empty());
  TIFF* out = OpenTiffQuietly(copy, TIFFIsBigTIFF(in) ? "w8" : "w");
  ASSERT_NE(out, nullptr);
  static char name[] = "TestDirectory";
  const TIFFFieldInfo info[] = {
      {kDirectoryTag, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_UNDEFINED, FIELD_CUSTOM, 1, 1, name}};
  ASSERT_EQ(TIFFMergeFieldInfo(out, info, 1), 0);
  for (const uint32_t tag : {TIFFTAG_IMAGEWIDTH, TIFFTAG_IMAGELENGTH, TIFFTAG_ROWSPERSTRIP}) {
    uint32_t v = 0;
    ASSERT_TRUE(TIFFGetField(in, tag, &v));
    TIFFSetField(out, tag, v);
  }
  for (const uint32_t tag : {TIFFTAG_BITSPERSAMPLE, TIFFTAG_SAMPLESPERPIXEL, TIFFTAG_COMPRESSION,
                             TIFFTAG_PHOTOMETRIC, TIFFTAG_FILLORDER, TIFFTAG_PLANARCONFIG,
                             TIFFTAG_ORIENTATION, TIFFTAG_RESOLUTIONUNIT}) {
    uint16_t v = 0;
    ASSERT_TRUE(TIFFGetField(in, tag, &v)) << tag;
    TIFFSetField(out, tag, v);
  }
  for (const uint32_t tag : {TIFFTAG_XRESOLUTION, TIFFTAG_YRESOLUTION}) {
    float v = 0;
    ASSERT_TRUE(TIFFGetField(in, tag, &v));
    TIFFSetField(out, tag, v);
  }
  TIFFSetField(out, TIFFTAG_SOFTWARE, "dravtav");
  TIFFSetField(out, kDirectoryTag, static_cast<uint32_t>(directory.size()), directory.data());
  for (uint32_t strip = 0; strip < TIFFNumberOfStrips(in); ++strip) {
    Bytes data(TIFFGetStrileByteCount(in, strip));
    ASSERT_EQ(TIFFReadRawStrip(in, strip, data.data(), static_cast<tmsize_t>(data.size())),
              static_cast<tmsize_t>(data.size()));
    ASSERT_EQ(TIFFWriteRawStrip(out, strip, data.data(), static_cast<tmsize_t>(data.size())),
              static_cast<tmsize_t>(data.size()));
  }
  ASSERT_EQ(TIFFWriteDirectory(out), 1);
  TIFFClose(out);
  TIFFClose(in);
}

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int RunCommand(const std::string& command, std::string* out) {
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
  const int status = pclose(pipe);
  if (out != nullptr) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

}  // namespace tavtest
