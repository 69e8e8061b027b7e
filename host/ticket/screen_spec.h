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

namespace riphost {

// Dot shapes riphost screens with; the name is what the plug-in is told.
enum class DotShape { Round, Ellipse, Line };

// "round", "ellipse", "line".
const char* dot_name(DotShape dot) noexcept;

// The shape of a name (exact, lower case); false when there is none.
bool dot_from_name(std::string_view name, DotShape& dot) noexcept;

// Screen type of the RIP's own AM screens.
inline constexpr int kOwnScreenType = 1;

struct ScreenSpec {
  std::string where;        // "screens[0]" or "jobs[1].screens[0]"; empty for the built-in default
  std::string name;         // unique within the job
  double ruling = 150.0;    // lines per inch, > 0
  double angle = 45.0;      // degrees
  DotShape dot = DotShape::Round;
  int type = kOwnScreenType;  // the host's screen type code
  std::string screen_name;  // answered for get_screen_name; the name when not given
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
