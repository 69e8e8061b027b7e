// contone_source.cpp - screening contone rows and reporting their runs.
#include "sources/contone_source.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "common/bitrow.h"
#include "common/host_error.h"
#include "sources/image_reader.h"

namespace riphost {

namespace {

class ContoneSource final : public RowSource {
 public:
  ContoneSource(const ContentSource& content, int width, int height, double ppi,
                const std::vector<SelectedScreen>& screens)
      : screener_(width, ppi, screens, content.areas, setup_for(width, height)), width_(width), height_(height),
        gradient_(content.gradient), ink_(static_cast<std::size_t>(width), 0) {
    if (gradient_ == ContentSource::Gradient::None) {
      name_ = content.image_text;
      image_ = open_named(content.image_text, [&] { return open_contone(content.image, content.channel); });
    } else if (gradient_ == ContentSource::Gradient::Horizontal) {
      // The same ink in every row: worked out once.
      for (int x = 0; x < width_; ++x) ink_[static_cast<std::size_t>(x)] = ramp(x, width_);
    }
    if (!content.copydot_text.empty()) {
      copydot_name_ = content.copydot_text;
      copydot_ = open_named(content.copydot_text, [&] { return open_image(content.copydot, 128); });
      copydot_bits_.assign(row_bytes(width), 0);
    }
  }

  bool screened() const noexcept override { return true; }
  void set_runs(const RunCallbacks& runs) noexcept override { runs_ = runs; }

  void next_row(std::uint8_t* row) override {
    fill_ink();
    const std::uint8_t* copydot = nullptr;
    if (copydot_) {
      std::memset(copydot_bits_.data(), 0, copydot_bits_.size());
      if (y_ < copydot_->height()) {
        const int pixels = std::min(width_, copydot_->width());
        read_named(copydot_name_, [&] { copydot_->read_row(copydot_bits_.data(), pixels); });
        clear_tail(copydot_bits_.data(), pixels, copydot_bits_.size());
      }
      copydot = copydot_bits_.data();
    }
    screener_.screen_row(y_, ink_.data(), copydot, row, runs_);
    ++y_;
  }

 private:
  static ScreenerSetup setup_for(int width, int height) {
    ScreenerSetup setup;
    setup.limits.page_extent = std::hypot(static_cast<double>(width), static_cast<double>(height));
    return setup;
  }

  // Ink 0 at the first of n positions to 255 at the last.
  static std::uint8_t ramp(int i, int n) noexcept {
    if (n <= 1) return 0;
    return static_cast<std::uint8_t>((static_cast<long long>(i) * 255 + (n - 1) / 2) / (n - 1));
  }

  template <typename Open>
  static std::unique_ptr<ImageReader> open_named(const std::string& name, Open open) {
    try {
      return open();
    } catch (const HostError& error) {
      throw HostError(name + ": " + error.what());
    }
  }

  template <typename Read>
  static void read_named(const std::string& name, Read read) {
    try {
      read();
    } catch (const HostError& error) {
      throw HostError(name + ": " + error.what());
    }
  }

  // The ink of row y_: the gradient's, or the image's clipped to the page
  // with paper around it.
  void fill_ink() {
    if (gradient_ == ContentSource::Gradient::Horizontal) return;
    if (gradient_ == ContentSource::Gradient::Vertical) {
      std::memset(ink_.data(), ramp(y_, height_), ink_.size());
      return;
    }
    std::memset(ink_.data(), 0, ink_.size());
    if (y_ < image_->height()) {
      const int pixels = std::min(width_, image_->width());
      read_named(name_, [&] { image_->read_ink(ink_.data(), pixels); });
    }
  }

  ContoneScreener screener_;
  int width_;
  int height_;
  ContentSource::Gradient gradient_;
  std::vector<std::uint8_t> ink_;
  std::string name_;
  std::unique_ptr<ImageReader> image_;
  std::string copydot_name_;
  std::unique_ptr<ImageReader> copydot_;
  std::vector<std::uint8_t> copydot_bits_;
  RunCallbacks runs_;
  int y_ = 0;
};

}  // namespace

std::unique_ptr<RowSource> make_contone(const ContentSource& content, int width, int height, double ppi,
                                        const std::vector<SelectedScreen>& screens) {
  if (!(ppi > 0.0)) throw HostError("contone content needs the job's resolution");
  return std::make_unique<ContoneSource>(content, width, height, ppi, screens);
}

}  // namespace riphost
