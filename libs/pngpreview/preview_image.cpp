// preview_image.cpp - the grid of set-pixel shares and its resampling.
#include "preview_image.h"

#include <algorithm>
#include <cmath>

namespace pngpreview {

uint64_t grid_factor(uint64_t width, uint64_t height) {
  const uint64_t longer = std::max<uint64_t>({width, height, 1});
  return (longer + kMaxGridSide - 1) / kMaxGridSide;
}

PreviewImage::PreviewImage(uint64_t width, uint64_t height) : PreviewImage(width, height, best_row_counter()) {}

PreviewImage::PreviewImage(uint64_t width, uint64_t height, RowCounter counter)
    : page_width_(std::max<uint64_t>(width, 1)),
      page_height_(std::max<uint64_t>(height, 1)),
      factor_(grid_factor(page_width_, page_height_)),
      shape_(make_row_shape(page_width_, factor_)),
      counter_(counter),
      width_(static_cast<uint32_t>((page_width_ + factor_ - 1) / factor_)),
      height_(static_cast<uint32_t>((page_height_ + factor_ - 1) / factor_)),
      counts_(width_, 0),
      tones_(static_cast<std::size_t>(width_) * height_, 255) {}

void PreviewImage::AddLine(const uint8_t* row) noexcept {
  if (finished_ || lines_ >= page_height_) return;
  if (row != nullptr) counter_(shape_, row, counts_.data());
  ++lines_;
  if (++band_lines_ == std::min(factor_, page_height_ - band_ * factor_)) FlushBand();
}

void PreviewImage::FlushBand() noexcept {
  // The band's full height even when lines are missing: they count as white.
  const uint64_t band_height = std::min(factor_, page_height_ - band_ * factor_);
  uint8_t* out = tones_.data() + static_cast<std::size_t>(band_) * width_;
  // All cells but perhaps the last have the same area: one reciprocal
  // instead of a division per cell.
  const uint64_t area = factor_ * band_height;
  const ToneScale scale(area);
  const uint32_t regular = static_cast<uint32_t>(page_width_ / factor_);
  for (uint32_t c = 0; c < regular; ++c) {
    out[c] = scale(counts_[c]);
    counts_[c] = 0;
  }
  for (uint32_t c = regular; c < width_; ++c) {
    out[c] = tone_of(counts_[c], (page_width_ - c * factor_) * band_height);
    counts_[c] = 0;
  }
  ++band_;
  band_lines_ = 0;
}

void PreviewImage::Finish() noexcept {
  if (finished_) return;
  if (band_lines_ > 0) FlushBand();
  finished_ = true;
}

std::vector<double> PreviewImage::ColumnEdges() const {
  std::vector<double> edges(static_cast<std::size_t>(width_) + 1);
  for (uint32_t i = 0; i <= width_; ++i) {
    edges[i] = grid_ ? static_cast<double>(std::min(i * factor_, page_width_))
                     : static_cast<double>(page_width_) * i / width_;
  }
  return edges;
}

std::vector<double> PreviewImage::RowEdges() const {
  std::vector<double> edges(static_cast<std::size_t>(height_) + 1);
  for (uint32_t i = 0; i <= height_; ++i) {
    edges[i] = grid_ ? static_cast<double>(std::min(i * factor_, page_height_))
                     : static_cast<double>(page_height_) * i / height_;
  }
  return edges;
}

namespace {

// The input pixels one output pixel covers, with the share of the output
// pixel's area each contributes (the shares add up to 1).
struct Span {
  std::size_t first = 0;
  std::size_t count = 0;
  std::size_t weights = 0;  // index of the first share in the weight list
};

// Cuts the page length covered by in_edges into out equal parts and lists,
// for each part, the input pixels it overlaps.
void build_spans(const std::vector<double>& in_edges, uint32_t out, std::vector<Span>& spans,
                 std::vector<double>& weights) {
  const std::size_t in = in_edges.size() - 1;
  const double length = in_edges[in];
  spans.resize(out);
  weights.clear();
  weights.reserve(in + 2 * static_cast<std::size_t>(out));
  std::size_t i = 0;
  for (uint32_t o = 0; o < out; ++o) {
    const double lo = length * o / out;
    const double hi = o + 1 == out ? length : length * (o + 1) / out;
    while (i + 1 < in && in_edges[i + 1] <= lo) ++i;
    Span& span = spans[o];
    span.first = i;
    span.weights = weights.size();
    double total = 0.0;
    for (std::size_t j = i; j < in && in_edges[j] < hi; ++j) {
      const double w = std::max(0.0, std::min(hi, in_edges[j + 1]) - std::max(lo, in_edges[j]));
      weights.push_back(w);
      total += w;
    }
    span.count = weights.size() - span.weights;
    if (total > 0.0) {
      for (std::size_t k = span.weights; k < weights.size(); ++k) weights[k] /= total;
    }
  }
}

}  // namespace

bool PreviewImage::Rescale(int64_t value) {
  Finish();
  const uint64_t longer = std::max(width_, height_);
  if (value <= 0 || static_cast<uint64_t>(value) >= longer) return false;
  uint32_t out_width, out_height;
  const double v = static_cast<double>(value);
  if (page_width_ >= page_height_) {
    out_width = static_cast<uint32_t>(value);
    const double h = std::round(static_cast<double>(page_height_) * v / static_cast<double>(page_width_));
    out_height = static_cast<uint32_t>(std::clamp(h, 1.0, static_cast<double>(height_)));
  } else {
    out_height = static_cast<uint32_t>(value);
    const double w = std::round(static_cast<double>(page_width_) * v / static_cast<double>(page_height_));
    out_width = static_cast<uint32_t>(std::clamp(w, 1.0, static_cast<double>(width_)));
  }

  std::vector<Span> col_spans, row_spans;
  std::vector<double> col_weights, row_weights;
  build_spans(ColumnEdges(), out_width, col_spans, col_weights);
  build_spans(RowEdges(), out_height, row_spans, row_weights);
  std::vector<uint8_t> out(static_cast<std::size_t>(out_width) * out_height);
  std::vector<double> sum(out_width);

  for (uint32_t y = 0; y < out_height; ++y) {
    std::fill(sum.begin(), sum.end(), 0.0);
    const Span& rows = row_spans[y];
    for (std::size_t r = 0; r < rows.count; ++r) {
      const double wy = row_weights[rows.weights + r];
      if (wy == 0.0) continue;
      const uint8_t* in = Row(static_cast<uint32_t>(rows.first + r));
      for (uint32_t x = 0; x < out_width; ++x) {
        const Span& cols = col_spans[x];
        double t = 0.0;
        for (std::size_t c = 0; c < cols.count; ++c) t += col_weights[cols.weights + c] * in[cols.first + c];
        sum[x] += wy * t;
      }
    }
    uint8_t* dst = out.data() + static_cast<std::size_t>(y) * out_width;
    for (uint32_t x = 0; x < out_width; ++x) {
      dst[x] = static_cast<uint8_t>(std::lround(std::clamp(sum[x], 0.0, 255.0)));
    }
  }

  tones_.swap(out);
  width_ = out_width;
  height_ = out_height;
  grid_ = false;
  return true;
}

}  // namespace pngpreview
