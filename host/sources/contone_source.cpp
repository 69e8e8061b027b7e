// contone_source.cpp - the ink of contone rows: gradients, and images placed
// and resampled to the page.
#include "sources/contone_source.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "common/bitrow.h"
#include "common/host_error.h"
#include "screening/resampler.h"
#include "sources/image_reader.h"

namespace riphost {

namespace {

// Ink 0 at the first of n positions to 65535 at the last.
std::uint16_t ramp(long long i, long long n) noexcept {
  if (n <= 1) return 0;
  return static_cast<std::uint16_t>((i * 65535 + (n - 1) / 2) / (n - 1));
}

// Runs a reader step; its error names the file.
template <typename Step>
auto named(const std::string& name, Step step) {
  try {
    return step();
  } catch (const HostError& error) {
    throw HostError(name + ": " + error.what());
  }
}

// The tiles of a page of width x height pixels: dots need to stay near the
// exact screen over the page only.
TileLimits limits_for(int width, int height) {
  TileLimits limits;
  limits.page_extent = std::hypot(static_cast<double>(width), static_cast<double>(height));
  return limits;
}

ScreenerSetup setup_for(const ContentSource& content, int width, int height, double gamma) {
  ScreenerSetup setup;
  setup.gamma = gamma;
  setup.ink_transfer = content.transfer;
  setup.limits = limits_for(width, height);
  return setup;
}

class ContoneSource final : public RowSource {
 public:
  ContoneSource(const ContentSource& content, int width, int height, double ppi,
                const std::vector<SelectedScreen>& screens, double gamma)
      : screener_(width, ppi, screens, content.areas, setup_for(content, width, height, gamma)), width_(width),
        height_(height), gradient_(content.gradient), ink_(static_cast<std::size_t>(width), 0) {
    if (gradient_ == ContentSource::Gradient::None) open_contone_image(content, ppi);
    if (gradient_ == ContentSource::Gradient::Horizontal) {
      // The same ink in every row: worked out once.
      for (int x = 0; x < width_; ++x) ink_[static_cast<std::size_t>(x)] = ramp(x, width_);
    }
    if (!content.copydot_text.empty()) {
      copydot_name_ = content.copydot_text;
      copydot_ = named(copydot_name_, [&] { return open_image(content.copydot, 128); });
      copydot_bits_.assign(row_bytes(width), 0);
    }
  }

  bool screened() const noexcept override { return true; }
  void set_runs(const RunCallbacks& runs) noexcept override { runs_ = runs; }

  void next_row(std::uint8_t* row) override {
    const std::uint8_t* copydot = next_copydot();
    if (direct8_) {
      // An 8-bit image at one image pixel per device pixel: no resampling.
      std::memset(ink8_.data(), 0, ink8_.size());
      const long long r = y_ - offset_y_;
      if (r >= 0 && r < image_->height()) {
        // Rows above the page are read and passed over.
        for (; rows_read_ <= r; ++rows_read_) named(name_, [&] { image_->read_ink(line8_.data(), image_->width()); });
        if (width8_ > 0) std::memcpy(ink8_.data() + first8_, line8_.data() + skip8_, static_cast<std::size_t>(width8_));
      }
      screener_.screen_row(y_, ink8_.data(), copydot, row, runs_);
    } else {
      fill_ink();
      screener_.screen_row(y_, ink_.data(), copydot, row, runs_);
    }
    ++y_;
  }

 private:
  // The image, placed; rows are copied when it lands one to one and has 8
  // bits, and resampled (at 16 bits) otherwise.
  void open_contone_image(const ContentSource& content, double ppi) {
    name_ = content.image_text;
    image_ = named(name_, [&] { return open_contone(content.image, content.channel); });
    const PlacedImage placed = place_image(content.placement, image_->width(), image_->height(), image_->x_ppi(),
                                           image_->y_ppi(), ppi);
    if (placed.one_to_one() && !image_->deep()) {
      direct8_ = true;
      offset_y_ = static_cast<long long>(placed.y);
      const long long x0 = static_cast<long long>(placed.x);
      first8_ = static_cast<std::size_t>(std::clamp<long long>(x0, 0, width_));
      skip8_ = static_cast<std::size_t>(std::clamp<long long>(-x0, 0, image_->width()));
      const long long end = std::min<long long>(x0 + image_->width(), width_);
      width8_ = std::max<long long>(end - static_cast<long long>(first8_), 0);
      ink8_.assign(static_cast<std::size_t>(width_), 0);
      line8_.assign(static_cast<std::size_t>(image_->width()), 0);
      return;
    }
    resampler_ = std::make_unique<Resampler>(placed, width_, [this](std::uint16_t* line) {
      named(name_, [&] { image_->read_ink16(line, image_->width()); });
    });
  }

  // The copydot row at the page's top-left corner, or null without one.
  const std::uint8_t* next_copydot() {
    if (!copydot_) return nullptr;
    std::memset(copydot_bits_.data(), 0, copydot_bits_.size());
    if (y_ < copydot_->height()) {
      const int pixels = std::min(width_, copydot_->width());
      named(copydot_name_, [&] { copydot_->read_row(copydot_bits_.data(), pixels); });
      clear_tail(copydot_bits_.data(), pixels, copydot_bits_.size());
    }
    return copydot_bits_.data();
  }

  // The 16-bit ink of row y_: the gradient's, or the resampled image's.
  void fill_ink() {
    if (gradient_ == ContentSource::Gradient::Horizontal) return;
    if (gradient_ == ContentSource::Gradient::Vertical) {
      std::fill(ink_.begin(), ink_.end(), ramp(y_, height_));
      return;
    }
    resampler_->row(y_, ink_.data());
  }

  ContoneScreener screener_;
  int width_;
  int height_;
  ContentSource::Gradient gradient_;
  std::vector<std::uint16_t> ink_;
  std::string name_;
  std::unique_ptr<ImageReader> image_;
  std::unique_ptr<Resampler> resampler_;
  bool direct8_ = false;
  long long offset_y_ = 0;
  long long rows_read_ = 0;
  std::size_t first8_ = 0, skip8_ = 0;
  long long width8_ = 0;
  std::vector<std::uint8_t> ink8_, line8_;
  std::string copydot_name_;
  std::unique_ptr<ImageReader> copydot_;
  std::vector<std::uint8_t> copydot_bits_;
  RunCallbacks runs_;
  int y_ = 0;
};

}  // namespace

std::unique_ptr<RowSource> make_contone(const ContentSource& content, int width, int height, double ppi,
                                        const std::vector<SelectedScreen>& screens, double gamma) {
  if (!(ppi > 0.0)) throw HostError("contone content needs the job's resolution");
  return std::make_unique<ContoneSource>(content, width, height, ppi, screens, gamma);
}

std::vector<TileRequest> contone_tile_requests(const Page& page, const std::vector<ScreenSpec>& job_screens,
                                               double ppi) {
  std::vector<TileRequest> requests;
  if (!(ppi > 0.0)) return requests;
  auto request = [&](const Separation& separation, std::size_t entry) {
    if (entry >= separation.screens.size() || separation.screens[entry] >= job_screens.size()) return;
    requests.push_back(TileRequest{ppi, job_screens[separation.screens[entry]], limits_for(page.width, page.height)});
  };
  for (const Separation& separation : page.separations) {
    if (separation.source.kind != ContentSource::Kind::Contone) continue;
    request(separation, 0);
    for (const ScreenArea& area : separation.source.areas) request(separation, area.screen);
  }
  return requests;
}

}  // namespace riphost
