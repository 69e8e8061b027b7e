// device_gamma.h - the device file's gamma at a job's resolution, which
// riphost applies to the contone ink it screens (docs/screening.md).
#ifndef RIPHOST_DEVICE_GAMMA_H
#define RIPHOST_DEVICE_GAMMA_H

#include <filesystem>
#include <optional>
#include <string>

namespace riphost {

// The gamma of the configuration config (empty: the file's default) of the
// device file in folder at ppi (the entry the plug-in takes: equal to within
// its tolerance). None when the file cannot be read or lists no such
// resolution: the plug-in reports the file's problems itself.
std::optional<double> device_gamma(const std::filesystem::path& folder, const std::string& config, double ppi);

}  // namespace riphost

#endif  // RIPHOST_DEVICE_GAMMA_H
