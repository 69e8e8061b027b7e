// screen_spec.h - the AM screens a job ticket describes.
//
// A job's screens come from the ticket's "screens" list and its own (a job's
// screen replaces a ticket screen of the same name). Separations name the
// screens of their selection; riphost answers the plug-in's questions about
// them and screens contone content with them.
#ifndef RIPHOST_SCREEN_SPEC_H
#define RIPHOST_SCREEN_SPEC_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace riphost {

// Dot shapes riphost screens with; the name is what the plug-in is told.
//   round      circular dots that meet at about 78 % and invert into round holes
//   euclidean  the cosine dot: square at 50 %
//   ellipse    a chain dot: joins along the screen's angle near 40 %, across
//              it near 60 %
//   line       lines along the screen's angle
//   fm         stochastic (frequency-modulated) dots of dot_size pixels
enum class DotShape { Round, Euclidean, Ellipse, Line, Fm };

// "round", "euclidean", "ellipse", "line", "fm".
const char* dot_name(DotShape dot) noexcept;

// The shape of a name (exact, lower case); false when there is none.
bool dot_from_name(std::string_view name, DotShape& dot) noexcept;

// Screen type of the RIP's own AM screens.
inline constexpr int kOwnScreenType = 1;
// Screen type of the RIP's own FM screens (also one of its own types, so the
// plug-in lists them with their coverage).
inline constexpr int kFmScreenType = 16;

// One point of a transfer curve, both in percent (0 to 100): ink asked for
// and ink printed.
struct TransferPoint {
  double input = 0.0;
  double output = 0.0;
};
// A transfer curve: points with strictly increasing inputs and outputs that
// never decrease; (0, 0) and (100, 100) hold where the curve does not name
// its ends. Empty: ink is printed as asked.
using TransferCurve = std::vector<TransferPoint>;

// What tints below a screen's minimum dot print as.
enum class BelowMinDot { Paper, MinDot };
// What tints above a screen's maximum dot print as.
enum class AboveMaxDot { MaxDot, Solid };

// The tone limits and curve of a screen (see docs/screening.md).
struct ScreenCalibration {
  TransferCurve transfer;  // the screen's own curve, after the ink's
  double min_dot = 0.0;    // percent; 0: none
  BelowMinDot below_min = BelowMinDot::Paper;
  double max_dot = 100.0;  // percent; 100: none
  AboveMaxDot above_max = AboveMaxDot::MaxDot;
};

struct ScreenSpec {
  std::string where;        // "screens[0]" or "jobs[1].screens[0]"; empty for the built-in default
  std::string name;         // unique within the job
  double ruling = 150.0;    // lines per inch, > 0
  double angle = 45.0;      // degrees
  DotShape dot = DotShape::Round;
  int type = kOwnScreenType;  // the host's screen type code
  std::string screen_name;  // answered for get_screen_name; the name when not given
  int dot_size = 1;         // fm: side of a dot in device pixels
  ScreenCalibration calibration;
};

// The screen a job uses where a separation names none and the ticket names
// no "default_screen" nor defines a screen called "default".
inline constexpr const char* kDefaultScreenName = "default";
inline constexpr double kDefaultRuling = 150.0;
inline constexpr double kDefaultAngle = 45.0;

// Default handles of a job's screens, base + index * step: an aligned base
// and one descriptor per step, as a RIP handing out the addresses of its
// screen descriptors would.
inline constexpr std::uint32_t kScreenHandleBase = 0x0A100000u;
inline constexpr std::uint32_t kScreenHandleStep =
    static_cast<std::uint32_t>((sizeof(ScreenSpec) + 15) & ~std::size_t{15});

}  // namespace riphost

#endif  // RIPHOST_SCREEN_SPEC_H
