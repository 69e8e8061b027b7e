// location.h - what a location such as "QZ_RIPPAR:dv_config.res" names.
#ifndef DRAVCFG_LOCATION_H
#define DRAVCFG_LOCATION_H

#include <string>
#include <string_view>

namespace dravcfg {

// The one resource name there is; it maps to the device file.
inline constexpr std::string_view kResourceName = "dv_config.res";

// The device file in the device folder (the output utility library's).
inline constexpr std::string_view kDeviceFileName = "device.toml";

// The outcome of resolving a location.
struct Location {
  enum class Kind {
    none,   // no device folder named: no colon, or the logical name is empty,
            // not defined or defined as empty
    file,   // text is the device file's path
    fault   // text is the reason the location cannot be used
  };
  Kind kind = Kind::none;
  std::string text;
};

// Splits location at its first colon, looks the logical name before it up
// with lognam (the device folder) and maps the resource name after it
// (kResourceName, compared without regard to the case of A-Z) to
// "<folder>/device.toml". A folder name lognam may have cut (longer than the
// device file's path limit) is a fault, never used cut.
Location resolve_location(const char* location);

}  // namespace dravcfg

#endif  // DRAVCFG_LOCATION_H
