// screen_quality.cpp - measures riphost's screens on flat tints, from the
// rows its row screener writes, for every shape, angle and ruling asked:
//
//   screen_quality [--side N] [--shapes round,euclidean,...] [--angles ..]
//                  [--rulings ..] [--ppi N] [--fm-dot N]   the grid table
//   screen_quality --tones SHAPE RULING ANGLE     printed tint per tint asked
//   screen_quality --pictures DIR                 PNG pictures of the shapes
//
// Per screen, over the 256 tints of an 8-bit input on a side x side page:
// the largest tone error (percentage points), the tints whose coverage
// differs from the tint before (distinct tones), tints that print nothing
// (vanish, above 0) or no paper (plug, below full), the pixel-tints with a
// lone pixel (no neighbour of its colour) between 5 % and 95 %, and the
// standard deviation of the ink per screen cell at 50 %, and the largest
// slow swing of tone across the patch (a beat: periods of 150 pixels and
// more, at every tenth tint). The screen's tile gives the ruling and angle it puts on the
// page.
#include <png.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "common/bitrow.h"
#include "screening/contone_screener.h"

namespace {

using riphost::DotShape;

struct Options {
  int side = 1024;
  double ppi = 2400;
  std::vector<DotShape> shapes = {DotShape::Round, DotShape::Euclidean, DotShape::Ellipse, DotShape::Line};
  std::vector<double> angles = {0, 15, 45, 75, 90};
  std::vector<double> rulings = {100, 133, 150, 175, 200};
  int fm_dot = 2;
};

riphost::SelectedScreen screen_of(DotShape dot, double ruling, double angle, int dot_size = 2) {
  riphost::SelectedScreen s;
  s.spec.name = std::string("screen");
  s.spec.dot = dot;
  s.spec.ruling = ruling;
  s.spec.angle = angle;
  s.spec.dot_size = dot_size;
  return s;
}

// The rows of a flat tint, as 64-bit words (pixel x in word x / 64, bit x % 64).
class Patch {
 public:
  Patch(riphost::ContoneScreener& screener, int side) : screener_(screener), side_(side), words_((side + 63) / 64) {
    bits_.assign(static_cast<std::size_t>(words_) * side, 0);
    ink_.assign(static_cast<std::size_t>(side), 0);
    row_.assign(riphost::row_bytes(side), 0);
  }
  void screen(unsigned tint) {
    std::fill(ink_.begin(), ink_.end(), static_cast<std::uint8_t>(tint));
    for (int y = 0; y < side_; ++y) {
      screener_.screen_row(y, ink_.data(), nullptr, row_.data(), riphost::RunCallbacks{});
      std::uint64_t* line = &bits_[static_cast<std::size_t>(y) * words_];
      std::fill(line, line + words_, 0);
      for (std::size_t i = 0; i < row_.size() && i < static_cast<std::size_t>(words_) * 8; ++i) {
        line[i / 8] |= static_cast<std::uint64_t>(row_[i]) << (8 * (i % 8));
      }
    }
  }
  bool ink(int x, int y) const { return (bits_[static_cast<std::size_t>(y) * words_ + x / 64] >> (x % 64)) & 1u; }
  long count() const {
    long n = 0;
    for (std::uint64_t w : bits_) n += __builtin_popcountll(w);
    return n;
  }
  // Inner pixels none of whose eight neighbours has their colour.
  long lone() const {
    long n = 0;
    for (int y = 1; y + 1 < side_; ++y) {
      for (int x = 1; x + 1 < side_; ++x) {
        const bool own = ink(x, y);
        bool alone = true;
        for (int dy = -1; dy <= 1 && alone; ++dy) {
          for (int dx = -1; dx <= 1 && alone; ++dx) alone = (dx == 0 && dy == 0) || ink(x + dx, y + dy) != own;
        }
        n += alone;
      }
    }
    return n;
  }
  // The largest slow swing of the tone (a beat), in percentage points: the
  // amplitude of the columns' and the rows' mean ink at periods of 150
  // pixels to the patch's side (16 lpi and below at 2400 ppi), under a Hann
  // window (so that cells cut by the patch's edges do not count).
  double beat() const {
    std::vector<double> columns(static_cast<std::size_t>(side_), 0.0), rows(columns.size(), 0.0);
    for (int y = 0; y < side_; ++y) {
      for (int x = 0; x < side_; ++x) {
        const double v = ink(x, y) ? 1.0 / side_ : 0.0;
        columns[static_cast<std::size_t>(x)] += v, rows[static_cast<std::size_t>(y)] += v;
      }
    }
    double most = 0;
    for (const std::vector<double>* profile : {&columns, &rows}) {
      for (int f = 2; side_ / f >= 150; ++f) {
        double re = 0, im = 0, weights = 0;
        for (int x = 0; x < side_; ++x) {
          const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * x / side_);
          const double turn = 2.0 * std::numbers::pi * f * x / side_;
          re += w * (*profile)[static_cast<std::size_t>(x)] * std::cos(turn);
          im -= w * (*profile)[static_cast<std::size_t>(x)] * std::sin(turn);
          weights += w;
        }
        most = std::max(most, 200.0 * std::hypot(re, im) / weights);
      }
    }
    return most;
  }
  int side() const { return side_; }
 private:
  riphost::ContoneScreener& screener_;
  int side_, words_;
  std::vector<std::uint64_t> bits_;
  std::vector<std::uint8_t> ink_, row_;
};

