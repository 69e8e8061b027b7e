// location.cpp - resolving "LOGICAL:resource" to the device file.
#include "location.h"

#include <array>
#include <cstring>

#include "ascii_case.h"
#include "decimal_text.h"
#include "device_description.h"
#include "fileutil.h"
#include "names.h"

namespace dravcfg {

// Resolves location to the device file it names.
Location resolve_location(const char* location) {
  Location result;
  if (location == nullptr) return result;
  const std::string_view text(location);
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return result;
  const std::string logical(text.substr(0, colon));
  const std::string_view resource = text.substr(colon + 1);

  // One byte more than the longest path shows a value lognam had to cut.
  std::array<char, dravoututil::kPathLimit + 2> folder{};
  if (lognam(logical.c_str(), folder.data(), folder.size()) == 0 || folder[0] == '\0') {
    return result;
  }
  if (!textutil::equal_ignoring_case(resource, kResourceName)) {
    result.kind = Location::Kind::fault;
    result.text = std::string(text) + ": unknown resource \"" + std::string(resource) +
                  "\" (known: " + std::string(kResourceName) + ")";
    return result;
  }
  const std::size_t length = std::strlen(folder.data());
  if (length > dravoututil::kPathLimit) {
    result.kind = Location::Kind::fault;
    result.text = std::string(text) + ": the folder " + logical + " names is longer than " +
                  dravoututil::decimal(dravoututil::kPathLimit) + " bytes";
    return result;
  }
  result.kind = Location::Kind::file;
  result.text = dravoututil::join_folder(std::string_view(folder.data(), length), kDeviceFileName);
  return result;
}

}  // namespace dravcfg
