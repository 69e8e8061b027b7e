// plugin_advice.cpp - the fix for each plug-in message a ticket can cause.
#include "driver/plugin_advice.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace riphost {

namespace {

// The plug-in's formats riphost has a line for.
constexpr const char* kBadFormat = "Invalid format (%s) chosen";
constexpr const char* kBadCompression = "Invalid type (%s) chosen";
constexpr const char* kUnreadableDevice = "Something went wrong during the reading of the res-file";
constexpr const char* kMissingResolution = "Requested resolution (%.15g) not found in selected configuration (%s)";
constexpr const char* kTooHigh = "Job height too big (%d > %d)";
constexpr const char* kTooWide = "Job width too big (%d > %d)";
constexpr const char* kMissingFilm = "Film (%s) in selected configuration (%s) not found";
constexpr const char* kBadRotation = "Invalid 'rot' option: %d";
constexpr const char* kBadScale = "Could not correctly parse 'scale' option: %s";
constexpr const char* kBadShrexp = "Could not correctly parse 'shrexp' option: %s";
constexpr const char* kTrailingText = "Ignored what follows the numbers of '%s' option: %s";
constexpr const char* kBadNumber = "Invalid '%s' option: %g";
constexpr const char* kBadRes = "Invalid 'RES' option: %g";
constexpr const char* kBadBps = "Invalid bps (%d)";

// printf into a string.
__attribute__((format(printf, 1, 2))) std::string format_text(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// A number without trailing zeros: 762, 846.7, 33.33.
std::string short_number(double value, int decimals) {
  std::string text = format_text("%.*f", decimals, value);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  return text;
}

// Thousandths of an inch as "762 mm (30 in)".
std::string describe_mils(double mils) {
  return short_number(mils * 0.0254, 1) + " mm (" + short_number(mils / 1000.0, 2) + " in)";
}

// A text argument that may be null.
std::string text_of(const char* text) { return text ? std::string(text) : std::string(); }

// ", or choose configuration X (film F, 1016 mm (40 in)) with "CONF"" for
// the first other configuration whose film takes size pixels at ppi.
std::string larger_film(const DeviceFacts& device, const ConfigurationFacts& current, int size, double ppi,
                        bool width) {
  for (const ConfigurationFacts& other : device.configurations) {
    const FilmFacts* film = device.film(other.film);
    if (&other == &current || !film || !(ppi > 0.0)) continue;
    const double mils = width ? film->width : film->length;
    if (static_cast<double>(size) <= std::trunc((ppi * mils + 500.0) / 1000.0)) {
      return ", or choose configuration " + other.name + " (film " + film->name + ", " + describe_mils(mils) +
             ") with \"CONF\"";
    }
  }
  return "";
}

}  // namespace

std::string describe_length(double pixels, double ppi) {
  if (!(ppi > 0.0)) return short_number(pixels, 0) + " pixels";
  return describe_mils(pixels / ppi * 1000.0);
}

// The format decides; every other message gets nothing.
std::string PluginAdvisor::advise(const char* format, va_list args) {
  if (!format) return "";
  auto is = [format](const char* known) { return std::strcmp(format, known) == 0; };
  if (is(kBadFormat)) return bad_format(args);
  if (is(kBadCompression)) return bad_compression(args);
  if (is(kUnreadableDevice)) return unreadable_device();
  if (is(kMissingResolution)) return missing_resolution(args);
  if (is(kTooHigh)) return page_too_big(args, false);
  if (is(kTooWide)) return page_too_big(args, true);
  if (is(kMissingFilm)) return missing_film(args);
  if (is(kBadRotation)) return bad_rotation(args);
  if (is(kBadScale)) return bad_pair(args, true);
  if (is(kBadShrexp)) return bad_pair(args, false);
  if (is(kTrailingText)) return trailing_text(args);
  if (is(kBadNumber)) return bad_margin(args);
  if (is(kBadRes)) return place_of("RES") + ": a resolution in pixels per inch greater than 0; 1000 is used";
  if (is(kBadBps)) return bad_bps(args);
  return "";
}

std::string PluginAdvisor::place_of(const char* key) const {
  const OptionEntry* entry = context_.options ? context_.options->find_entry(key) : nullptr;
  return entry ? entry->where : std::string(key);
}

// The job's CONF, or "" for the device file's default.
std::string PluginAdvisor::configuration_name() const {
  const OptionValue* conf = context_.options ? context_.options->find("CONF") : nullptr;
  const auto* text = conf ? std::get_if<std::string>(conf) : nullptr;
  return text ? *text : std::string();
}

// Read once, when a message first needs them.
const DeviceFacts* PluginAdvisor::facts() {
  if (!facts_read_) {
    facts_read_ = true;
    if (!context_.device_dir.empty()) facts_ = read_device_facts(context_.device_dir);
  }
  return facts_ ? &*facts_ : nullptr;
}

std::string PluginAdvisor::bad_format(va_list args) const {
  const std::string value = text_of(va_arg(args, const char*));
  return place_of("OFORMAT") + ": \"" + value +
         "\" is no TAV format: give \"FW8B\" (1 bit per pixel, the default), \"FW88B\" (8 bits per pixel) or "
         "\"FW16B\"";
}

std::string PluginAdvisor::bad_compression(va_list args) const {
  const std::string value = text_of(va_arg(args, const char*));
  return place_of("OCOMPRESS") + ": \"" + value +
         "\" is no compression: give \"FLATE\" (Deflate, the default), \"SUN\" (PackBits) or \"NONE\"";
}

// A CONF the device file lacks; other reasons come from the library itself.
std::string PluginAdvisor::unreadable_device() {
  const std::string name = configuration_name();
  const DeviceFacts* device = facts();
  if (name.empty() || !device || device->configuration(name)) return "";
  std::string known;
  for (const ConfigurationFacts& entry : device->configurations) known += (known.empty() ? "" : ", ") + entry.name;
  return place_of("CONF") + ": the device file " + device->file + " has no configuration \"" + name +
         "\"; it has " + known;
}

std::string PluginAdvisor::missing_resolution(va_list args) {
  const double resolution = va_arg(args, double);
  const std::string configuration = text_of(va_arg(args, const char*));
  const std::string place = place_of("RES");
  const std::string value = short_number(resolution, 4) + " ppi";
  const DeviceFacts* device = facts();
  const ConfigurationFacts* selected = device ? device->configuration(configuration) : nullptr;
  if (!selected) return place + ": " + value + " is not a resolution of configuration " + configuration;
  std::string advice = place + ": " + value + " is not a resolution of configuration " + selected->name +
                       " (it has " + list_resolutions(selected->resolutions) + " ppi); give one of those";
  for (const ConfigurationFacts& other : device->configurations) {
    for (double candidate : other.resolutions) {
      if (&other != selected && std::fabs(candidate - resolution) < resolution * 1.1920928955078125e-7) {
        return advice + ", or choose configuration " + other.name + " with \"CONF\"";
      }
    }
  }
  return advice;
}

std::string PluginAdvisor::page_too_big(va_list args, bool width) {
  const int size = va_arg(args, int);
  const int limit = va_arg(args, int);
  const double ppi = context_.job ? context_.job->ppi : 0.0;
  const std::string where = context_.page ? context_.page->where : std::string("the page");
  std::string advice = where + ": the page is " + std::to_string(size) + " pixels " + (width ? "wide" : "high") +
                       ", " + describe_length(size, ppi) + " at " + short_number(ppi, 4) + " ppi; ";
  const DeviceFacts* device = facts();
  const ConfigurationFacts* configuration = device ? device->configuration(configuration_name()) : nullptr;
  const FilmFacts* film = configuration ? device->film(configuration->film) : nullptr;
  if (film) {
    advice += "film " + film->name + " of configuration " + configuration->name + " takes at most " +
              std::to_string(limit) + " pixels, " + describe_mils(width ? film->width : film->length);
    advice += larger_film(*device, *configuration, size, ppi, width);
    // The plug-in stops at the height: say whether the width fits, too.
    const double width_limit = std::trunc((ppi * film->width + 500.0) / 1000.0);
    if (!width && context_.page && static_cast<double>(context_.page->width) > width_limit) {
      advice += "; the page is too wide as well: " + std::to_string(context_.page->width) + " pixels, at most " +
                short_number(width_limit, 0) + " (" + describe_mils(film->width) + ")";
    }
  } else {
    advice += "the film takes at most " + std::to_string(limit) + " pixels, " + describe_length(limit, ppi);
  }
  return advice;
}

std::string PluginAdvisor::missing_film(va_list args) {
  const std::string film = text_of(va_arg(args, const char*));
  const std::string configuration = text_of(va_arg(args, const char*));
  const DeviceFacts* device = facts();
  std::string advice = "device: configuration " + configuration + " uses film \"" + film + "\", which the device file";
  if (!device) return advice + " does not list";
  std::string films;
  for (const FilmFacts& entry : device->films) films += (films.empty() ? "" : ", ") + entry.name;
  return advice + " " + device->file + " does not list" + (films.empty() ? " (it lists no film)" : " (films: " + films + ")");
}

std::string PluginAdvisor::bad_rotation(va_list args) const {
  const int code = va_arg(args, int);
  return place_of("ROT") + ": " + std::to_string(code) +
         " is no rotation: give 0, 1, 2 or 3 quarter turns (0, 270, 180 or 90 degrees); 0 is used";
}

std::string PluginAdvisor::bad_pair(va_list args, bool scale) const {
  (void)va_arg(args, const char*);
  if (scale) {
    return place_of("SCALE") +
           ": give one factor (\"1.02\") or two, vertical and horizontal (\"1.02, 0.98\"), each greater than 0 "
           "and at most 1000; 1.0 is used";
  }
  return place_of("SHREXP") +
         ": give two numbers in ten-thousandths, vertical and horizontal (\"9950, 10000\" shrinks the height by "
         "0.5 %); no distortion is used";
}

std::string PluginAdvisor::trailing_text(va_list args) const {
  const std::string key = text_of(va_arg(args, const char*));
  return place_of(key.c_str()) + ": write the numbers alone (\"1.02, 0.98\") or in parentheses (\"(1.02, 0.98)\")";
}

std::string PluginAdvisor::bad_margin(va_list args) const {
  const char* key = va_arg(args, const char*);
  const std::string name = text_of(key);
  if (!iequals(name, "JOB_MBOT") && !iequals(name, "JOB_MLFT")) return "";
  return place_of(name.c_str()) + ": a margin in thousandths of an inch (1000 = 25.4 mm); 0 is used";
}

std::string PluginAdvisor::bad_bps(va_list args) const {
  (void)va_arg(args, int);
  const std::string where = context_.job ? context_.job->where + ".bps" : std::string("bps");
  return where + ": riphost and the plug-in write 1 bit per sample: give 1 (or leave it out)";
}

}  // namespace riphost