// Standard deviation of the ink per whole screen cell of the patch.
double cell_noise(const Patch& patch, double ppi, double ruling, double angle) {
  const double cell = ppi / ruling, turn = angle * std::numbers::pi / 180.0;
  std::map<std::pair<long, long>, std::pair<int, int>> cells;
  for (int y = 0; y < patch.side(); ++y) {
    for (int x = 0; x < patch.side(); ++x) {
      const double px = x + 0.5, py = y + 0.5;
      const long u = static_cast<long>(std::floor((px * std::cos(turn) - py * std::sin(turn)) / cell));
      const long v = static_cast<long>(std::floor((-px * std::sin(turn) - py * std::cos(turn)) / cell));
      auto& c = cells[{u, v}];
      ++c.first;
      c.second += patch.ink(x, y);
    }
  }
  double sum = 0, squares = 0;
  int n = 0;
  for (const auto& [where, c] : cells) {
    if (c.first < 0.97 * cell * cell) continue;
    sum += c.second, squares += static_cast<double>(c.second) * c.second, ++n;
  }
  const double mean = sum / n;
  return std::sqrt(std::max(0.0, squares / n - mean * mean));
}

void grid(const Options& o) {
  std::printf("| shape | angle | lpi | tile px | lpi off | angle off | build ms | max tone err (pp) | distinct | "
              "vanish | plug | lone pixel-tints 5-95%% | cell noise at 50%% (px) | beat (pp) |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (DotShape dot : o.shapes) {
    for (double angle : o.angles) {
      for (double ruling : o.rulings) {
        riphost::ScreenerSetup setup;
        setup.limits.page_extent = std::hypot(20000.0, 30000.0);  // tiles as for a plate
        const auto t0 = std::chrono::steady_clock::now();
        riphost::ContoneScreener screener(o.side, o.ppi, {screen_of(dot, ruling, angle, o.fm_dot)}, {}, setup);
        const double build = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        const riphost::Supercell& cell = screener.screen(0).supercell();
        Patch patch(screener, o.side);
        const double pixels = static_cast<double>(o.side) * o.side;
        double worst = 0;
        long before = -1, lone = 0;
        int distinct = 0, vanish = 0, plug = 0;
        double noise = 0, beat = 0;
        for (unsigned k = 0; k < 256; ++k) {
          patch.screen(k);
          const long n = patch.count();
          worst = std::max(worst, std::fabs(100.0 * n / pixels - 100.0 * k / 255.0));
          distinct += n != before;
          before = n;
          vanish += k > 0 && n == 0;
          plug += k < 255 && n == static_cast<long>(pixels);
          if (k >= 13 && k <= 242) lone += patch.lone();
          if (k == 128 && dot != DotShape::Fm) noise = cell_noise(patch, o.ppi, ruling, angle);
          // Slow swings of tone (a beat), at every tenth tint.
          if (k % 26 == 0 && k > 0 && k < 255) beat = std::max(beat, patch.beat());
        }
        if (dot == DotShape::Fm) {
          // No cells: the dot size in the ruling's column, the tile's side.
          std::printf("| fm | - | %d | %lld | - | - | %.0f | %.3f | %d | %d | %d | %ld | - | %.3f |\n", o.fm_dot,
                      static_cast<long long>(screener.screen(0).tile().width() * screener.screen(0).tile().height()),
                      build, worst, distinct, vanish, plug, lone, beat);
          continue;
        }
        std::printf("| %s | %g | %g | %lld | %+.5f | %+.6f | %.0f | %.3f | %d | %d | %d | %ld | %.2f | %.3f |\n",
                    riphost::dot_name(dot), angle, ruling, static_cast<long long>(cell.pixels()), cell.ruling - ruling,
                    cell.angle - angle, build, worst, distinct, vanish, plug, lone, noise, beat);
        std::fflush(stdout);
      }
    }
  }
}

