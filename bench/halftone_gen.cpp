// halftone_gen.cpp - writes a halftoned separation of a smooth, photo-like
// image as an uncompressed TIFF, the input both riphost and tiffcp read in
// bench/throughput.sh. Deterministic: the same arguments give the same file.
//
//   halftone_gen am|fm WIDTHxHEIGHT BITS OUT.tif
//
// am: round dots, 150 lines per inch at 45 degrees (a 16-pixel cell at
//     2400 ppi). fm: a 64 x 64 blue-noise threshold matrix (void and cluster).
// BITS 1 stores 1-bit pixels, 8 stores 0x00 / 0xFF per pixel (as FW88B
// files do). Both are min-is-white, so a set pixel is ink.
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kMatrix = 64;
constexpr int kCells = kMatrix * kMatrix;

// Ranks 0..kCells-1 of a blue-noise threshold matrix by void and cluster: a
// Gaussian energy on the torus finds the tightest cluster of set pixels and
// the largest void; a fixed seed keeps the matrix the same in every run.
std::vector<int> BlueNoiseRanks() {
  const double sigma = 1.5;
  std::vector<double> kernel(kCells);
  for (int dy = 0; dy < kMatrix; ++dy) {
    for (int dx = 0; dx < kMatrix; ++dx) {
      const int ty = std::min(dy, kMatrix - dy);
      const int tx = std::min(dx, kMatrix - dx);
      kernel[dy * kMatrix + dx] = std::exp(-(tx * tx + ty * ty) / (2 * sigma * sigma));
    }
  }
  std::vector<uint8_t> on(kCells, 0);
  std::vector<double> energy(kCells, 0.0);
  auto toggle = [&](int p, int sign) {
    on[p] = sign > 0;
    const int py = p / kMatrix, px = p % kMatrix;
    for (int y = 0; y < kMatrix; ++y) {
      const double* k = &kernel[((y - py + kMatrix) % kMatrix) * kMatrix];
      double* e = &energy[y * kMatrix];
      for (int x = 0; x < kMatrix; ++x) e[x] += sign * k[(x - px + kMatrix) % kMatrix];
    }
  };
  auto tightest = [&](const std::vector<uint8_t>& set) {
    int best = -1;
    for (int p = 0; p < kCells; ++p) {
      if (set[p] && (best < 0 || energy[p] > energy[best])) best = p;
    }
    return best;
  };
  auto largest_void = [&](const std::vector<uint8_t>& set) {
    int best = -1;
    for (int p = 0; p < kCells; ++p) {
      if (!set[p] && (best < 0 || energy[p] < energy[best])) best = p;
    }
    return best;
  };
  // Initial pattern: a tenth of the pixels, then moved until evenly spread.
  uint32_t state = 12345;
  const int initial = kCells / 10;
  for (int n = 0; n < initial;) {
    state = state * 1664525u + 1013904223u;
    const int p = static_cast<int>((state >> 8) % kCells);
    if (!on[p]) {
      toggle(p, +1);
      ++n;
    }
  }
  for (int guard = 0; guard < 4 * kCells; ++guard) {
    const int cluster = tightest(on);
    toggle(cluster, -1);
    const int hole = largest_void(on);
    toggle(hole, +1);
    if (hole == cluster) break;
  }
  const std::vector<uint8_t> start = on;
  const std::vector<double> start_energy = energy;
  std::vector<int> rank(kCells, 0);
  // Ranks below the initial count: take clusters away.
  for (int r = initial - 1; r >= 0; --r) {
    const int p = tightest(on);
    toggle(p, -1);
    rank[p] = r;
  }
  // Ranks from there up: fill the largest voids.
  on = start;
  energy = start_energy;
  for (int r = initial; r < kCells; ++r) {
    const int p = largest_void(on);
    toggle(p, +1);
    rank[p] = r;
  }
  return rank;
}

// The photo-like tone (0 paper .. 1 solid) of a page: broad gradients,
// soft round highlights and shadows, clipped to empty and solid areas in
// places, computed from per-row and per-column terms.
class ToneField {
 public:
  ToneField(int width, int height) : cols_(static_cast<std::size_t>(width) * 3) {
    kx_ = 2 * std::numbers::pi / (0.61 * width);
    ky_ = 2 * std::numbers::pi / (0.47 * height);
    kd_ = 2 * std::numbers::pi / (0.23 * (width + height));
    for (int x = 0; x < width; ++x) {
      cols_[3 * x] = static_cast<float>(std::sin(kx_ * x));
      cols_[3 * x + 1] = static_cast<float>(std::sin(kd_ * x));
      cols_[3 * x + 2] = static_cast<float>(std::cos(kd_ * x));
    }
    // Blobs: centre and radius as shares of the page.
    const double blobs[][4] = {{0.3, 0.25, 0.12, 0.35}, {0.7, 0.6, 0.18, -0.4},
                               {0.45, 0.8, 0.08, 0.5}, {0.85, 0.15, 0.1, -0.3}};
    for (const auto& b : blobs) {
      blobs_.push_back({static_cast<float>(b[0] * width), static_cast<float>(b[1] * height),
                        static_cast<float>(1.0 / (b[2] * b[2] * width * width)),
                        static_cast<float>(b[3])});
    }
  }

