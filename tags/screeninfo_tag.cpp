// screeninfo_tag.cpp - "_KVT_RIPINFO0": ruling, angle and dot of every screen
// of the separation and, when the runs were counted, the share of the page
// each covers and the box of its pixels.
#include "screeninfo_tag.h"

#include <cstdio>
#include <new>
#include <string>

#include "ascii_case.h"
#include "c_locale.h"
#include "plugin_state.h"

namespace dravout {
namespace {

using screeninfo::ScreenInfo;

// Longest screen line, in characters.
constexpr int kLineLimit = 255;

// Screen types of the RIP's own screens; every other type is foreign.
bool own_screen(int32_t scrtype) { return scrtype == 1 || scrtype == 8 || scrtype == 16; }

// The tag text under construction. Numbers are formatted in the "C" locale
// of the calling thread; the process locale is never touched.
class TagText {
 public:
  explicit TagText(int lines) { text_.reserve(static_cast<std::size_t>(lines) * 256); }

  void header(int lines) { append_formatted("COUNT=%d\n", lines); }

  void plain_line(double lpi, double ang, const char* name) { line("LC=%f A=%f S=%s\n", lpi, ang, name); }

  void extended_line(double lpi, double ang, const char* name, double fraction, int32_t l, int32_t t, int32_t r,
                     int32_t b) {
    line("LC=%f A=%f S=%s COV=%f AREA=%d,%d,%d,%d\n", lpi, ang, name, fraction, l, t, r, b);
  }

  const std::string& text() const { return text_; }

 private:
  template <typename... Args>
  void append_formatted(const char* format, Args... args) {
    char buffer[kLineLimit + 1];
    textutil::ScopedCLocale c_locale;
    std::snprintf(buffer, sizeof buffer, format, args...);
    text_ += buffer;
  }

  // One screen line, cut to 255 characters (losing its line feed) with a
  // warning when longer.
  template <typename... Args>
  void line(const char* format, Args... args) {
    char buffer[kLineLimit + 1];
    int length;
    {
      textutil::ScopedCLocale c_locale;
      length = std::snprintf(buffer, sizeof buffer, format, args...);
    }
    if (length > kLineLimit) {
      report(DRAV_MSG_WARNING, "TAV tag line too long (truncated to %d bytes): =>%s", kLineLimit, buffer);
    }
    if (length > 0) text_ += buffer;
  }

