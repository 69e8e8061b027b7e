// patterns.cpp - the built-in test patterns.
//
// Patterns whose rows repeat (checker, bars, ramp) keep their few distinct
// rows ready and copy one per scanline. The target computes each row from
// spans: the rings crossing the row, the frame and the "F".
#include "sources/patterns.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>

#include "common/bitrow.h"

namespace riphost {

namespace {

// The patterns and the parameter names each takes.
const std::map<std::string, std::vector<std::string>, std::less<>>& pattern_table() {
  static const std::map<std::string, std::vector<std::string>, std::less<>> table = {
      {"bars", {"bar"}}, {"checker", {"cell"}}, {"ramp", {}}, {"target", {"ring"}}};
  return table;
}

// The value of a parameter, or fallback when the ticket does not give it.
int parameter(const ContentSource& content, std::string_view name, int fallback) {
  for (const auto& [key, value] : content.parameters) {
    if (key == name) return value;
  }
  return fallback;
}

// A pattern made of a few distinct rows: row y shows template
// (y / rows_per_template) % count.
class TemplateSource final : public RowSource {
 public:
  TemplateSource(int width, int count, int rows_per_template)
      : bytes_(row_bytes(width)), count_(count), rows_per_template_(rows_per_template),
        rows_(bytes_ * static_cast<std::size_t>(count), 0) {}

  // The bytes of template index, for filling at construction.
  std::uint8_t* row(int index) { return rows_.data() + bytes_ * static_cast<std::size_t>(index); }

  // Copies the current template, then advances to the next row.
  void next_row(std::uint8_t* out) override {
    std::memcpy(out, row(current_), bytes_);
    if (++rows_done_ == rows_per_template_) {
      rows_done_ = 0;
      if (++current_ == count_) current_ = 0;
    }
  }

