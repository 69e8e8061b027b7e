// resampler.cpp - bilinear enlarging and box reducing of a placed image.
#include "screening/resampler.h"

#include <algorithm>
#include <cmath>

namespace riphost {

namespace {

// Hands tap(image pixel, weight) the image pixels of the device pixel whose
// extent in image pixels is [a, b) (centre at (a + b) / 2).
template <typename Tap>
void for_each_tap(double a, double b, double scale, int image_size, Tap tap) {
  if (scale >= 1.0) {
    // Enlarging: between the two nearest image pixel centres.
    const double s = (a + b) / 2.0 - 0.5;
    const double floor_s = std::floor(s);
    const double f = s - floor_s;
    tap(std::clamp(static_cast<int>(floor_s), 0, image_size - 1), static_cast<float>(1.0 - f));
    tap(std::clamp(static_cast<int>(floor_s) + 1, 0, image_size - 1), static_cast<float>(f));
    return;
  }
  // Reducing: every image pixel the device pixel covers, by its share.
  const double lo = std::max(a, 0.0), hi = std::min(b, static_cast<double>(image_size));
  const double total = hi - lo;
  if (!(total > 0.0)) return;
  for (int i = static_cast<int>(std::floor(lo)); i < hi; ++i) {
    const double share = std::min(hi, i + 1.0) - std::max(lo, static_cast<double>(i));
    if (share > 0.0) tap(i, static_cast<float>(share / total));
  }
}

}  // namespace

Resampler::Taps Resampler::make_taps(double origin, double scale, int image_size, int device_size) {
  Taps taps;
  // Device pixels whose centre lies in the image: (x + 0.5 - origin) / scale in [0, image_size).
  const double end = origin + image_size * scale;
  taps.from = static_cast<int>(std::clamp(std::ceil(origin - 0.5), 0.0, static_cast<double>(device_size)));
  taps.to = static_cast<int>(std::clamp(std::ceil(end - 0.5), 0.0, static_cast<double>(device_size)));
  taps.to = std::max(taps.to, taps.from);
  for (int x = taps.from; x < taps.to; ++x) {
    taps.first.push_back(static_cast<int>(taps.weight.size()));
    for_each_tap((x - origin) / scale, (x + 1 - origin) / scale, scale, image_size, [&](int source, float weight) {
      taps.source.push_back(source);
      taps.weight.push_back(weight);
    });
    taps.count.push_back(static_cast<int>(taps.weight.size()) - taps.first.back());
  }
  return taps;
}

Resampler::Resampler(const PlacedImage& image, int page_width, ReadRow read)
    : image_(image), page_width_(page_width), read_(std::move(read)),
      across_(make_taps(image.x, image.scale_x, image.columns, page_width)),
      column_(static_cast<std::size_t>(image.columns), 0.0f) {
  for (auto& held : held_) held.assign(static_cast<std::size_t>(image.columns), 0);
}

const std::uint16_t* Resampler::image_row(int r) {
  while (next_image_row_ <= r) {
    const int slot = next_image_row_ % 2;
    read_(held_[slot].data());
    held_index_[slot] = next_image_row_++;
  }
  return held_[held_index_[0] == r ? 0 : 1].data();
}

void Resampler::row(long long y, std::uint16_t* ink) {
  std::fill(ink, ink + page_width_, std::uint16_t{0});
  // Inside the image when the row's centre is: (y + 0.5 - image y) / scale in [0, rows).
  const double at = (static_cast<double>(y) + 0.5 - image_.y) / image_.scale_y;
  if (!(at >= 0.0 && at < image_.rows) || across_.to <= across_.from) return;
  std::fill(column_.begin(), column_.end(), 0.0f);
  const double top = (static_cast<double>(y) - image_.y) / image_.scale_y;
  for_each_tap(top, top + 1.0 / image_.scale_y, image_.scale_y, image_.rows, [&](int r, float w) {
    if (w == 0.0f) return;
    const std::uint16_t* source = image_row(r);
    for (std::size_t i = 0; i < column_.size(); ++i) column_[i] += w * static_cast<float>(source[i]);
  });
  for (int x = across_.from; x < across_.to; ++x) {
    const std::size_t k = static_cast<std::size_t>(x - across_.from);
    const int first = across_.first[k];
    float sum = 0.0f;
    for (int t = 0; t < across_.count[k]; ++t) sum += across_.weight[first + t] * column_[across_.source[first + t]];
    ink[x] = static_cast<std::uint16_t>(std::clamp(sum + 0.5f, 0.0f, 65535.0f));
  }
}

}  // namespace riphost
