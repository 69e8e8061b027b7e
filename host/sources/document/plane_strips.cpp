// plane_strips.cpp - one Ghostscript run per strip, read back row by row.
#include "sources/document/plane_strips.h"

#include <algorithm>
#include <chrono>

#include "common/host_error.h"

namespace riphost {

int plane_strip_rows(int width, int height, std::uint64_t limit) {
  if (width <= 0 || height <= 0) return std::max(height, 1);
  const std::uint64_t row = std::uint64_t{4} * static_cast<std::uint64_t>(width);
  const std::uint64_t most = std::max<std::uint64_t>(limit / row, 1);
  const std::uint64_t strips = (static_cast<std::uint64_t>(height) + most - 1) / most;
  return static_cast<int>((static_cast<std::uint64_t>(height) + strips - 1) / strips);
}

PlaneStrips::PlaneStrips(PlaneJob job, std::vector<std::string> inks, std::filesystem::path temp,
                         std::function<bool()> stop, int strip_rows)
    : job_(std::move(job)),
      inks_(std::move(inks)),
      temp_(std::move(temp)),
      stop_(std::move(stop)),
      strip_rows_(std::max(strip_rows, 1)) {
  if (job_.width <= 0 || job_.height <= 0) throw HostError("the page has no pixels to render");
}

bool PlaneStrips::read_row(std::size_t ink, int y, std::uint8_t* out, std::size_t stride) {
  if (y < 0 || y >= job_.height) throw HostError("a row outside the page was asked for");
  if (!strip_ || y < job_.first_row || y >= job_.first_row + job_.rows) {
    if (!render_strip(y - y % strip_rows_)) return false;
  }
  strip_->read_row(ink, y - job_.first_row, out, stride);
  return true;
}

bool PlaneStrips::render_strip(int first_row) {
  // The last strip's files go before the next is written.
  strip_.reset();
  job_.first_row = first_row;
  job_.rows = std::min(strip_rows_, job_.height - first_row);
  const auto start = std::chrono::steady_clock::now();
  auto strip = std::make_unique<SeparationPlanes>(job_, temp_, stop_);
  ++runs_;
  seconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (strip->stopped()) return false;
  strip->open(inks_, job_.width, job_.rows);
  peak_disk_bytes_ = std::max(peak_disk_bytes_, strip->disk_bytes());
  strip_ = std::move(strip);
  return true;
}

}  // namespace riphost
