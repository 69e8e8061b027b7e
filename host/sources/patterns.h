// patterns.h - built-in test patterns, rendered row by row.
//
//   checker  squares of "cell" pixels (default 64), ink in the top-left one
//   bars     vertical bars of "bar" pixels (default 32), ink first
//   ramp     a grey ramp from no ink (left) to full ink (right), 8 x 8
//            ordered dither
//   target   concentric rings of "ring" pixels (default min(width,height)/40)
//            around the page centre, a frame, and a large "F" near the
//            top-left corner so that mirroring and rotation are visible
#ifndef RIPHOST_PATTERNS_H
#define RIPHOST_PATTERNS_H

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sources/row_source.h"

namespace riphost {

// Largest value of a pattern parameter (and of a page side).
inline constexpr int kMaxPatternParameter = 1 << 24;

// The parameter names a pattern takes, or null when there is no such pattern.
const std::vector<std::string>* pattern_parameters(std::string_view name);

// The pattern names, for messages: "bars, checker, ramp, target".
std::string pattern_names();

// Makes the row source of a pattern; content names a known pattern whose
// parameters lie in 1..kMaxPatternParameter.
std::unique_ptr<RowSource> make_pattern(const ContentSource& content, int width, int height);

}  // namespace riphost

#endif  // RIPHOST_PATTERNS_H