  std::string text_;
};

// Area of a record, with its coverage fraction.
struct Coverage {
  double fraction = 0.0;
  int32_t l = 0, t = 0, r = 0, b = 0;
};

Coverage coverage_of(const ScreenInfo& record, const char* label) {
  Coverage c;
  screen_coverage(record, &c.fraction, &c.l, &c.t, &c.r, &c.b, label);
  return c;
}

// Merges a foreign-type record into the unknown-screens record.
void merge_into(ScreenInfo& unknown, const ScreenInfo& record) {
  if (unknown.coverage == 0) {
    unknown.coverage = record.coverage;
    unknown.bound_l = record.bound_l;
    unknown.bound_t = record.bound_t;
    unknown.bound_r = record.bound_r;
    unknown.bound_b = record.bound_b;
    return;
  }
  unknown.coverage += record.coverage;
  if (record.bound_t < unknown.bound_t) unknown.bound_t = record.bound_t;
  if (record.bound_l < unknown.bound_l) unknown.bound_l = record.bound_l;
  if (record.bound_b > unknown.bound_b) unknown.bound_b = record.bound_b;
  if (record.bound_r > unknown.bound_r) unknown.bound_r = record.bound_r;
}

// The plain form: ruling, angle and name of every own screen.
std::string plain_form(ScreenInfo* table, int count, int known) {
  report(DRAV_MSG_INFO, "TAV NO extended screen tag: Known screens=%d", known);
  int lines = known;
  if (known <= 0) {
    report(DRAV_MSG_WARNING, "No Kivo-screens in separation, dummy TAV tag added");
    lines = 1;
  }
  TagText tag(lines);
  tag.header(lines);
  if (known > 0) {
    for (int i = 0; i < count; ++i) {
      ScreenInfo& record = table[i];
      if (!own_screen(record.scrtype)) continue;
      textutil::upper_case(record.dot);
      tag.plain_line(record.lpi, record.ang, record.dot != nullptr ? record.dot : "");
    }
  } else {
    tag.plain_line(1.0, 0.0, "SOLID");
  }
  return tag.text();
}

// The extended form: every line with its coverage and area.
std::string extended_form(ScreenInfo* table, int count, ScreenInfo* other, int known, int foreign) {
  ScreenInfo dummy_unknown{};
  ScreenInfo& unknown = table != nullptr ? table[count] : dummy_unknown;
  if (unknown.coverage > 0) {
    report(DRAV_MSG_WARNING, "Some runs contained unknown screens! Surface=%ld, Bounds=(t=%d,l=%d,b=%d,r=%d)",
           static_cast<long>(static_cast<int32_t>(unknown.coverage)), unknown.bound_t, unknown.bound_l,
           unknown.bound_b, unknown.bound_r);
    foreign = 1;
  }
  const int copydot = other[0].coverage > 0 ? 1 : 0;
  int lines = known + foreign + copydot;
  const bool dummy = lines <= 0;
  if (dummy) {
    report(DRAV_MSG_WARNING, "No Kivo-screens, PS-screens nor Copydot found in separation, dummy TAV tag added");
    lines = 1;
  }
  TagText tag(lines);
  tag.header(lines);
  if (dummy) {
    Coverage solids;
    if (other[1].coverage > 0) {
      solids = coverage_of(other[1], "SOLID");
      report(DRAV_MSG_INFO, "TAV extended screen tag: Solid coverage =%.3f, bound: l=%d,t=%d,r=%d,b=%d",
             solids.fraction, solids.l, solids.t, solids.r, solids.b);
    }
    tag.extended_line(1.0, 0.0, "SOLID", solids.fraction, solids.l, solids.t, solids.r, solids.b);
    return tag.text();
  }

  double known_sum = 0.0;
  Coverage known_box;
  for (int i = 0; i < count; ++i) {
    ScreenInfo& record = table[i];
    if (record.coverage == 0) continue;
    if (!own_screen(record.scrtype)) {
      merge_into(unknown, record);
      continue;
    }
    textutil::upper_case(record.dot);
    const char* name = record.dot != nullptr ? record.dot : "";
    const Coverage c = coverage_of(record, name);
    if (known_sum < 2.220446049250313e-16) {
      known_sum = c.fraction;
      known_box = c;
    } else {
      known_sum += c.fraction;
      if (c.l < known_box.l) known_box.l = c.l;
      if (c.t < known_box.t) known_box.t = c.t;
      if (c.r > known_box.r) known_box.r = c.r;
      if (c.b > known_box.b) known_box.b = c.b;
    }
    tag.extended_line(record.lpi, record.ang, name, c.fraction, c.l, c.t, c.r, c.b);
  }
  if (known > 0) {
    report(DRAV_MSG_INFO, "TAV extended screen tag: Known screens=%d, coverage=%.3f, bound: l=%d,t=%d,r=%d,b=%d",
           known, known_sum, known_box.l, known_box.t, known_box.r, known_box.b);
  }
  if (foreign != 0) {
    const Coverage c = coverage_of(unknown, "UNKNOWN");
    tag.extended_line(0.0, 0.0, "UNKNOWN", c.fraction, c.l, c.t, c.r, c.b);
    report(DRAV_MSG_INFO, "TAV extended screen tag: Foreign screens coverage=%.3f, bound: l=%d,t=%d,r=%d,b=%d",
           c.fraction, c.l, c.t, c.r, c.b);
  }
  if (copydot != 0) {
    const Coverage c = coverage_of(other[0], "CPP");
    tag.extended_line(0.0, 0.0, "CPP", c.fraction, c.l, c.t, c.r, c.b);
    report(DRAV_MSG_INFO, "TAV extended screen tag: Copydot coverage=%.3f, bound:l=%d,t=%d,r=%d,b=%d", c.fraction,
           c.l, c.t, c.r, c.b);
  }
  return tag.text();
}

}  // namespace

int screen_coverage(const ScreenInfo& record, double* fraction, int32_t* left, int32_t* top, int32_t* right,
                    int32_t* bottom, const char* label) {
  const double area = static_cast<double>(state.width) * static_cast<double>(state.height);
  *fraction = static_cast<double>(record.coverage) / area;
  if (*fraction > 1.0) {
    report(DRAV_MSG_WARNING, "Coverage overflow=%.3f (set to 1.0), screen=%s,%.1f,%.1f", *fraction,
           record.dot != nullptr ? record.dot : label, record.ang, record.lpi);
    *fraction = 1.0;
  }
  if (record.coverage == 0) {
    *left = *top = *right = *bottom = 0;
    return 0;
  }
  if (record.bound_l >= 0 && record.bound_t >= 0 && record.bound_r <= state.width &&
      record.bound_b <= state.height) {
    if (state.mirror != 0) {
      *left = state.width - record.bound_r;
      *top = record.bound_t;
      *right = state.width - record.bound_l;
      *bottom = record.bound_b;
    } else {
      *left = record.bound_l;
      *top = record.bound_t;
      *right = record.bound_r;
      *bottom = record.bound_b;
    }
    return 0;
  }
  report(DRAV_MSG_WARNING, "screen bound overflow: l=%d, t=%d, r=%d, b=%d (set to 0,0,0,0)", record.bound_l,
         record.bound_t, record.bound_r, record.bound_b);
  *left = 0;
  *top = 0;
  *right = state.width - 1;
  *bottom = state.height - 1;
  return 0;
}

int write_screeninfo_tag(TavFile* tavfile) {
  int count = 0;
  ScreenInfo* table = nullptr;
  ScreenInfo* other = nullptr;
  int coverage_valid = 0;
  screeninfo::pass_screen_info(&count, &table);
  screeninfo::pass_other_info(&other, &coverage_valid);
  if (table == nullptr) count = 0;

  int known = 0, foreign = 0;
  for (int i = 0; i < count; ++i) {
    if (own_screen(table[i].scrtype)) {
      if (coverage_valid == 0 || table[i].coverage != 0) ++known;
    } else {
      foreign = 1;
    }
  }
  std::string text;
  const bool extended = coverage_valid != 0 && other != nullptr;
  try {
    text = extended ? extended_form(table, count, other, known, foreign) : plain_form(table, count, known);
  } catch (const std::bad_alloc&) {
    report(DRAV_MSG_ERROR, extended ? "Write_screeninfo_tag: Not enough memory for tag string"
                                    : "write_screeninfo_tag: Not enough memory for tag string");
    return -1;
  }
  return tav_puttag(tavfile, "_KVT_RIPINFO0", static_cast<int>(text.size() + 1), text.c_str());
}

}  // namespace dravout
