// test_pages.h - generated 1-bit pages for the preview tests, the reference
// reductions they are checked against, and a PNG reader.
#ifndef PNGPREVIEW_TEST_PAGES_H
#define PNGPREVIEW_TEST_PAGES_H

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace pngpreview_test {

// A page held whole, in host rows: pixel x of row y in bit (x % 8) of byte
// x / 8, rows of 4 * ceil(width / 32) bytes. The padding bits past width are
// all set, so a reader that does not mask them shows it.
struct Page {
  int width = 0;
  int height = 0;
  std::size_t stride = 0;
  std::vector<uint8_t> bits;

  bool At(int x, int y) const { return (bits[static_cast<std::size_t>(y) * stride + x / 8] >> (x % 8)) & 1u; }
  const uint32_t* Row(int y) const {
    return reinterpret_cast<const uint32_t*>(bits.data() + static_cast<std::size_t>(y) * stride);
  }
};

// Page from a pixel function.
Page make_page(int width, int height, const std::function<bool(int, int)>& ink);

// An ordered-dither rendering of a smooth tone field with a solid block and
// an empty band: tones from white to black, and structure at every scale.
Page halftone_page(int width, int height);

// Grid cell side for a page, as documented in pngpreview.h.
int grid_factor(int width, int height);

// The documented grid of a page, from its pixels one by one: grey per cell.
std::vector<uint8_t> reference_grid(const Page& page, int& grid_width, int& grid_height);

// Area average of an ink share (0..1 per page pixel) over out_width x
// out_height equal rectangles of a width x height page (page pixels cut where
// the rectangles' edges fall), as grey levels (not rounded).
std::vector<double> reference_box(int width, int height, const std::function<double(int, int)>& ink,
                                  int out_width, int out_height);

// An 8-bit grey PNG read back with libpng. ok is false when it cannot be read
// or is not 8-bit grey.
struct GreyImage {
  bool ok = false;
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
  uint8_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};
GreyImage read_png(const std::filesystem::path& file);

// A fresh folder, removed with its contents at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace pngpreview_test

#endif  // PNGPREVIEW_TEST_PAGES_H
