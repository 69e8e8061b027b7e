// device_gamma.cpp - reading the gamma through the output utility library.
#include "driver/device_gamma.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "drav_host.h"
#include "dravoututil.h"

namespace riphost {

namespace {

// The library reads the device folder through the host's options; a quiet
// table answers that one option while the gamma is read.
const char* asked_folder = nullptr;

int no_int(const char*, int*) { return 0; }
int no_real(const char*, double*) { return 0; }
int folder_option(const char* key, char* buffer) {
  if (asked_folder == nullptr || std::strcmp(key, "DEVICEDIR") != 0) return 0;
  std::snprintf(buffer, DRAV_OPTION_TEXT_SIZE, "%s", asked_folder);
  return 1;
}
void no_file(const char*, int) {}
__attribute__((format(printf, 2, 3))) int quiet(int, const char*, ...) { return 0; }

}  // namespace

std::optional<double> device_gamma(const std::filesystem::path& folder, const std::string& config, double ppi) {
  const std::string text = folder.string();
  if (text.size() >= DRAV_OPTION_TEXT_SIZE) return std::nullopt;
  HostCallbacks callbacks{no_int, no_real, folder_option, no_file, quiet};
  DravOptionDecl* options = nullptr;
  DravOutUtil* util = dravoututil_init(&callbacks, 0, &options);
  if (util == nullptr) return std::nullopt;
  asked_folder = text.c_str();
  DravResource** resdata = nullptr;
  std::optional<double> gamma;
  if (dravoututil_readresfile(util, config.c_str(), 0, &resdata) == 0 && resdata != nullptr && *resdata != nullptr) {
    const DravConfigRecord* selected = (*resdata)->selected;
    // The plug-in's tolerance for "the same resolution".
    const double tolerance = ppi * 1.1920928955078125e-7;
    for (int i = 0; selected != nullptr && i < selected->resolution_count; ++i) {
      if (std::fabs(selected->resolutions[i].resolution - ppi) < tolerance) {
        gamma = selected->resolutions[i].gamma;
        break;
      }
    }
  }
  asked_folder = nullptr;
  dravoututil_end(util);
  return gamma;
}

}  // namespace riphost
