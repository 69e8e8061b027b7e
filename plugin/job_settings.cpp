// job_settings.cpp - reads and checks the job's options once per job.
#include <cmath>
#include <cstdio>
#include <cstdlib>
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
// False when the margin is no number or its shift does not fit 32 bits
// (every shift from -2147483648 to 2147483647 does).
bool margin_to_shift(double resolution, double margin, int32_t* shift) {
  const double negated = -std::trunc(resolution * margin / 1000.0 + 0.5);
  if (!(negated >= -2147483648.0 && negated <= 2147483647.0)) return false;
  *shift = static_cast<int32_t>(negated);
  return true;
}

// Reads a margin option into a shift; a bad value is reported, shift 0.
int32_t margin_option(const char* key) {
  double margin = 0.0;
  if (!real_option(key, &margin)) return 0;
  int32_t shift = 0;
  if (!margin_to_shift(state.resolution, margin, &shift)) {
    report(DRAV_MSG_ERROR, "Invalid '%s' option: %g", key, margin);
    return 0;
  }
  return shift;
}

// Largest scale or distortion factor taken: far beyond any film, and small
// enough that the transformation text always has room for it.
constexpr double kMaxFactor = 1000.0;

// True for a usable scale or distortion factor.
bool usable_factor(double factor) { return factor > 0.0 && factor <= kMaxFactor; }

// Reads a "SCALE" or "SHREXP" text with the pair parser. Numbers that are no
// usable factor (after dividing by divisor) count as a text that could not be
// parsed; text that does not fit the form after the numbers is reported as a
// warning and ignored, but only when the numbers are taken (at least needed
// of them): a refused text gets the caller's one report. Returns how many
// usable numbers were read (0 to 2).
int factor_pair(const char* key, const char* text, double divisor, int needed, double* first, double* second) {
  double a = 0.0, b = 0.0;
  bool clean = true;
  const int n = parse_pair(text, &a, &b, &clean);
  if (n >= 1 && !usable_factor(a / divisor)) return 0;
  if (n == 2 && !usable_factor(b / divisor)) return 0;
  if (n >= needed && !clean) {
    report(DRAV_MSG_WARNING, "Ignored what follows the numbers of '%s' option: %s", key, text);
  }
  *first = a / divisor;
  *second = b / divisor;
  return n;
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

int parse_pair(const char* text, double* first, double* second, bool* clean) {
  if (clean != nullptr) *clean = true;
  if (text == nullptr) return 0;
  // The forms "a, b", "(a, b" and "xyz(a, b": from the first "(" when
  // there is one. Numbers are read as the C library reads a double, in the
  // "C" locale.
  const char* at = std::strchr(text, '(');
  const bool parenthesis = at != nullptr;
  if (!parenthesis) at = text;
  else ++at;
  ScopedCLocale c_locale;
  auto skip_space = [](const char* p) {
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    return p;
  };
  auto number = [&](const char*& p, double* value) {
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    if (end == p) return false;
    *value = v;
    p = end;
    return true;
  };
  int converted = 0;
  double a = 0.0, b = 0.0;
  if (number(at, &a)) {
    converted = 1;
    const char* after_first = skip_space(at);
    if (*after_first == ',') {
      const char* second_at = after_first + 1;
      if (number(second_at, &b)) {
        converted = 2;
        at = second_at;
      } else {
        at = after_first;  // a comma without a second number
      }
    }
  }
  if (converted >= 1) *first = a;
  if (converted == 2) *second = b;
  // "inf" and "nan" scan as numbers but are no usable value.
  if (converted >= 1 && !std::isfinite(a)) return 0;
  if (converted == 2 && !std::isfinite(b)) return 0;
  if (clean != nullptr && converted > 0) {
    const char* rest = skip_space(at);
    if (parenthesis && *rest == ')') rest = skip_space(rest + 1);
    else if (parenthesis) *clean = false;  // "(" never closed
    if (*rest != '\0') *clean = false;
  }
  return converted;
}

// Reads every job option in order and loads the device's resource data.
int job_settings() {
  if (!require_open()) return DRAV_ERR_OTHER;
  call_order.settings_read = false;
  char text[kOptionBufferSize];

  double res = 1000.0;
  if (real_option("RES", &res) && !(std::isfinite(res) && res > 0.0)) {
    // Every shift and the resolution check divide by it or scale with it.
    report(DRAV_MSG_ERROR, "Invalid 'RES' option: %g", res);
    res = 1000.0;
  }
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

  state.vshift = margin_option("JOB_MBOT");
  state.hshift = margin_option("JOB_MLFT");

  state.vscale = state.hscale = 1.0;
  if (string_option("SCALE", text, sizeof text)) {
    double v = 1.0, h = 1.0;
    const int n = factor_pair("scale", text, 1.0, 1, &v, &h);
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
    double v = 1.0, h = 1.0;
    if (factor_pair("shrexp", text, 10000.0, 2, &v, &h) == 2) {
      state.vdist = v;
      state.hdist = h;
    } else {
      report(DRAV_MSG_ERROR, "Could not correctly parse 'shrexp' option: %s", text);
    }
  }
  call_order.settings_read = true;
  return DRAV_OK;
}

}  // namespace dravout
