// screeninfo_tag.cpp - "_KVT_RIPINFO0": ruling, angle and dot of every screen
// of the separation and, when the runs were counted, the share of the page
// each covers and the box of its pixels.
#include "screeninfo_tag.h"

#include <new>

#include "ascii_case.h"
#include "tag_vocabulary.h"

namespace dravout {
namespace {

using screeninfo::ScreenInfo;
using tagvocab::kScreenLineLimit;
using tagvocab::ScreenArea;
using tagvocab::ScreenLineBuffer;

// Screen types of the RIP's own screens; every other type is foreign.
bool own_screen(int32_t scrtype) { return scrtype == 1 || scrtype == 8 || scrtype == 16; }

// The dot name a line shows: upper-cased in the extension's table itself.
const char* line_name(ScreenInfo& record) {
  textutil::upper_case(record.dot);
  return record.dot != nullptr ? record.dot : "";
}

// Share of the page and area of a record, as its line gives them.
struct Coverage {
  double fraction = 0.0;
  ScreenArea area;
};

Coverage coverage_of(const ScreenInfo& record, const PageGeometry& page, HostMessage message, const char* label) {
  Coverage c;
  screen_coverage(record, page, message, &c.fraction, &c.area.left, &c.area.top, &c.area.right, &c.area.bottom,
                  label);
  return c;
}

// The tag text under construction: "COUNT=<lines>" and the screen lines,
// in memory reserved for 256 bytes a line (it grows when cut lines and the
// header need more).
class TagText {
 public:
  TagText(int lines, HostMessage message) : message_(message) {
    text_.reserve(static_cast<std::size_t>(lines) * 256);
    text_ += tagvocab::count_line(lines);
  }

  void plain_line(double lpi, double ang, const char* name) {
    ScreenLineBuffer line;
    append(line, tagvocab::format_plain_line(line, lpi, ang, name));
  }

  void counted_line(double lpi, double ang, const char* name, const Coverage& c) {
    ScreenLineBuffer line;
    append(line, tagvocab::format_counted_line(line, lpi, ang, name, c.fraction, c.area));
  }

  std::string take() { return std::move(text_); }

 private:
  // A line cut to 255 characters (losing its line feed) comes with a warning.
  void append(const ScreenLineBuffer& line, int length) {
    if (length > kScreenLineLimit) {
      drav_message(message_, DRAV_MSG_WARNING, "TAV tag line too long (truncated to %d bytes): =>%s", kScreenLineLimit,
                 line);
    }
    if (length > 0) text_ += line;
  }

  HostMessage message_;
  std::string text_;
};

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

// The own screens' share and box together, for the summary report: the
// first share that counts (at least 2^-52) starts them.
struct KnownTotals {
  double sum = 0.0;
  ScreenArea box;