 private:
  std::size_t bytes_;
  int count_;
  int rows_per_template_;
  std::vector<std::uint8_t> rows_;
  int current_ = 0;
  int rows_done_ = 0;
};

// Checker: two templates, swapped every cell rows.
std::unique_ptr<RowSource> make_checker(const ContentSource& content, int width) {
  int cell = parameter(content, "cell", 64);
  auto source = std::make_unique<TemplateSource>(width, 2, cell);
  for (int x = 0; x < width; x += cell) {
    int end = std::min(width, x + cell);
    bool even = ((x / cell) & 1) == 0;
    set_span(source->row(even ? 0 : 1), x, end);
  }
  return source;
}

// Bars: one template of alternating ink and blank bars.
std::unique_ptr<RowSource> make_bars(const ContentSource& content, int width) {
  int bar = parameter(content, "bar", 32);
  auto source = std::make_unique<TemplateSource>(width, 1, 1);
  for (int x = 0; x < width; x += 2 * bar) set_span(source->row(0), x, std::min(width, x + bar));
  return source;
}

// Ramp: eight templates, one per row of the 8 x 8 ordered-dither matrix.
std::unique_ptr<RowSource> make_ramp(int width) {
  static constexpr std::uint8_t kBayer[8][8] = {
      {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
      {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
      {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
      {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};
  auto source = std::make_unique<TemplateSource>(width, 8, 1);
  for (int y = 0; y < 8; ++y) {
    std::uint8_t* row = source->row(y);
    for (int x = 0; x < width; ++x) {
      // Level 0 (no ink) at the left edge up to 64 (all ink) at the right.
      int level = static_cast<int>(static_cast<std::int64_t>(x) * 65 / width);
      if (kBayer[y][x & 7] < level) row[x >> 3] |= static_cast<std::uint8_t>(1u << (x & 7));
    }
  }
  return source;
}

// Target: rings, frame and an "F", computed per row from spans.
class TargetSource final : public RowSource {
 public:
  TargetSource(int width, int height, int ring)
      : width_(width), height_(height), bytes_(row_bytes(width)), ring_(ring),
        cx_(width / 2.0), cy_(height / 2.0) {
    // A row meets at most (half the width) / ring + 2 circles on each side.
    max_crossings_ = width_ / 2 / ring_ + 3;
    bounds_.resize(2 * static_cast<std::size_t>(max_crossings_) + 2);
    frame_ = std::max(1, ring_ / 2);
    int side = std::min(width_, height_);
    f_height_ = std::max(5, side / 3);
    f_stroke_ = std::max(1, f_height_ / 5);
    f_width_ = std::max(3, f_height_ * 3 / 5);
    f_x_ = width_ / 8;
    f_y_ = height_ / 8;
  }

  // Draws rings, frame and "F" of the next row.
  void next_row(std::uint8_t* row) override {
    std::memset(row, 0, bytes_);
    draw_rings(row, y_);
    draw_frame(row, y_);
    draw_f(row, y_);
    ++y_;
  }

 private:
  // Fills a span clipped to the page.
  void fill(std::uint8_t* row, int x0, int x1) const { set_span(row, std::max(0, x0), std::min(width_, x1)); }

  // Ink where the distance r from the page centre has floor(r / ring) even.
  // Along a row the band number changes at the circles of radius k * ring
  // that cross the row; walking those bounds from the left edge to the right,
  // each interval gets its band and even bands are filled.
  void draw_rings(std::uint8_t* row, int y) {
    double dy = std::fabs(y + 0.5 - cy_);
    double reach = std::hypot(std::max(cx_, width_ - cx_), dy);
    int inner = static_cast<int>(dy / ring_);    // band at the point nearest the centre
    int outer = static_cast<int>(reach / ring_);  // band at the farther row end
    int crossings = std::min(outer - inner, max_crossings_);
    bounds_[0] = 0;
    for (int i = 0; i < crossings; ++i) {
      double radius = static_cast<double>(inner + 1 + i) * ring_;
      double half = std::sqrt(std::max(0.0, radius * radius - dy * dy));
      bounds_[static_cast<std::size_t>(crossings - i)] = static_cast<int>(std::lround(cx_ - half));
      bounds_[static_cast<std::size_t>(crossings + 1 + i)] = static_cast<int>(std::lround(cx_ + half));
    }
    bounds_[static_cast<std::size_t>(2 * crossings + 1)] = width_;
    for (int j = 0; j <= 2 * crossings; ++j) {
      int band = j <= crossings ? inner + crossings - j : inner + j - crossings;
      if ((band & 1) == 0) fill(row, bounds_[static_cast<std::size_t>(j)], bounds_[static_cast<std::size_t>(j) + 1]);
    }
  }

  // A solid frame along the page edges.
  void draw_frame(std::uint8_t* row, int y) const {
    if (y < frame_ || y >= height_ - frame_) {
      fill(row, 0, width_);
      return;
    }
    fill(row, 0, frame_);
    fill(row, width_ - frame_, width_);
  }

  // A large "F" on a blank box: stem, top bar and a shorter middle bar.
  void draw_f(std::uint8_t* row, int y) const {
    int top = f_y_ - f_stroke_;
    int bottom = f_y_ + f_height_ + f_stroke_;
    if (y < top || y >= bottom) return;
    clear_span(row, std::max(0, f_x_ - f_stroke_), std::min(width_, f_x_ + f_width_ + f_stroke_));
    int dy = y - f_y_;
    if (dy < 0 || dy >= f_height_) return;
    fill(row, f_x_, f_x_ + f_stroke_);
    if (dy < f_stroke_) fill(row, f_x_, f_x_ + f_width_);
    if (dy >= 2 * f_stroke_ && dy < 3 * f_stroke_) fill(row, f_x_, f_x_ + f_width_ * 3 / 4);
  }

  int width_;
  int height_;
  std::size_t bytes_;
  int ring_;
  double cx_;
  double cy_;
  int max_crossings_ = 0;
  std::vector<int> bounds_;
  int frame_ = 1;
  int f_height_ = 5;
  int f_stroke_ = 1;
  int f_width_ = 3;
  int f_x_ = 0;
  int f_y_ = 0;
  int y_ = 0;
};

}  // namespace

// Looks up the parameter names of a pattern.
const std::vector<std::string>* pattern_parameters(std::string_view name) {
  const auto& table = pattern_table();
  auto found = table.find(name);
  return found == table.end() ? nullptr : &found->second;
}

// Lists the pattern names.
std::string pattern_names() {
  std::string names;
  for (const auto& [name, parameters] : pattern_table()) {
    if (!names.empty()) names += ", ";
    names += name;
  }
  return names;
}

// Makes the row source of a pattern.
std::unique_ptr<RowSource> make_pattern(const ContentSource& content, int width, int height) {
  if (content.pattern == "checker") return make_checker(content, width);
  if (content.pattern == "bars") return make_bars(content, width);
  if (content.pattern == "ramp") return make_ramp(width);
  int ring = parameter(content, "ring", std::max(2, std::min(width, height) / 40));
  return std::make_unique<TargetSource>(width, height, ring);
}

}  // namespace riphost
