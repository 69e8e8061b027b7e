// tavinfo_coverage.h - how much of the plate carries ink, and which part of
// it each screen, the copydot data and the solids make up.
//
// The total comes from the pixels themselves (set pixels over the page
// area; in a file stored reversed the ink is where pixels are clear). The
// parts come from the screen-information tag: its counted form gives each
// screen's share, the copydot share, and the runs of screens outside the
// selection; the solids it gives only when nothing else is listed. When the
// tag lists screens, the solids are what remains of the total.
#ifndef TAVINFO_COVERAGE_H
#define TAVINFO_COVERAGE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tag_vocabulary.h"
#include "tav.h"
#include "tavinfo_json.h"

namespace tavinfo {

// One part of the ink.
struct InkPart {
  enum class Kind { screen, other_screens, copydot, solids };
  Kind kind = Kind::screen;
  std::string name;      // dot shape of a screen; empty otherwise
  double ruling = 0.0;   // lines per inch (screens)
  double angle = 0.0;    // degrees (screens)
  double share = 0.0;    // of the page, 0 to 1
  bool remainder = false;  // solids: the rest of the total, not a figure of the tag
};

struct InkCoverage {
  uint64_t ink_pixels = 0;  // pixels with ink
  uint64_t page_pixels = 0;
  double share = 0.0;       // ink_pixels over page_pixels
  bool reversed = false;    // stored reversed: ink is where pixels are clear
  // From the screen-information tag: none without a tag of the counted form.
  bool screen_lines = false;  // the file has a readable screen-information tag
  bool counted = false;       // ... of the counted form, with shares
  std::vector<InkPart> parts;
};

// The coverage of a file from its pixel statistics, its mode flags and its
// screen-information lines (none when it has no readable tag).
InkCoverage SummarizeCoverage(const PixelStats& pixels, int mode,
                              const std::optional<std::vector<tagvocab::ScreenLine>>& lines);

// The same for a file: its mode and its screen-information tag.
InkCoverage CoverageOf(const tav::TavReader& reader, const PixelStats& pixels);

// The text listing's lines: the total first ("40.95 % of the page ..."),
// then one line per part, and a note on how the solids were found.
std::vector<std::string> DescribeCoverage(const InkCoverage& coverage);

// The same figures for --json.
Json CoverageJson(const InkCoverage& coverage);

// How the rows are stored, in words: "stored mirrored (right-reading when
// exposed)" or "stored as rendered (not mirrored)".
std::string DescribeOrientation(int mode);

}  // namespace tavinfo

#endif  // TAVINFO_COVERAGE_H
