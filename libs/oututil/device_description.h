// device_description.h - the device file's contents as plain C++ values, and
// the two steps around them: reading the file, and laying the selected
// description out in the resource records the plug-in reads.
#ifndef DRAVOUTUTIL_DEVICE_DESCRIPTION_H
#define DRAVOUTUTIL_DEVICE_DESCRIPTION_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dravoututil.h"

namespace dravoututil {

// Longest texts the records hold (the field size less its zero byte).
inline constexpr std::size_t kNameLimit = sizeof(DravFilmEntry::name) - 1;                   // 255
inline constexpr std::size_t kGammaTextLimit = sizeof(DravResolutionEntry::gamma_text) - 1;  // 551
inline constexpr std::size_t kPathLimit = sizeof(DravResource::file_path) - 1;               // 1023

inline constexpr int kMaxDeflateLevel = 12;
inline constexpr int kMaxCompressionThreads = 64;

// Largest device file read, in bytes; a hand-written file is far smaller.
inline constexpr std::size_t kDeviceFileLimit = std::size_t{1} << 20;

struct FilmDescription {
  std::string name;
  double length = 0;  // thousandths of an inch
  double width = 0;   // thousandths of an inch
};

struct ResolutionDescription {
  std::string label;
  double resolution = 0;  // pixels per inch
  double gamma = 0;
  std::string gamma_text;
};

struct ConfigurationDescription {
  std::string name;
  std::string film;
  std::size_t film_line = 0;    // where "film" is written (0: unknown)
  std::size_t film_column = 0;
  bool is_default = false;
  int deflate_level = 0;        // 1..12, 0: the writer's default
  int compression_threads = 0;  // 1..64, 0: the writer's default
  std::vector<ResolutionDescription> resolutions;
};

struct DeviceDescription {
  std::string path;  // the file read
  std::vector<FilmDescription> films;
  std::vector<ConfigurationDescription> configurations;
};

// Reads and checks the device file path (docs/device-file.md). Throws
// Failure with "<path>:<line>:<column>: <reason>" (or "<path>: <reason>")
// when the file cannot be read, is not valid TOML, or breaks a rule.
DeviceDescription read_device_file(const std::string& path);

// Index of the configuration named wanted (compared without regard to case),
// or, when wanted is empty, of the one marked default, else the first.
// Throws Failure when no configuration has that name, listing the names
// there are.
std::size_t select_configuration(const DeviceDescription& device, std::string_view wanted);

// Index in device.films of the film the configuration uses (compared
// without regard to case, as the plug-in looks it up); throws Failure with
// the file, the line of its "film" key, and the films there are when the
// film table does not list it.
std::size_t film_of_configuration(const DeviceDescription& device, std::size_t configuration);

// Checks the device folder as a job would use it: reads <folder>/device.toml
// (read_device_file), selects wanted (select_configuration) and finds its
// film (film_of_configuration). Throws Failure with the reason.
void check_device_folder(const std::string& folder, std::string_view wanted);

// The resource records of one device file, owned together.
class ResourceData {
 public:
  ResourceData(const ResourceData&) = delete;
  ResourceData& operator=(const ResourceData&) = delete;

  // Lays device out with configuration number selected chosen.
  ResourceData(const DeviceDescription& device, std::size_t selected);

  DravResource* record() { return resource_.get(); }

 private:
  std::unique_ptr<DravResource> resource_;
  std::vector<DravFilmEntry> films_;
  std::vector<DravConfigRecord> configurations_;
  std::vector<std::vector<DravResolutionEntry>> resolutions_;
};

}  // namespace dravoututil

#endif  // DRAVOUTUTIL_DEVICE_DESCRIPTION_H