  void add(const Coverage& c) {
    if (sum < 2.220446049250313e-16) {
      sum = c.fraction;
      box = c.area;
      return;
    }
    sum += c.fraction;
    if (c.area.left < box.left) box.left = c.area.left;
    if (c.area.top < box.top) box.top = c.area.top;
    if (c.area.right > box.right) box.right = c.area.right;
    if (c.area.bottom > box.bottom) box.bottom = c.area.bottom;
  }
};

// How many records of each kind the table holds.
struct Census {
  int known = 0;    // own screens (with pixels, when counted)
  int foreign = 0;  // 1 when a record of a foreign type exists
};

Census take_census(const ScreenTotals& t) {
  Census c;
  for (int i = 0; i < t.count; ++i) {
    if (own_screen(t.table[i].scrtype)) {
      if (t.coverage_valid == 0 || t.table[i].coverage != 0) ++c.known;
    } else {
      c.foreign = 1;
    }
  }
  return c;
}

// The plain form: ruling, angle and name of every own screen.
std::string plain_form(const ScreenTotals& t, int known, HostMessage message) {
  drav_message(message, DRAV_MSG_INFO, "TAV NO extended screen tag: Known screens=%d", known);
  if (known <= 0) {
    drav_message(message, DRAV_MSG_WARNING, "No Kivo-screens in separation, dummy TAV tag added");
    TagText tag(1, message);
    tag.plain_line(1.0, 0.0, tagvocab::kSolidName);
    return tag.take();
  }
  TagText tag(known, message);
  for (int i = 0; i < t.count; ++i) {
    ScreenInfo& record = t.table[i];
    if (own_screen(record.scrtype)) tag.plain_line(record.lpi, record.ang, line_name(record));
  }
  return tag.take();
}

// The extended form's one line when nothing else is to be said: the solids.
std::string solid_dummy_form(const ScreenInfo& solids, const PageGeometry& page, HostMessage message) {
  TagText tag(1, message);
  Coverage c;
  if (solids.coverage > 0) {
    c = coverage_of(solids, page, message, tagvocab::kSolidName);
    drav_message(message, DRAV_MSG_INFO, "TAV extended screen tag: Solid coverage =%.3f, bound: l=%d,t=%d,r=%d,b=%d",
               c.fraction, c.area.left, c.area.top, c.area.right, c.area.bottom);
  }
  tag.counted_line(1.0, 0.0, tagvocab::kSolidName, c);
  return tag.take();
}

// The own screens with pixels, in table order; foreign-type records with
// pixels go into the unknown-screens record instead.
void own_screen_lines(const ScreenTotals& t, const PageGeometry& page, HostMessage message, int known,
                      ScreenInfo& unknown, TagText& tag) {
  KnownTotals totals;
  for (int i = 0; i < t.count; ++i) {
    ScreenInfo& record = t.table[i];
    if (record.coverage == 0) continue;
    if (!own_screen(record.scrtype)) {
      merge_into(unknown, record);
      continue;
    }
    const char* name = line_name(record);
    const Coverage c = coverage_of(record, page, message, name);
    totals.add(c);
    tag.counted_line(record.lpi, record.ang, name, c);
  }
  if (known > 0) {
    drav_message(message, DRAV_MSG_INFO,
               "TAV extended screen tag: Known screens=%d, coverage=%.3f, bound: l=%d,t=%d,r=%d,b=%d", known,
               totals.sum, totals.box.left, totals.box.top, totals.box.right, totals.box.bottom);
  }
}

// The extended form: every line with its coverage and area.
std::string extended_form(const ScreenTotals& t, const PageGeometry& page, HostMessage message, Census census) {
  ScreenInfo dummy_unknown{};
  ScreenInfo& unknown = t.table != nullptr ? t.table[t.count] : dummy_unknown;
  if (unknown.coverage > 0) {
    drav_message(message, DRAV_MSG_WARNING,
               "Some runs contained unknown screens! Surface=%ld, Bounds=(t=%d,l=%d,b=%d,r=%d)",
               static_cast<long>(static_cast<int32_t>(unknown.coverage)), unknown.bound_t, unknown.bound_l,
               unknown.bound_b, unknown.bound_r);
    census.foreign = 1;
  }
  const bool copydot = t.other[0].coverage > 0;
  const int lines = census.known + census.foreign + (copydot ? 1 : 0);
  if (lines <= 0) {
    drav_message(message, DRAV_MSG_WARNING,
               "No Kivo-screens, PS-screens nor Copydot found in separation, dummy TAV tag added");
    return solid_dummy_form(t.other[1], page, message);
  }
  TagText tag(lines, message);
  own_screen_lines(t, page, message, census.known, unknown, tag);
  if (census.foreign != 0) {
    const Coverage c = coverage_of(unknown, page, message, tagvocab::kUnknownName);
    tag.counted_line(0.0, 0.0, tagvocab::kUnknownName, c);
    drav_message(message, DRAV_MSG_INFO,
               "TAV extended screen tag: Foreign screens coverage=%.3f, bound: l=%d,t=%d,r=%d,b=%d", c.fraction,
               c.area.left, c.area.top, c.area.right, c.area.bottom);
  }
  if (copydot) {
    const Coverage c = coverage_of(t.other[0], page, message, tagvocab::kCopydotName);
    tag.counted_line(0.0, 0.0, tagvocab::kCopydotName, c);
    drav_message(message, DRAV_MSG_INFO, "TAV extended screen tag: Copydot coverage=%.3f, bound:l=%d,t=%d,r=%d,b=%d",
               c.fraction, c.area.left, c.area.top, c.area.right, c.area.bottom);
  }
  return tag.take();
}

// The totals as the writer reads them: no table, no screens.
ScreenTotals usable(ScreenTotals t) {
  if (t.table == nullptr) t.count = 0;
  return t;
}

bool extended(const ScreenTotals& t) { return t.coverage_valid != 0 && t.other != nullptr; }

}  // namespace

ScreenTotals handed_over_totals() {
  ScreenTotals t;
  screeninfo::pass_screen_info(&t.count, &t.table);
  screeninfo::pass_other_info(&t.other, &t.coverage_valid);
  return t;
}

int screen_coverage(const ScreenInfo& record, const PageGeometry& page, HostMessage message, double* fraction,
                    int32_t* left, int32_t* top, int32_t* right, int32_t* bottom, const char* label) {
  const double area = static_cast<double>(page.width) * static_cast<double>(page.height);
  *fraction = static_cast<double>(record.coverage) / area;
  if (*fraction > 1.0) {
    drav_message(message, DRAV_MSG_WARNING, "Coverage overflow=%.3f (set to 1.0), screen=%s,%.1f,%.1f", *fraction,
               record.dot != nullptr ? record.dot : label, record.ang, record.lpi);
    *fraction = 1.0;
  }
  if (record.coverage == 0) {
    *left = *top = *right = *bottom = 0;
    return 0;
  }
  if (record.bound_l >= 0 && record.bound_t >= 0 && record.bound_r <= page.width && record.bound_b <= page.height) {
    *left = page.mirror ? page.width - record.bound_r : record.bound_l;
    *top = record.bound_t;
    *right = page.mirror ? page.width - record.bound_l : record.bound_r;
    *bottom = record.bound_b;
    return 0;
  }
  drav_message(message, DRAV_MSG_WARNING, "screen bound overflow: l=%d, t=%d, r=%d, b=%d (set to 0,0,0,0)",
             record.bound_l, record.bound_t, record.bound_r, record.bound_b);
  *left = 0;
  *top = 0;
  *right = page.width - 1;
  *bottom = page.height - 1;
  return 0;
}

std::string screeninfo_tag_text(const ScreenTotals& totals, const PageGeometry& page, HostMessage message) {
  const ScreenTotals t = usable(totals);
  const Census census = take_census(t);
  return extended(t) ? extended_form(t, page, message, census) : plain_form(t, census.known, message);
}

int write_screeninfo_tag(const TagOutput& out, const PageGeometry& page, const ScreenTotals& totals) {
  std::string text;
  try {
    text = screeninfo_tag_text(totals, page, out.message);
  } catch (const std::bad_alloc&) {
    drav_message(out.message, DRAV_MSG_ERROR,
               extended(usable(totals)) ? "Write_screeninfo_tag: Not enough memory for tag string"
                                        : "write_screeninfo_tag: Not enough memory for tag string");
    return -1;
  }
  return out.sink.put(tagvocab::kScreenInfoTag, static_cast<int>(text.size() + 1), text.c_str());
}

int write_screeninfo_tag(const TagOutput& out, const PageGeometry& page) {
  return write_screeninfo_tag(out, page, handed_over_totals());
}

}  // namespace dravout
