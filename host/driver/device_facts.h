// device_facts.h - what the device file says about films and
// configurations, for messages that tell a user what the device takes.
//
// The plug-in reads the device file itself; riphost reads it once more, with
// the same output utility library, only to explain the plug-in's terse
// texts: a page wider than the film gets the film's name and size, a
// resolution the configuration lacks gets the ones it has.
#ifndef RIPHOST_DEVICE_FACTS_H
#define RIPHOST_DEVICE_FACTS_H

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace riphost {

struct FilmFacts {
  std::string name;
  double length = 0.0;  // largest page height, thousandths of an inch
  double width = 0.0;   // largest page width, thousandths of an inch
};

struct ConfigurationFacts {
  std::string name;
  std::string film;
  std::vector<double> resolutions;  // pixels per inch, in file order
};

struct DeviceFacts {
  std::string file;  // the device file's path
  std::vector<FilmFacts> films;
  std::vector<ConfigurationFacts> configurations;
  std::string default_configuration;  // the one a job that names none gets

  // The configuration called name (without regard to case), or the default
  // one for an empty name; null when there is none.
  const ConfigurationFacts* configuration(std::string_view name) const noexcept;
  // The film called name (without regard to case); null when none is.
  const FilmFacts* film(std::string_view name) const noexcept;
};

// Reads "device.toml" of folder through the output utility library; nothing
// when it cannot be read (the checks and the plug-in say why).
std::optional<DeviceFacts> read_device_facts(const std::filesystem::path& folder);

// "1200, 2400" (at most 10 significant digits each).
std::string list_resolutions(const std::vector<double>& resolutions);

}  // namespace riphost

#endif  // RIPHOST_DEVICE_FACTS_H
