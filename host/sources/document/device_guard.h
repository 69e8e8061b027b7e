// device_guard.h - keeping a PostScript program off the inks riphost sets.
//
// riphost sets up Ghostscript's display device for separations (the inks,
// their order, room for spot colours, the resolution). A PostScript program
// may ask its own page device for other values (a program written for a
// proofing device often sets PageSpotColors, a printer's program its
// resolution), which would undo that setup: the plates come out empty or
// with inks in the wrong places, or Ghostscript crashes. The guard, run
// after riphost's own setup and before the program, drops those keys from
// what the program asks through setpagedevice and putdeviceprops, and
// checks before every page is printed that the device still has the inks
// it was given; when it has not (a program that reaches the device another
// way) the run stops with a PostScript error and a marker line naming the
// key, so that the page is refused instead of written empty.
#ifndef RIPHOST_DEVICE_GUARD_H
#define RIPHOST_DEVICE_GUARD_H

#include <optional>
#include <string>
#include <vector>

namespace riphost {

// The PostScript to run after riphost's own page device setup and before
// the program, in parts for command_pieces (ghostscript_session.h): it
// keeps the device's values and guards them. It only defines names in
// userdict, which -dSAFER permits.
std::vector<std::string> page_device_guard();

// The page device key the program changed, when Ghostscript's standard
// output holds the guard's marker.
std::optional<std::string> changed_device_key(const std::string& output);

// The message for a program that changed the device's inks.
std::string changed_inks_problem(const std::string& key);

}  // namespace riphost

#endif  // RIPHOST_DEVICE_GUARD_H
