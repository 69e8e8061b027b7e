// test_pages.cpp - generated pages, reference reductions, PNG reading.
#include "test_pages.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace pngpreview_test {

Page make_page(int width, int height, const std::function<bool(int, int)>& ink) {
  Page page;
  page.width = width;
  page.height = height;
  page.stride = 4 * ((static_cast<std::size_t>(width) + 31) / 32);
  page.bits.assign(page.stride * height, 0);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = page.bits.data() + static_cast<std::size_t>(y) * page.stride;
    for (int x = 0; x < width; ++x) {
      if (ink(x, y)) row[x / 8] |= static_cast<uint8_t>(1u << (x % 8));
    }
    for (std::size_t x = width; x < 8 * page.stride; ++x) row[x / 8] |= static_cast<uint8_t>(1u << (x % 8));
  }
  return page;
}

Page halftone_page(int width, int height) {
  static const int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  // tone = 0.5 + 0.35 sin(6x/w) cos(5y/h) + 0.15 sin(k(x+y)), the last term
  // by the sum formula so the sines are taken once per column and row.
  const double k = 11.0 / (width + height);
  std::vector<double> sx(width), skx(width), ckx(width);
  for (int x = 0; x < width; ++x) {
    sx[x] = std::sin(6.0 * x / width);
    skx[x] = std::sin(k * x);
    ckx[x] = std::cos(k * x);
  }
  Page page = make_page(width, height, [](int, int) { return false; });
  for (int y = 0; y < height; ++y) {
    const double cy = std::cos(5.0 * y / height), sky = std::sin(k * y), cky = std::cos(k * y);
    uint8_t* row = page.bits.data() + static_cast<std::size_t>(y) * page.stride;
    const bool band = y >= height / 2 && y < height / 2 + height / 16;  // empty band
    for (int x = 0; x < width && !band; ++x) {
      const double tone = 0.5 + 0.35 * sx[x] * cy + 0.15 * (skx[x] * cky + ckx[x] * sky);
      const bool solid = x < width / 8 && y < height / 8;  // solid block, top left
      if (solid || (kBayer[y % 4][x % 4] + 0.5) / 16.0 < tone) row[x / 8] |= static_cast<uint8_t>(1u << (x % 8));
    }
  }
  return page;
}

int grid_factor(int width, int height) { return (std::max(width, height) + 4095) / 4096; }

std::vector<uint8_t> reference_grid(const Page& page, int& grid_width, int& grid_height) {
  const int f = grid_factor(page.width, page.height);
  grid_width = (page.width + f - 1) / f;
  grid_height = (page.height + f - 1) / f;
  std::vector<uint64_t> count(static_cast<std::size_t>(grid_width) * grid_height, 0);
  for (int y = 0; y < page.height; ++y) {
    for (int x = 0; x < page.width; ++x) {
      if (page.At(x, y)) ++count[static_cast<std::size_t>(y / f) * grid_width + x / f];
    }
  }
  std::vector<uint8_t> grey(count.size());
  for (int gy = 0; gy < grid_height; ++gy) {
    for (int gx = 0; gx < grid_width; ++gx) {
      const double area = static_cast<double>(std::min(f, page.width - gx * f)) * std::min(f, page.height - gy * f);
      const std::size_t i = static_cast<std::size_t>(gy) * grid_width + gx;
      grey[i] = static_cast<uint8_t>(std::lround(255.0 * (1.0 - count[i] / area)));
    }
  }
  return grey;
}

namespace {

// For page pixel p of n, the output cell it starts in and the share of the
// pixel's length that lies in that cell (the rest goes to the next one).
struct Cut {
  int cell;
  double share;
};
std::vector<Cut> cuts(int n, int out) {
  std::vector<Cut> result(n);
  for (int p = 0; p < n; ++p) {
    const double lo = static_cast<double>(p) * out / n;
    const double hi = static_cast<double>(p + 1) * out / n;
    const int cell = static_cast<int>(std::floor(lo));
    const double edge = cell + 1.0;
    result[p] = {cell, hi <= edge ? 1.0 : (edge - lo) / (hi - lo)};
  }
  return result;
}

}  // namespace

std::vector<double> reference_box(int width, int height, const std::function<double(int, int)>& ink_at,
                                  int out_width, int out_height) {
  const std::vector<Cut> xs = cuts(width, out_width);
  const std::vector<Cut> ys = cuts(height, out_height);
  std::vector<double> ink(static_cast<std::size_t>(out_width) * out_height, 0.0);
  std::vector<double> row(out_width);
  for (int y = 0; y < height; ++y) {
    std::fill(row.begin(), row.end(), 0.0);
    for (int x = 0; x < width; ++x) {
      const double v = ink_at(x, y);
      if (v == 0.0) continue;
      row[xs[x].cell] += v * xs[x].share;
      if (xs[x].share < 1.0) row[xs[x].cell + 1] += v * (1.0 - xs[x].share);
    }
    for (int ox = 0; ox < out_width; ++ox) {
      ink[static_cast<std::size_t>(ys[y].cell) * out_width + ox] += ys[y].share * row[ox];
      if (ys[y].share < 1.0) ink[static_cast<std::size_t>(ys[y].cell + 1) * out_width + ox] += (1.0 - ys[y].share) * row[ox];
    }
  }
  const double area = static_cast<double>(width) / out_width * height / out_height;
  for (double& v : ink) v = 255.0 * (1.0 - v / area);
  return ink;
}

GreyImage read_png(const std::filesystem::path& file) {
  GreyImage image;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, file.c_str())) return image;
  const bool grey8 = png.format == PNG_FORMAT_GRAY;
  png.format = PNG_FORMAT_GRAY;
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  image.pixels.resize(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
    png_image_free(&png);
    return image;
  }
  image.ok = grey8;
  return image;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pngpreview-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

}  // namespace pngpreview_test
