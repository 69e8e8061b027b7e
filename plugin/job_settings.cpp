// job_settings.cpp - reads and checks the job's options once per job.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "c_locale.h"
#include "plugin_state.h"
#include "stages.h"
#include "text_util.h"

namespace dravout {
namespace {

// Size of the plug-in's buffer for every text option but "CONF".
constexpr std::size_t kOptionBufferSize = 260;
static_assert(kOptionBufferSize >= DRAV_OPTION_TEXT_SIZE);
static_assert(sizeof(PluginState::config_name) >= DRAV_OPTION_TEXT_SIZE);

// Asks the host for an integer option; fallback when it has none.
int32_t int_option(const char* key, int32_t fallback) {
  int value = 0;
  return host->get_int_option(key, &value) ? value : fallback;
}

// Asks the host for a real option; false when it has none.
bool real_option(const char* key, double* value) {
  double v = 0.0;
  if (!host->get_real_option(key, &v)) return false;
  *value = v;
  return true;
}

// Asks the host for a text option into buffer (size bytes, at least the
// host's limit); false when it has none. The text always ends inside buffer.
bool string_option(const char* key, char* buffer, std::size_t size) {
  std::memset(buffer, 0, size);
  if (!host->get_string_option(key, buffer)) {
    buffer[0] = '\0';
    return false;
  }
  buffer[size - 1] = '\0';
  return true;
}

// Margin in thousandths of an inch to a shift in pixels, rounded, negated.
int32_t margin_to_shift(double resolution, double margin) {
  const double pixels = std::trunc(resolution * margin / 1000.0 + 0.5);
  // A margin beyond any page cannot become a 32-bit shift; clamp, never
  // convert an out-of-range double.
  if (std::isnan(pixels)) return 0;
  if (!(pixels > -2147483647.0)) return 2147483647;
  if (!(pixels < 2147483647.0)) return -2147483647;
  return static_cast<int32_t>(-pixels);
}

// Derives the format code and the bits per pixel from "OFORMAT".
bool select_format(const char* value) {
  if (equals_ignore_case(value, "FW8B")) {
    state.tav_format = TAV_FORMAT_FW8B;
    state.out_bps = 1;
  } else if (equals_ignore_case(value, "FW88B")) {
    state.tav_format = TAV_FORMAT_FW88B;
    state.out_bps = 8;
  } else if (equals_ignore_case(value, "FW16B")) {
    state.tav_format = TAV_FORMAT_FW16B;
    state.out_bps = 1;
  } else {
    return false;
  }
  return true;
}

// Derives the compression code and the base mode flags from "OCOMPRESS".
bool select_compression(const char* value) {
  if (equals_ignore_case(value, "SUN")) {
    state.tav_compression = TAV_COMPRESS_NONE;
    state.tav_mode = 0x51;
  } else if (equals_ignore_case(value, "NONE")) {
    state.tav_compression = TAV_COMPRESS_NONE;
    state.tav_mode = 0x11;
  } else if (equals_ignore_case(value, "FLATE")) {
    state.tav_compression = TAV_COMPRESS_FLATE;
    state.tav_mode = 0x11;
  } else {
    return false;
  }
  return true;
}

// Warns when "RES" is none of the selected configuration's resolutions.
void check_resolution() {
  const DravResource* resource = state.resdata != nullptr ? *state.resdata : nullptr;
  const DravConfigRecord* config = resource != nullptr ? resource->selected : nullptr;
  if (config != nullptr && config->resolutions != nullptr) {
    const double tolerance = state.resolution * 1.1920928955078125e-7;
    for (int32_t i = 0; i < config->resolution_count; ++i) {
      if (std::fabs(state.resolution - config->resolutions[i].resolution) < tolerance) return;
    }
  }
  report(DRAV_MSG_WARNING, "Requested resolution (%.15g) not found in selected configuration (%s)",
         state.resolution, state.config_name);
}

}  // namespace

int parse_pair(const char* text, double* first, double* second) {
  if (text == nullptr) return 0;
  const char* paren = std::strchr(text, '(');
  int converted;
  {
    ScopedCLocale c_locale;
    converted = paren == nullptr ? std::sscanf(text, " %lf , %lf", first, second)
                                 : std::sscanf(paren, "( %lf , %lf", first, second);
  }
  // sscanf gives EOF when the text ends before the first conversion.
  if (converted < 0) converted = 0;
  // "inf" and "nan" scan as numbers but are no usable factor.
  if (converted >= 1 && !std::isfinite(*first)) return 0;
  if (converted == 2 && !std::isfinite(*second)) return 1;
  return converted;
}

// Reads every job option in order and loads the device's resource data.
int job_settings() {
  if (host == nullptr) return DRAV_ERR_OTHER;  // not opened
  char text[kOptionBufferSize];

  double res = 1000.0;
  real_option("RES", &res);
  state.resolution = res;
  state.reverse = int_option("REVERSE", 0);
  int left = 0;
  state.mirror = host->get_int_option("LEFT", &left) ? (left == 0 ? 1 : 0) : 1;

  if (!string_option("OFORMAT", text, sizeof text)) std::strcpy(text, "FW8B");
  if (!select_format(text)) {
    report(DRAV_MSG_ERROR, "Invalid format (%s) chosen", text);
    return DRAV_ERR_OTHER;
  }
  if (!string_option("OCOMPRESS", text, sizeof text)) std::strcpy(text, "FLATE");
  if (!select_compression(text)) {
    report(DRAV_MSG_ERROR, "Invalid type (%s) chosen", text);
    return DRAV_ERR_OTHER;
  }
  if (state.reverse != 0) state.tav_mode |= TAV_MODE_REVERSE;
  if (state.mirror != 0) state.tav_mode |= TAV_MODE_MIRROR;

  string_option("CONF", state.config_name, sizeof state.config_name);
  if (dravoututil_readresfile(util_handle, state.config_name, 0, &state.resdata) != 0) {
    report(DRAV_MSG_ERROR, "Something went wrong during the reading of the res-file");
    return DRAV_ERR_OTHER;
  }
  const DravResource* resource = state.resdata != nullptr ? *state.resdata : nullptr;
  if (resource != nullptr && state.config_name[0] == '\0') {
    copy_text(state.config_name, sizeof state.config_name, resource->config_name);
  }
  check_resolution();

  add_png_preview = int_option("dravout_addpngpreview", 0);
  output_png_preview = int_option("dravout_outputpagepngpreview", 0);
  png_preview_resolution = int_option("dravout_resolutionpngpreview", 1000);

  double margin = 0.0;
  state.vshift = real_option("JOB_MBOT", &margin) ? margin_to_shift(state.resolution, margin) : 0;
  state.hshift = real_option("JOB_MLFT", &margin) ? margin_to_shift(state.resolution, margin) : 0;

  state.vscale = state.hscale = 1.0;
  if (string_option("SCALE", text, sizeof text)) {
    double v = 1.0, h = 1.0;
    const int n = parse_pair(text, &v, &h);
    if (n == 2) {
      state.vscale = v;
      state.hscale = h;
    } else if (n == 1) {
      state.vscale = state.hscale = v;
    } else {
      report(DRAV_MSG_ERROR, "Could not correctly parse 'scale' option: %s", text);
    }
  }

  state.rotation = 0;
  int rot = 0;
  if (host->get_int_option("ROT", &rot)) {
    switch (rot) {
      case 0: state.rotation = 0; break;
      case 1: state.rotation = 270; break;
      case 2: state.rotation = 180; break;
      case 3: state.rotation = 90; break;
      default: report(DRAV_MSG_ERROR, "Invalid 'rot' option: %d", rot); break;
    }
  }
  state.tag_mirror = state.mirror;

  state.vdist = state.hdist = 1.0;
  if (string_option("SHREXP", text, sizeof text)) {
    double v = 0.0, h = 0.0;
    if (parse_pair(text, &v, &h) == 2) {
      state.vdist = v / 10000.0;
      state.hdist = h / 10000.0;
    } else {
      report(DRAV_MSG_ERROR, "Could not correctly parse 'shrexp' option: %s", text);
    }
  }
  return DRAV_OK;
}

}  // namespace dravout
