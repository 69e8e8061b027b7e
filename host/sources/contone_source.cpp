// contone_source.cpp - screening contone rows and reporting their runs.
#include "sources/contone_source.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/bitrow.h"
#include "common/host_error.h"
#include "sources/image_reader.h"

namespace riphost {

namespace {

// Kinds of a pixel; screens follow from kFirstScreen on.
constexpr std::uint32_t kPaper = 0;
constexpr std::uint32_t kSolid = 1;
constexpr std::uint32_t kCopydot = 2;
constexpr std::uint32_t kFirstScreen = 3;

// The built-in default screen when a separation brings none.
std::vector<SelectedScreen> or_default(const std::vector<SelectedScreen>& screens) {
  if (!screens.empty()) return screens;
  SelectedScreen fallback;
  fallback.spec.name = kDefaultScreenName;
  return {fallback};
}

}  // namespace

ContoneScreener::ContoneScreener(int width, double ppi, const std::vector<SelectedScreen>& given,
                                 const std::vector<ScreenArea>& areas)
    : width_(width), areas_(areas), area_of_(static_cast<std::size_t>(width), 0) {
  const std::vector<SelectedScreen> screens = or_default(given);
  // Areas naming no screen of the list are dropped (the ticket refuses them).
  std::erase_if(areas_, [&](const ScreenArea& a) { return a.screen >= screens.size(); });
  // Entries of one screen share its handle, its runs and one rank table;
  // tables are only made for the screens that screen pixels (the first and
  // those of the areas).
  std::vector<bool> used(screens.size(), false);
  used[0] = true;
  for (const ScreenArea& a : areas_) used[a.screen] = true;
  constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  engine_of_.assign(screens.size(), kNone);
  for (std::size_t s = 0; s < screens.size(); ++s) {
    handles_.push_back(screens[s].handle);
    std::uint32_t first = static_cast<std::uint32_t>(s);
    for (std::size_t t = 0; t < s; ++t) {
      if (screens[t].handle == screens[s].handle && screens[t].spec.name == screens[s].spec.name) {
        first = static_cast<std::uint32_t>(t);
        break;
      }
    }
    same_as_.push_back(first);
    if (!used[s]) continue;
    if (engine_of_[first] == kNone) {
      const ScreenSpec& spec = screens[first].spec;
      engine_of_[first] = static_cast<std::uint32_t>(engines_.size());
      engines_.emplace_back(ppi, spec.ruling, spec.angle, spec.dot);
    }
    engine_of_[s] = engine_of_[first];
  }
}

// Sets the run's pixels and reports it.
void ContoneScreener::flush(std::uint32_t kind, int x0, int x1, std::uint8_t* row,
                            const RunCallbacks& runs) const noexcept {
  if (kind == kPaper || x1 <= x0) return;
  set_span(row, x0, x1);
  const std::int32_t length = x1 - x0;
  if (kind == kSolid) {
    if (runs.solid) runs.solid(0, x0, length);
  } else if (kind == kCopydot) {
    if (runs.copydot) runs.copydot(0, x0, length);
  } else if (runs.screen) {
    runs.screen(handles_[kind - kFirstScreen], x0, length);
  }
}

void ContoneScreener::screen_row(int y, const std::uint8_t* ink, const std::uint8_t* copydot, std::uint8_t* row,
                                 const RunCallbacks& runs) noexcept {
  std::memset(row, 0, row_bytes(width_));
  // Which screen each pixel takes: the first, unless an area says otherwise.
  std::fill(area_of_.begin(), area_of_.end(), 0u);
  for (const ScreenArea& a : areas_) {
    if (y < a.y || static_cast<long long>(y) >= static_cast<long long>(a.y) + a.height) continue;
    const int x0 = std::max(a.x, 0);
    const long long end = std::min<long long>(static_cast<long long>(a.x) + a.width, width_);
    for (long long x = x0; x < end; ++x) area_of_[static_cast<std::size_t>(x)] = static_cast<std::uint32_t>(a.screen);
  }
  for (AmScreen& screen : engines_) screen.start_row(y);

  std::uint32_t current = kPaper;
  int start = 0;
  for (int x = 0; x < width_; ++x) {
    std::uint32_t kind;
    const unsigned level = ink[x];
    if (copydot != nullptr && pixel_at(copydot, x)) {
      kind = kCopydot;
    } else if (level >= 255u) {
      kind = kSolid;
    } else if (level == 0u) {
      kind = kPaper;
    } else {
      const std::uint32_t s = area_of_[static_cast<std::size_t>(x)];
      kind = engines_[engine_of_[s]].ink_at(x, level) ? kFirstScreen + same_as_[s] : kPaper;
    }
    if (kind != current) {
      flush(current, start, x, row, runs);
      current = kind;
      start = x;
    }
  }
  flush(current, start, width_, row, runs);
}

namespace {

class ContoneSource final : public RowSource {
 public:
  ContoneSource(const ContentSource& content, int width, int height, double ppi,
                const std::vector<SelectedScreen>& screens)
      : screener_(width, ppi, screens, content.areas), width_(width), height_(height),
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