  // Fills tone[0..width) for row y.
  void Row(int y, std::vector<float>& tone) const {
    const float cy = static_cast<float>(std::cos(ky_ * y));
    const float sdy = static_cast<float>(std::sin(kd_ * y));
    const float cdy = static_cast<float>(std::cos(kd_ * y));
    const std::size_t width = tone.size();
    for (std::size_t x = 0; x < width; ++x) {
      const float diagonal = cols_[3 * x + 1] * cdy - cols_[3 * x + 2] * sdy;
      tone[x] = 0.5f + 0.3f * cols_[3 * x] * cy + 0.2f * diagonal;
    }
    for (const Blob& b : blobs_) {
      const float dy = static_cast<float>(y) - b.y;
      const float fy = dy * dy * b.inv_r2;
      if (fy > 9) continue;
      for (std::size_t x = 0; x < width; ++x) {
        const float dx = static_cast<float>(x) - b.x;
        const float f = fy + dx * dx * b.inv_r2;
        if (f < 9) tone[x] += b.weight * std::exp(-f);
      }
    }
    for (float& t : tone) t = std::clamp(1.25f * t - 0.12f, 0.0f, 1.0f);
  }

 private:
  struct Blob {
    float x, y, inv_r2, weight;
  };
  std::vector<float> cols_;
  std::vector<Blob> blobs_;
  double kx_ = 0, ky_ = 0, kd_ = 0;
};

int Usage() {
  std::fprintf(stderr, "usage: halftone_gen am|fm WIDTHxHEIGHT 1|8 OUT.tif\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return Usage();
  const std::string screen = argv[1];
  int width = 0, height = 0;
  char tail = 0;
  if (std::sscanf(argv[2], "%dx%d%c", &width, &height, &tail) != 2 || width <= 0 || height <= 0 ||
      width > 1000000 || height > 1000000) {
    return Usage();
  }
  const int bits = std::atoi(argv[3]);
  if ((screen != "am" && screen != "fm") || (bits != 1 && bits != 8)) return Usage();

  TIFF* tif = TIFFOpen(argv[4], static_cast<uint64_t>(width) * height * bits / 8 > (3ull << 30)
                                    ? "w8"
                                    : "w");
  if (tif == nullptr) {
    std::fprintf(stderr, "halftone_gen: cannot create %s\n", argv[4]);
    return 1;
  }
  const std::size_t row_bytes =
      bits == 1 ? (static_cast<std::size_t>(width) + 7) / 8 : static_cast<std::size_t>(width);
  const uint32_t rows_per_strip =
      static_cast<uint32_t>(std::max<std::size_t>(1, (256 * 1024) / row_bytes));
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(bits));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t{1});
  TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t{COMPRESSION_NONE});
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t{PHOTOMETRIC_MINISWHITE});
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, uint16_t{PLANARCONFIG_CONTIG});
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows_per_strip);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 2400.0);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, 2400.0);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, uint16_t{RESUNIT_INCH});

  const ToneField field(width, height);
  std::vector<float> tone(static_cast<std::size_t>(width));
  std::vector<uint8_t> row(row_bytes);
  // AM: the spot function of a round dot, computed per pixel through a cosine
  // table; FM: thresholds from the blue-noise ranks.
  std::vector<float> fm_threshold;
  if (screen == "fm") {
    const std::vector<int> rank = BlueNoiseRanks();
    fm_threshold.resize(kCells);
    for (int p = 0; p < kCells; ++p) fm_threshold[p] = (rank[p] + 0.5f) / kCells;
  }
  // 150 lines per inch at 2400 ppi: a period of 16 pixels along the axes of
  // the screen, turned by 45 degrees.
  const double period = 2400.0 / 150.0;
  const double c = std::cos(std::numbers::pi / 4) / period;
  const double s = std::sin(std::numbers::pi / 4) / period;
  constexpr int kCos = 4096;
  std::vector<float> cos_table(kCos);
  for (int k = 0; k < kCos; ++k) cos_table[k] = static_cast<float>(std::cos(2 * std::numbers::pi * k / kCos));

  for (int y = 0; y < height; ++y) {
    field.Row(y, tone);
    std::fill(row.begin(), row.end(), 0);
    if (screen == "am") {
      // Phases u = c x + s y and v = -s x + c y in table steps, stepped per pixel.
      const double u0 = s * y, v0 = c * y;
      for (int x = 0; x < width; ++x) {
        const double u = u0 + c * x;
        const double v = v0 - s * x;
        const int iu = static_cast<int>((u - std::floor(u)) * kCos) & (kCos - 1);
        const int iv = static_cast<int>((v - std::floor(v)) * kCos) & (kCos - 1);
        const float value = 0.5f + 0.25f * (cos_table[iu] + cos_table[iv]);
        const bool ink = value > 1.0f - tone[x];
        if (!ink) continue;
        if (bits == 1) {
          row[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
        } else {
          row[x] = 0xFF;
        }
      }
    } else {
      const float* thresholds = &fm_threshold[(y % kMatrix) * kMatrix];
      for (int x = 0; x < width; ++x) {
        if (!(tone[x] > thresholds[x % kMatrix])) continue;
        if (bits == 1) {
          row[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
        } else {
          row[x] = 0xFF;
        }
      }
    }
    if (TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) != 1) {
      std::fprintf(stderr, "halftone_gen: cannot write %s\n", argv[4]);
      TIFFClose(tif);
      return 1;
    }
  }
  TIFFClose(tif);
  return 0;
}