// Printed tint per tint asked, at the tints a tone table lists.
void tones(DotShape dot, double ruling, double angle, int side) {
  riphost::ScreenerSetup setup;
  setup.limits.page_extent = std::hypot(20000.0, 30000.0);
  riphost::ContoneScreener screener(side, 2400, {screen_of(dot, ruling, angle)}, {}, setup);
  Patch patch(screener, side);
  std::printf("| asked %% | 8-bit | printed %% |\n|---|---|---|\n");
  for (double asked : {0.4, 1.0, 2.0, 3.0, 5.0, 10.0, 20.0, 30.0, 40.0, 50.0, 60.0, 70.0, 80.0, 90.0, 95.0, 97.0,
                       98.0, 99.0, 99.6}) {
    const unsigned k = static_cast<unsigned>(std::lround(asked * 2.55));
    patch.screen(k);
    std::printf("| %.2f | %u | %.3f |\n", 100.0 * k / 255.0, k, 100.0 * patch.count() / (double(side) * side));
  }
}

// Writes a grey PNG, each screen pixel magnified to zoom x zoom.
bool write_png(const std::string& path, const Patch& patch, int zoom) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  const int side = patch.side() * zoom;
  png_set_IHDR(png, info, side, side, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> line((side + 7) / 8);
  for (int y = 0; y < side; ++y) {
    std::fill(line.begin(), line.end(), 0);
    for (int x = 0; x < side; ++x) {
      if (!patch.ink(x / zoom, y / zoom)) line[x / 8] |= static_cast<png_byte>(0x80 >> (x % 8));  // white paper
    }
    png_write_row(png, line.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

int pictures(const std::string& folder) {
  constexpr int kSide = 64, kZoom = 3;  // 4 x 4 cells of 16 pixels at 150 lpi, 2400 ppi
  for (DotShape dot : {DotShape::Round, DotShape::Euclidean, DotShape::Ellipse, DotShape::Line, DotShape::Fm}) {
    riphost::ContoneScreener screener(kSide, 2400, {screen_of(dot, 150, dot == DotShape::Fm ? 0 : 15)}, {});
    Patch patch(screener, kSide);
    for (int percent : {10, 30, 50, 70, 90}) {
      patch.screen(static_cast<unsigned>(std::lround(percent * 2.55)));
      const std::string path = folder + "/" + riphost::dot_name(dot) + "-" + std::to_string(percent) + ".png";
      if (!write_png(path, patch, kZoom)) {
        std::fprintf(stderr, "screen_quality: cannot write %s\n", path.c_str());
        return 1;
      }
    }
  }
  return 0;
}

template <typename T, typename Parse>
std::vector<T> list_of(const char* text, Parse parse) {
  std::vector<T> items;
  std::string all = text;
  for (std::size_t at = 0; at <= all.size();) {
    const std::size_t comma = all.find(',', at);
    items.push_back(parse(all.substr(at, comma == std::string::npos ? std::string::npos : comma - at)));
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return items;
}

DotShape shape_of(const std::string& name) {
  DotShape dot = DotShape::Round;
  if (!riphost::dot_from_name(name, dot)) {
    std::fprintf(stderr, "screen_quality: unknown shape %s\n", name.c_str());
    std::exit(2);
  }
  return dot;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  auto number = [](const std::string& s) { return std::atof(s.c_str()); };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--pictures" && i + 1 < argc) return pictures(argv[i + 1]);
    if (arg == "--tones" && i + 3 < argc) {
      tones(shape_of(argv[i + 1]), number(argv[i + 2]), number(argv[i + 3]), o.side);
      return 0;
    }
    if (i + 1 >= argc) break;
    if (arg == "--side") o.side = std::atoi(argv[++i]);
    else if (arg == "--ppi") o.ppi = number(argv[++i]);
    else if (arg == "--shapes") o.shapes = list_of<DotShape>(argv[++i], shape_of);
    else if (arg == "--angles") o.angles = list_of<double>(argv[++i], number);
    else if (arg == "--rulings") o.rulings = list_of<double>(argv[++i], number);
    else if (arg == "--fm-dot") o.fm_dot = std::atoi(argv[++i]);
  }
  grid(o);
  return 0;
}
