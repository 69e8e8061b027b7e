// ticket.cpp - reading and checking the job ticket.
#include "ticket/ticket.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <map>
#include <new>
#include <system_error>

#include "drav_host.h"
#include "common/host_error.h"
#include "sources/image_reader.h"
#include "sources/patterns.h"
#include "screening_hooks.h"
#include "ticket/ticket_json.h"

namespace riphost {

namespace {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

// Longest text option and name: get_string_option writes them with their zero.
constexpr std::size_t kMaxText = DRAV_OPTION_TEXT_SIZE - 1;

// The place of key inside where, e.g. "jobs[0]" + "ppi" -> "jobs[0].ppi".
std::string place(const std::string& where, std::string_view key) {
  return where.empty() ? std::string(key) : where + "." + std::string(key);
}

// The place of element index of the list key inside where.
std::string place(const std::string& where, std::string_view key, std::size_t index) {
  return place(where, key) + "[" + std::to_string(index) + "]";
}

// Names the kind of a JSON value for messages.
const char* json_kind(const Json& value) {
  switch (value.type()) {
    case Json::value_t::string: return "a text";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: return "an integer";
    case Json::value_t::number_float: return "a real";
    case Json::value_t::object: return "an object";
    case Json::value_t::array: return "a list";
    case Json::value_t::boolean: return "true or false";
    case Json::value_t::null: return "null";
    default: return "an unusable value";
  }
}

// Refuses a value that is not an object.
void require_object(const Json& value, const std::string& where) {
  if (!value.is_object()) throw HostError(where + ": expected an object, found " + json_kind(value));
}

// Refuses a value that is not a non-empty list.
void require_list(const Json& value, const std::string& where) {
  if (!value.is_array()) throw HostError(where + ": expected a list, found " + json_kind(value));
  if (value.empty()) throw HostError(where + ": the list is empty");
}

// Collects the problems of one ticket check.
class Problems {
 public:
  explicit Problems(std::vector<std::string>& list) noexcept : list_(list) {}

  void add(std::string problem) { list_.push_back(std::move(problem)); }

  // Runs step; a HostError it throws becomes a problem. True when the step
  // went through.
  template <typename Step>
  bool attempt(Step&& step) {
    try {
      step();
      return true;
    } catch (const TicketError& error) {
      for (const std::string& problem : error.problems()) add(problem);
    } catch (const HostError& error) {
      add(error.what());
    }
    return false;
  }

 private:
  std::vector<std::string>& list_;
};

// Reports every key of object outside allowed.
void check_keys(const Json& object, const std::string& where, const std::vector<std::string>& allowed,
                Problems& problems) {
  for (const auto& [key, value] : object.items()) {
    if (std::find(allowed.begin(), allowed.end(), key) != allowed.end()) continue;
    std::string list;
    for (const std::string& name : allowed) list += (list.empty() ? "" : ", ") + name;
    problems.add(place(where, key) + ": unknown key (expected one of: " + list + ")");
  }
}

// The member key of object, or null.
const Json* member(const Json& object, const char* key) {
  auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

// The member key of object; throws when it is missing.
const Json& required(const Json& object, const std::string& where, const char* key) {
  const Json* value = member(object, key);
  if (!value) throw HostError(place(where, key) + ": missing");
  return *value;
}

// An integer within [low, high]; an integral real is taken too.
long long to_integer(const Json& value, const std::string& where, long long low, long long high) {
  long double number;
  if (value.is_number_unsigned()) {
    number = static_cast<long double>(value.get<std::uint64_t>());
  } else if (value.is_number_integer()) {
    number = static_cast<long double>(value.get<std::int64_t>());
  } else if (value.is_number_float()) {
    double real = value.get<double>();
    if (real != std::trunc(real)) throw HostError(where + ": expected an integer, found " + format_real(real));
    number = real;
  } else {
    throw HostError(where + ": expected an integer, found " + json_kind(value));
  }
  if (number < low || number > high) {
    throw HostError(where + ": must be between " + std::to_string(low) + " and " + std::to_string(high));
  }
  return static_cast<long long>(number);
}

// An int within [low, high].
int to_int(const Json& value, const std::string& where, long long low, long long high) {
  return static_cast<int>(to_integer(value, where, low, high));
}

// A real in (0, high].
double to_positive_real(const Json& value, const std::string& where, double high) {
  if (!value.is_number()) throw HostError(where + ": expected a number, found " + json_kind(value));
  double real = value.get<double>();
  if (!(real > 0.0) || real > high) {
    throw HostError(where + ": must be greater than 0 and at most " + format_real(high));
  }
  return real;
}

// A text of 1 to kMaxText bytes without zero bytes.
std::string to_text(const Json& value, const std::string& where) {
  if (!value.is_string()) throw HostError(where + ": expected a text, found " + json_kind(value));
  std::string text = value.get<std::string>();
  if (text.empty()) throw HostError(where + ": empty text");
  if (text.size() > kMaxText) {
    throw HostError(where + ": text of " + std::to_string(text.size()) + " bytes; at most " +
                    std::to_string(kMaxText) + " are allowed");
  }
  if (text.find('\0') != std::string::npos) throw HostError(where + ": text contains a zero byte");
  return text;
}

// Keys every object may carry for the reader's benefit; their value is ignored.
constexpr const char* kCommentKey = "comment";

// One option of a level, added to options.
void read_option(const std::string& key, const Json& item, const std::string& where, OptionSet& options) {
  std::string at = place(where, key);
  if (key.empty()) throw HostError(where + ": option with an empty name");
  if (iequals(key, kDeviceDirKey)) throw HostError(at + ": set by riphost from the ticket's \"device\"");
  if (iequals(key, kOutDirKey)) throw HostError(at + ": set by riphost from the ticket's \"output\"");
  if (iequals(key, kJobNameKey)) throw HostError(at + ": set by riphost from the job's \"name\"");
  OptionValue option;
  if (item.is_number_unsigned()) {
    std::uint64_t number = item.get<std::uint64_t>();
    if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      throw HostError(at + ": integer out of range");
    }
    option = static_cast<std::int64_t>(number);
  } else if (item.is_number_integer()) {
    option = item.get<std::int64_t>();
  } else if (item.is_number_float()) {
    option = item.get<double>();
  } else if (item.is_string()) {
    std::string text = item.get<std::string>();
    if (text.size() > kMaxText) {
      throw HostError(at + ": text of " + std::to_string(text.size()) + " bytes; options take at most " +
                      std::to_string(kMaxText));
    }
    if (text.find('\0') != std::string::npos) throw HostError(at + ": text contains a zero byte");
    option = std::move(text);
  } else {
    throw HostError(at + ": expected a number or a text, found " + json_kind(item));
  }
  options.add(key, std::move(option), at);
}

// The option values of one level. Texts are refused beyond kMaxText bytes
// rather than cut later; keys that riphost sets itself are refused; a
// "comment" is no option. Each bad option is one problem.
OptionSet read_options(const Json& value, const std::string& where, Problems& problems) {
  OptionSet options;
  if (!problems.attempt([&] { require_object(value, where); })) return options;
  for (const auto& [key, item] : value.items()) {
    if (key == kCommentKey) continue;
    problems.attempt([&, &key = key, &item = item] { read_option(key, item, where, options); });
  }
  return options;
}


// Highest screen ruling, lines per inch.
constexpr double kMaxRuling = 10000.0;
// Highest screen type code.
constexpr long long kMaxScreenType = 65535;

// One screen descriptor.
ScreenSpec read_screen(const Json& value, const std::string& where, Problems& problems) {
  ScreenSpec screen;
  screen.where = where;
  require_object(value, where);
  check_keys(value, where, {"name", "ruling", "angle", "dot", "type", "screen_name", kCommentKey}, problems);
  problems.attempt([&] { screen.name = to_text(required(value, where, "name"), place(where, "name")); });
  problems.attempt([&] {
    screen.ruling = to_positive_real(required(value, where, "ruling"), place(where, "ruling"), kMaxRuling);
  });
  problems.attempt([&] {
    const Json& angle = required(value, where, "angle");
    if (!angle.is_number()) throw HostError(place(where, "angle") + ": expected a number, found " + json_kind(angle));
    const double degrees = angle.get<double>();
    if (!(degrees >= -360.0 && degrees <= 360.0)) {
      throw HostError(place(where, "angle") + ": must be between -360 and 360 degrees");
    }
    screen.angle = degrees;
  });
  if (const Json* dot = member(value, "dot")) {
    problems.attempt([&] {
      std::string text = to_text(*dot, place(where, "dot"));
      if (!dot_from_name(text, screen.dot)) {
        throw HostError(place(where, "dot") + ": unknown dot shape \"" + text + "\" (known: round, ellipse, line)");
      }
    });
  }
  if (const Json* type = member(value, "type")) {
    problems.attempt([&] { screen.type = to_int(*type, place(where, "type"), 0, kMaxScreenType); });
  }
  if (const Json* name = member(value, "screen_name")) {
    problems.attempt([&] {
      screen.screen_name = to_text(*name, place(where, "screen_name"));
      if (screen.screen_name.size() >= SCR_SCREEN_NAME_SIZE) {
        throw HostError(place(where, "screen_name") + ": text of " + std::to_string(screen.screen_name.size()) +
                        " bytes; at most " + std::to_string(SCR_SCREEN_NAME_SIZE - 1) + " are allowed");
      }
    });
  }
  return screen;
}

// Hands each item of a list of at most kMaxScreens entries to read, with its
// place; a value that is no such list (or an empty one, unless it may be)
// is one problem and reads nothing. what names the entries in the message.
template <typename Read>
void read_list(const Json& value, const std::string& where, const char* what, bool may_be_empty,
               Problems& problems, Read&& read) {
  const bool list = problems.attempt([&] {
    if (!(may_be_empty && value.is_array())) require_list(value, where);
  });
  if (!list) return;
  if (value.size() > kMaxScreens) {
    problems.add(where + ": more than " + std::to_string(kMaxScreens) + " " + what);
    return;
  }
  for (std::size_t i = 0; i < value.size(); ++i) read(value[i], where + "[" + std::to_string(i) + "]");
}

// A "screens" list of descriptors, each name once.
std::vector<ScreenSpec> read_screens(const Json& value, const std::string& where, Problems& problems) {
  std::vector<ScreenSpec> screens;
  read_list(value, where, "screens", false, problems, [&](const Json& item, const std::string& at) {
    ScreenSpec screen;
    if (!problems.attempt([&] { screen = read_screen(item, at, problems); })) return;
    if (screen.name.empty()) return;  // its problem is reported
    bool twice = false;
    for (const ScreenSpec& earlier : screens) twice = twice || earlier.name == screen.name;
    if (twice) {
      problems.add(place(at, "name") + ": the screen \"" + screen.name + "\" is defined twice in " + where);
      return;
    }
    screens.push_back(std::move(screen));
  });
  return screens;
}

// The XMP files read so far, by their full name: a file that several pages
// or separations name is read and kept once.
using XmpFiles = std::map<std::string, XmpText>;

// The screens a job's separations choose from, and its default; and the XMP
// files of the ticket.
struct JobScreens {
  std::vector<ScreenSpec>* screens = nullptr;
  std::string default_name;   // "default_screen" of the job or the ticket; empty: none given
  std::string default_where;  // where it was given
  XmpFiles* xmp_files = nullptr;
};

// The index of the screen called name, or -1.
long find_screen(const std::vector<ScreenSpec>& screens, const std::string& name) {
  for (std::size_t i = 0; i < screens.size(); ++i) {
    if (screens[i].name == name) return static_cast<long>(i);
  }
  return -1;
}

// The names of the screens, for messages.
std::string screen_names(const std::vector<ScreenSpec>& screens) {
  std::string list;
  for (const ScreenSpec& screen : screens) list += (list.empty() ? "" : ", ") + screen.name;
  return list.empty() ? "none" : list;
}

// The job's default screen: the one "default_screen" names, else the one
// called "default", else the built-in one, added to the job's screens.
std::size_t default_screen(JobScreens& job) {
  if (!job.default_name.empty()) {
    long found = find_screen(*job.screens, job.default_name);
    if (found >= 0) return static_cast<std::size_t>(found);
    throw HostError(job.default_where + ": unknown screen \"" + job.default_name + "\" (known: " +
                    screen_names(*job.screens) + ")");
  }
  long found = find_screen(*job.screens, kDefaultScreenName);
  if (found >= 0) return static_cast<std::size_t>(found);
  ScreenSpec builtin;
  builtin.name = kDefaultScreenName;
  builtin.ruling = kDefaultRuling;
  builtin.angle = kDefaultAngle;
  job.screens->push_back(builtin);
  return job.screens->size() - 1;
}

// A separation's "screens" and "uses".
void read_separation_screens(const Json& object, const std::string& where, JobScreens& job, Separation& separation,
                             Problems& problems) {
  const Json* names = member(object, "screens");
  const Json* uses = member(object, "uses");
  if (!names) {
    if (uses) problems.add(place(where, "uses") + ": given without \"screens\"");
    problems.attempt([&] {
      separation.screens.push_back(default_screen(job));
      separation.uses.push_back(1);
    });
    return;
  }
  const std::string at = place(where, "screens");
  if (!problems.attempt([&] { require_list(*names, at); })) return;
  if (names->size() > kMaxScreens) {
    problems.add(at + ": more than " + std::to_string(kMaxScreens) + " screens");
    return;
  }
  for (std::size_t i = 0; i < names->size(); ++i) {
    problems.attempt([&] {
      const std::string item = at + "[" + std::to_string(i) + "]";
      std::string name = to_text((*names)[i], item);
      long found = find_screen(*job.screens, name);
      if (found < 0) {
        throw HostError(item + ": unknown screen \"" + name + "\" (known: " + screen_names(*job.screens) + ")");
      }
      separation.screens.push_back(static_cast<std::size_t>(found));
      separation.uses.push_back(1);
    });
  }
  if (!uses) return;
  problems.attempt([&] {
    const std::string uses_at = place(where, "uses");
    if (!uses->is_array()) throw HostError(uses_at + ": expected a list, found " + json_kind(*uses));
    if (uses->size() != names->size()) {
      throw HostError(uses_at + ": " + std::to_string(uses->size()) + " counts for " +
                      std::to_string(names->size()) + " screens");
    }
    for (std::size_t i = 0; i < uses->size() && i < separation.uses.size(); ++i) {
      separation.uses[i] = to_int((*uses)[i], uses_at + "[" + std::to_string(i) + "]", 0, 0x7FFFFFFF);
    }
  });
}

// A "screen_areas" list: rectangles screened with one of the separation's
// screens (names resolved against them).
void read_screen_areas(const Json& value, const std::string& where, const JobScreens& job,
                       const Separation& separation, ContentSource& content, Problems& problems) {
  read_list(value, where, "areas", false, problems, [&](const Json& area, const std::string& at) {
    problems.attempt([&] {
      require_object(area, at);
      check_keys(area, at, {"screen", "x", "y", "width", "height", kCommentKey}, problems);
      ScreenArea rect;
      bool usable = true;
      usable &= problems.attempt([&] {
        std::string name = to_text(required(area, at, "screen"), place(at, "screen"));
        std::size_t k = 0;
        while (k < separation.screens.size() && (*job.screens)[separation.screens[k]].name != name) ++k;
        if (k == separation.screens.size()) {
          throw HostError(place(at, "screen") + ": \"" + name + "\" is not one of the separation's screens");
        }
        rect.screen = k;
      });
      usable &= problems.attempt([&] { rect.x = to_int(required(area, at, "x"), place(at, "x"), 0, kMaxImageSide); });
      usable &= problems.attempt([&] { rect.y = to_int(required(area, at, "y"), place(at, "y"), 0, kMaxImageSide); });
      usable &= problems.attempt(
          [&] { rect.width = to_int(required(area, at, "width"), place(at, "width"), 1, kMaxImageSide); });
      usable &= problems.attempt(
          [&] { rect.height = to_int(required(area, at, "height"), place(at, "height"), 1, kMaxImageSide); });
      if (usable) content.areas.push_back(rect);
    });
  });
}

// The XMP packet in the file text names (against folder), read once per
// ticket. Refused when it is missing, no regular file, unreadable, empty,
// larger than kMaxXmpBytes or holds a zero byte.
XmpText read_xmp_file(const fs::path& folder, const std::string& text, const std::string& at, XmpFiles& files) {
  const fs::path file = (folder / text).lexically_normal();
  if (auto known = files.find(file.string()); known != files.end()) return known->second;
  std::error_code error;
  const fs::file_status status = fs::status(file, error);
  if (!fs::exists(status)) throw HostError(at + ": file not found: " + text);
  if (!fs::is_regular_file(status)) throw HostError(at + ": not a file: " + text);
  std::FILE* in = std::fopen(file.c_str(), "rb");
  if (!in) throw HostError(at + ": cannot read " + text + ": " + std::generic_category().message(errno));
  std::string packet;
  char chunk[1 << 16];
  bool too_large = false;
  int read_error = 0;
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, in);
    if (packet.size() + got > kMaxXmpBytes) {
      too_large = true;
      break;
    }
    packet.append(chunk, got);
    if (got < sizeof chunk) {
      if (std::ferror(in)) read_error = errno != 0 ? errno : EIO;
      break;
    }
  }
  std::fclose(in);
  if (read_error != 0) throw HostError(at + ": cannot read " + text + ": " + std::generic_category().message(read_error));
  if (too_large) throw HostError(at + ": " + text + " is larger than 16 MiB");
  if (packet.empty()) throw HostError(at + ": " + text + " is empty");
  if (packet.find('\0') != std::string::npos) throw HostError(at + ": " + text + " contains a zero byte");
  XmpText shared = std::make_shared<const std::string>(std::move(packet));
  files.emplace(file.string(), shared);
  return shared;
}

// A separation's XMP packet: "xmp" (the text itself) or "xmp_file" (a file).
void read_separation_xmp(const Json& object, const std::string& where, const fs::path& folder, JobScreens& job,
                         Separation& separation, Problems& problems) {
  const Json* inline_text = member(object, "xmp");
  const Json* file = member(object, "xmp_file");
  if (inline_text && file) {
    problems.add(where + ": give \"xmp\" or \"xmp_file\", not both");
    return;
  }
  if (inline_text) {
    problems.attempt([&] {
      const std::string at = place(where, "xmp");
      if (!inline_text->is_string()) throw HostError(at + ": expected a text, found " + json_kind(*inline_text));
      std::string text = inline_text->get<std::string>();
      if (text.empty()) throw HostError(at + ": empty text");
      if (text.find('\0') != std::string::npos) throw HostError(at + ": text contains a zero byte");
      separation.xmp = std::make_shared<const std::string>(std::move(text));
    });
  } else if (file) {
    problems.attempt([&] {
      const std::string at = place(where, "xmp_file");
      separation.xmp = read_xmp_file(folder, to_text(*file, at), at, *job.xmp_files);
    });
  }
}

// A text of 0 to kMaxText bytes without zero bytes.
std::string to_optional_text(const Json& value, const std::string& where) {
  if (value.is_string() && value.get_ref<const std::string&>().empty()) return std::string();
  return to_text(value, where);
}

// A separation's "inks": colours {"ink": name, "group": name}.
void read_inks(const Json& value, const std::string& where, Separation& separation, Problems& problems) {
  read_list(value, where, "inks", true, problems, [&](const Json& item, const std::string& at) {
    problems.attempt([&] {
      require_object(item, at);
      check_keys(item, at, {"ink", "group", kCommentKey}, problems);
      InkName ink;
      bool usable = problems.attempt([&] { ink.ink = to_text(required(item, at, "ink"), place(at, "ink")); });
      if (const Json* group = member(item, "group")) {
        usable &= problems.attempt([&] { ink.group = to_optional_text(*group, place(at, "group")); });
      }
      if (usable) separation.inks.push_back(std::move(ink));
    });
  });
}

// A requested screen's angle: -360 to 360 degrees.
double to_angle(const Json& value, const std::string& where) {
  if (!value.is_number()) throw HostError(where + ": expected a number, found " + json_kind(value));
  const double degrees = value.get<double>();
  if (!(degrees >= -360.0 && degrees <= 360.0)) throw HostError(where + ": must be between -360 and 360 degrees");
  return degrees;
}

// A separation's "requested_screens": {"frequency": lpi, "angle": degrees}.
void read_requested_screens(const Json& value, const std::string& where, Separation& separation,
                            Problems& problems) {
  read_list(value, where, "screens", true, problems, [&](const Json& item, const std::string& at) {
    problems.attempt([&] {
      require_object(item, at);
      check_keys(item, at, {"frequency", "angle", kCommentKey}, problems);
      RequestedScreen screen;
      bool usable = problems.attempt([&] {
        screen.frequency = to_positive_real(required(item, at, "frequency"), place(at, "frequency"), kMaxRuling);
      });
      usable &= problems.attempt([&] { screen.angle = to_angle(required(item, at, "angle"), place(at, "angle")); });
      if (usable) separation.requested_screens.push_back(screen);
    });
  });
}

// The requested screens of a separation that gives none: the ruling and
// angle of every screen its selection takes (uses > 0), each pair once.
void default_requested_screens(const JobScreens& job, Separation& separation) {
  for (std::size_t k = 0; k < separation.screens.size(); ++k) {
    if (k < separation.uses.size() && separation.uses[k] == 0) continue;
    const ScreenSpec& spec = (*job.screens)[separation.screens[k]];
    bool known = false;
    for (const RequestedScreen& screen : separation.requested_screens) {
      known = known || (screen.frequency == spec.ruling && screen.angle == spec.angle);
    }
    if (!known) separation.requested_screens.push_back(RequestedScreen{spec.ruling, spec.angle});
  }
}

// The ink number of a cutting key "SCP<n>" or "CCP<n>": 1 to kMaxInkNumber
// in plain decimal digits; 0 when key has another form.
int cutting_ink(const std::string& key) {
  if (key.size() < 4 || key.size() > 5 || (key.compare(0, 3, "SCP") != 0 && key.compare(0, 3, "CCP") != 0)) {
    return 0;
  }
  int number = 0;
  for (std::size_t i = 3; i < key.size(); ++i) {
    if (key[i] < '0' || key[i] > '9') return 0;
    number = number * 10 + (key[i] - '0');
  }
  if (key[3] == '0' || number > kMaxInkNumber) return 0;
  return number;
}

// A job's "cutting": {"SCPAll": text, "SCP<n>": text, "CCP<n>": text}.
std::vector<CuttingText> read_cutting(const Json& value, const std::string& where, Problems& problems) {
  std::vector<CuttingText> texts;
  if (!problems.attempt([&] { require_object(value, where); })) return texts;
  for (const auto& [key, item] : value.items()) {
    if (key == kCommentKey) continue;
    const std::string at = place(where, key);
    if (key != "SCPAll" && cutting_ink(key) == 0) {
      problems.add(at + ": unknown cutting key (expected SCPAll, SCP<n> or CCP<n> with n from 1 to " +
                   std::to_string(kMaxInkNumber) + ")");
      continue;
    }
    if (!item.is_string()) {
      problems.add(at + ": expected a text, found " + json_kind(item));
      continue;
    }
    const std::string& text = item.get_ref<const std::string&>();
    if (text.size() > kMaxCuttingBytes) {
      problems.add(at + ": text of " + std::to_string(text.size()) + " bytes; at most 1 MiB (" +
                   std::to_string(kMaxCuttingBytes) + " bytes) is allowed");
      continue;
    }
    if (text.find('\0') != std::string::npos) {
      problems.add(at + ": text contains a zero byte");
      continue;
    }
    texts.push_back(CuttingText{at, key, text});
  }
  return texts;
}

// A file a separation names, resolved against the ticket's folder; refused
// when it is missing or no file.
fs::path existing_file(const fs::path& folder, const std::string& text, const std::string& at) {
  fs::path file = (folder / text).lexically_normal();
  std::error_code error;
  fs::file_status status = fs::status(file, error);
  if (!fs::exists(status)) throw HostError(at + ": file not found: " + text);
  if (!fs::is_regular_file(status)) throw HostError(at + ": not a file: " + text);
  return file;
}

// Contone content: "contone" (an image, with "channel" for a CMYK TIFF) or
// "gradient", with an optional "copydot" image over it. "screen_areas" is
// read by the caller once the separation's screens are known.
ContentSource read_contone(const Json& object, const std::string& where, const fs::path& folder,
                           std::vector<std::string>& allowed, Problems& problems) {
  ContentSource content;
  content.kind = ContentSource::Kind::Contone;
  allowed.insert(allowed.end(), {"copydot", "screen_areas"});
  if (const Json* gradient = member(object, "gradient")) {
    allowed.push_back("gradient");
    std::string at = place(where, "gradient");
    std::string text = to_text(*gradient, at);
    if (text == "horizontal") {
      content.gradient = ContentSource::Gradient::Horizontal;
    } else if (text == "vertical") {
      content.gradient = ContentSource::Gradient::Vertical;
    } else {
      throw HostError(at + ": unknown gradient \"" + text + "\" (known: horizontal, vertical)");
    }
  } else {
    allowed.insert(allowed.end(), {"contone", "channel"});
    std::string at = place(where, "contone");
    content.image_text = to_text(*member(object, "contone"), at);
    if (const Json* channel = member(object, "channel")) {
      problems.attempt([&] {
        std::string text = to_text(*channel, place(where, "channel"));
        if (text != "C" && text != "M" && text != "Y" && text != "K") {
          throw HostError(place(where, "channel") + ": expected \"C\", \"M\", \"Y\" or \"K\", found \"" + text + "\"");
        }
        content.channel = text[0];
      });
    }
    content.image = existing_file(folder, content.image_text, at);
  }
  if (const Json* copydot = member(object, "copydot")) {
    problems.attempt([&] {
      std::string at = place(where, "copydot");
      content.copydot_text = to_text(*copydot, at);
      content.copydot = existing_file(folder, content.copydot_text, at);
      try {
        open_image(content.copydot, 128);
      } catch (const HostError& error) {
        content.copydot_text.clear();
        throw HostError(at + ": " + to_text(*copydot, at) + ": " + error.what());
      }
    });
  }
  return content;
}

// The content source of a separation: a pattern, an image or contone. Adds the keys
// its kind allows to allowed. A bad pattern parameter or threshold is a
// problem of its own; a source that cannot be used throws.
ContentSource read_source(const Json& object, const std::string& where, const fs::path& folder,
                          std::vector<std::string>& allowed, Problems& problems) {
  const Json* pattern = member(object, "pattern");
  const Json* image = member(object, "image");
  const Json* contone = member(object, "contone");
  const Json* gradient = member(object, "gradient");
  const int kinds = (pattern ? 1 : 0) + (image ? 1 : 0) + (contone ? 1 : 0) + (gradient ? 1 : 0);
  if (kinds > 1) {
    throw HostError(where + ": give one of \"pattern\", \"image\", \"contone\" and \"gradient\", not several");
  }
  if (kinds == 0) {
    throw HostError(where + ": missing its content: give \"pattern\", \"image\", \"contone\" or \"gradient\"");
  }
  if (contone || gradient) return read_contone(object, where, folder, allowed, problems);
  ContentSource content;
  if (pattern) {
    content.kind = ContentSource::Kind::Pattern;
    content.pattern = to_text(*pattern, place(where, "pattern"));
    const std::vector<std::string>* parameters = pattern_parameters(content.pattern);
    if (!parameters) {
      throw HostError(place(where, "pattern") + ": unknown pattern \"" + content.pattern + "\" (known: " +
                      pattern_names() + ")");
    }
    allowed.push_back("pattern");
    for (const std::string& name : *parameters) {
      allowed.push_back(name);
      if (const Json* value = member(object, name.c_str())) {
        problems.attempt([&] {
          content.parameters.emplace_back(name, to_int(*value, place(where, name), 1, kMaxPatternParameter));
        });
      }
    }
    return content;
  }
  content.kind = ContentSource::Kind::Image;
  allowed.push_back("image");
  allowed.push_back("threshold");
  std::string at = place(where, "image");
  content.image_text = to_text(*image, at);
  if (const Json* threshold = member(object, "threshold")) {
    problems.attempt([&] { content.threshold = to_int(*threshold, place(where, "threshold"), 0, 255); });
  }
  content.image = (folder / content.image_text).lexically_normal();
  std::error_code error;
  fs::file_status status = fs::status(content.image, error);
  if (!fs::exists(status)) throw HostError(at + ": file not found: " + content.image_text);
  if (!fs::is_regular_file(status)) throw HostError(at + ": not a file: " + content.image_text);
  return content;
}

// Opens an image's header to learn its size (and to refuse it early when it
// cannot be read).
void probe_image(const ContentSource& content, const std::string& where, int& width, int& height) {
  const bool contone = content.kind == ContentSource::Kind::Contone;
  try {
    std::unique_ptr<ImageReader> reader =
        contone ? open_contone(content.image, content.channel) : open_image(content.image, content.threshold);
    width = reader->width();
    height = reader->height();
  } catch (const HostError& error) {
    throw HostError(place(where, contone ? "contone" : "image") + ": " + content.image_text + ": " + error.what());
  }
}

// Size of a separation's content that is not known because the content has
// a problem (already reported).
constexpr int kUnknownSide = -1;

// One separation; image_width/height receive the image's size (0 for a
// pattern, kUnknownSide when the content could not be read).
Separation read_separation(const Json& value, const std::string& where, const fs::path& folder, JobScreens& job,
                           int& image_width, int& image_height, Problems& problems) {
  Separation separation;
  separation.where = where;
  image_width = kUnknownSide;
  image_height = kUnknownSide;
  if (!problems.attempt([&] { require_object(value, where); })) return separation;
  std::vector<std::string> allowed = {"name", "outputpage", "options", "screens", "uses",
                                      "xmp", "xmp_file", "inks", "requested_screens", kCommentKey};
  problems.attempt([&] { separation.name = to_text(required(value, where, "name"), place(where, "name")); });
  bool source_read =
      problems.attempt([&] { separation.source = read_source(value, where, folder, allowed, problems); });
  // The keys allowed depend on the kind of content: unknown without one.
  if (source_read) check_keys(value, where, allowed, problems);
  if (const Json* options = member(value, "options")) {
    separation.options = read_options(*options, place(where, "options"), problems);
  }
  if (const Json* outputpage = member(value, "outputpage")) {
    problems.attempt([&] {
      std::string at = place(where, "outputpage");
      separation.options.add("outputpage", static_cast<std::int64_t>(to_int(*outputpage, at, 0, 1)), at);
    });
  }
  read_separation_screens(value, where, job, separation, problems);
  read_separation_xmp(value, where, folder, job, separation, problems);
  if (const Json* inks = member(value, "inks")) read_inks(*inks, place(where, "inks"), separation, problems);
  if (const Json* requested = member(value, "requested_screens")) {
    read_requested_screens(*requested, place(where, "requested_screens"), separation, problems);
  } else {
    default_requested_screens(job, separation);
  }
  if (!source_read) return separation;
  if (separation.source.kind == ContentSource::Kind::Contone) {
    if (const Json* areas = member(value, "screen_areas")) {
      read_screen_areas(*areas, place(where, "screen_areas"), job, separation, separation.source, problems);
    }
  }
  if (separation.source.kind == ContentSource::Kind::Pattern ||
      separation.source.gradient != ContentSource::Gradient::None) {
    image_width = 0;
    image_height = 0;
    return separation;
  }
  problems.attempt([&] { probe_image(separation.source, where, image_width, image_height); });
  return separation;
}

// One side of a page: given, else the first separation's image size (0 when
// that separation's content is unknown: its problem is reported already).
int page_side(const Json& page, const std::string& where, const char* key, int image_side) {
  if (const Json* value = member(page, key)) return to_int(*value, place(where, key), 1, kMaxImageSide);
  if (image_side > 0) return image_side;
  if (image_side == kUnknownSide) return 0;
  throw HostError(place(where, key) + ": missing (it defaults to the size of the first separation's image, "
                  "but the first separation is a pattern or a gradient)");
}

// One page with its separations.
Page read_page(const Json& value, const std::string& where, const fs::path& folder, JobScreens& job,
               Problems& problems) {
  Page page;
  page.where = where;
  if (!problems.attempt([&] { require_object(value, where); })) return page;
  check_keys(value, where, {"width", "height", "ncopies", "options", "xmp", "separations", kCommentKey}, problems);
  if (const Json* xmp = member(value, "xmp")) {
    problems.attempt([&] {
      const std::string at = place(where, "xmp");
      page.xmp = read_xmp_file(folder, to_text(*xmp, at), at, *job.xmp_files);
    });
  }
  int first_width = kUnknownSide;
  int first_height = kUnknownSide;
  const Json* separations = member(value, "separations");
  if (!separations) {
    problems.add(place(where, "separations") + ": missing");
  } else if (problems.attempt([&] { require_list(*separations, place(where, "separations")); })) {
    for (std::size_t i = 0; i < separations->size(); ++i) {
      int image_width = 0;
      int image_height = 0;
      page.separations.push_back(read_separation((*separations)[i], place(where, "separations", i), folder, job,
                                                 image_width, image_height, problems));
      if (i == 0) {
        first_width = image_width;
        first_height = image_height;
      }
    }
  }
  problems.attempt([&] { page.width = page_side(value, where, "width", first_width); });
  problems.attempt([&] { page.height = page_side(value, where, "height", first_height); });
  if (const Json* ncopies = member(value, "ncopies")) {
    problems.attempt([&] { page.ncopies = to_int(*ncopies, place(where, "ncopies"), 1, 9999); });
  }
  if (const Json* options = member(value, "options")) page.options = read_options(*options, place(where, "options"), problems);
  return page;
}

// The resolution a job runs at when it gives no "ppi": its RES option, else
// the ticket's, else kDefaultPpi. A RES given as text is left to the option
// check, which refuses it.
double default_ppi(const OptionSet& job_options, const OptionSet& ticket_options, const std::string& where) {
  const OptionEntry* res = job_options.find("RES");
  if (!res) res = ticket_options.find("RES");
  if (!res) return kDefaultPpi;
  double value;
  if (const auto* integer = std::get_if<std::int64_t>(&res->value)) {
    value = static_cast<double>(*integer);
  } else if (const auto* real = std::get_if<double>(&res->value)) {
    value = *real;
  } else {
    return kDefaultPpi;
  }
  if (!(value > 0.0) || value > kMaxPpi) {
    throw HostError(place(where, "ppi") + ": missing, and " + res->where + " (" + format_value(res->value) +
                    ") is no usable resolution");
  }
  return value;
}


// One job with its pages. A job for which neither it nor the ticket sets
// RES gets RES = its resolution, so that the plug-in, which takes the
// resolution from RES, works at the job's "ppi".
Job read_job(const Json& value, const std::string& where, const fs::path& folder, const Ticket& ticket,
             const JobScreens& ticket_screens, Problems& problems) {
  const OptionSet& ticket_options = ticket.options;
  Job job;
  job.where = where;
  if (!problems.attempt([&] { require_object(value, where); })) return job;
  check_keys(value, where,
             {"name", "ppi", "bps", "options", "screens", "default_screen", "cutting", "pages", kCommentKey}, problems);
  job.screens = ticket.screens_of_ticket;
  if (const Json* screens = member(value, "screens")) {
    for (ScreenSpec& screen : read_screens(*screens, place(where, "screens"), problems)) {
      long found = find_screen(job.screens, screen.name);
      if (found >= 0) {
        job.screens[static_cast<std::size_t>(found)] = std::move(screen);
      } else {
        job.screens.push_back(std::move(screen));
      }
    }
  }
  JobScreens screens = ticket_screens;
  screens.screens = &job.screens;
  if (const Json* name = member(value, "default_screen")) {
    problems.attempt([&] {
      screens.default_where = place(where, "default_screen");
      screens.default_name = to_text(*name, screens.default_where);
    });
  }
  // An unknown default is one problem; the separations then fall back.
  if (!screens.default_name.empty() && find_screen(job.screens, screens.default_name) < 0) {
    problems.add(screens.default_where + ": unknown screen \"" + screens.default_name + "\" (known: " +
                 screen_names(job.screens) + ")");
    screens.default_name.clear();
  }
  problems.attempt([&] { job.name = to_text(required(value, where, "name"), place(where, "name")); });
  if (const Json* options = member(value, "options")) job.options = read_options(*options, place(where, "options"), problems);
  problems.attempt([&] {
    if (const Json* ppi = member(value, "ppi")) {
      job.ppi = to_positive_real(*ppi, place(where, "ppi"), kMaxPpi);
    } else {
      job.ppi = default_ppi(job.options, ticket_options, where);
    }
  });
  if (const Json* bps = member(value, "bps")) {
    problems.attempt([&] { job.bps = to_int(*bps, place(where, "bps"), 1, 32); });
  }
  if (!job.options.find("RES") && !ticket_options.find("RES")) job.options.add("RES", job.ppi, place(where, "ppi"));
  if (const Json* cutting = member(value, "cutting")) job.cutting = read_cutting(*cutting, place(where, "cutting"), problems);
  const Json* pages = member(value, "pages");
  if (!pages) {
    problems.add(place(where, "pages") + ": missing");
  } else if (problems.attempt([&] { require_list(*pages, place(where, "pages")); })) {
    for (std::size_t i = 0; i < pages->size(); ++i) {
      job.pages.push_back(read_page((*pages)[i], place(where, "pages", i), folder, screens, problems));
    }
  }
  // Handles are 32-bit: the job's last one must fit.
  if (!job.screens.empty() &&
      ticket.screen_handle_base + (job.screens.size() - 1) * std::uint64_t{ticket.screen_handle_step} > 0xFFFFFFFFu) {
    problems.add(place(where, "screens") + ": the job's " + std::to_string(job.screens.size()) +
                 " screens do not fit the 32-bit handles of \"screen_handles\"");
  }
  return job;
}

// path made absolute; a relative path fails when the working folder was
// removed. prefix starts the error's text.
fs::path absolute_path(const fs::path& path, const std::string& prefix) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) {
    throw HostError(prefix + "cannot resolve " + path.string() + " against the working folder: " + error.message());
  }
  return absolute;
}

// A folder of the ticket made absolute; refused when its name does not fit
// an option text.
fs::path resolve_folder(const fs::path& folder, const std::string& text, const char* key) {
  fs::path resolved = absolute_path(folder / text, std::string(key) + ": ").lexically_normal();
  std::string name = resolved.string();
  if (name.size() > 1 && name.back() == '/') resolved = fs::path(name.substr(0, name.size() - 1));
  if (resolved.string().size() > kMaxText) {
    throw HostError(std::string(key) + ": the folder's full name is longer than " + std::to_string(kMaxText) +
                    " bytes: " + resolved.string());
  }
  return resolved;
}


// The device folder; refused when it is no folder.
fs::path read_device(const Json& root, const fs::path& folder) {
  std::string text = to_text(required(root, "", "device"), "device");
  fs::path device = resolve_folder(folder, text, "device");
  std::error_code error;
  if (!fs::is_directory(device, error)) throw HostError("device: folder not found: " + text);
  return device;
}

// The output folder: the ticket's, or the one given on the command line
// (against the working folder). Refused when it names something else than a
// folder; a missing one is made before the run.
fs::path read_output(const Json& root, const fs::path& folder, const TicketOptions& options) {
  bool given = !options.output.empty();
  const char* key = given ? "-o" : "output";
  std::string text = given ? options.output : to_text(required(root, "", "output"), "output");
  fs::path output = resolve_folder(given ? fs::path() : folder, text, key);
  std::error_code error;
  if (fs::exists(output, error) && !fs::is_directory(output, error)) {
    throw HostError(std::string(key) + ": not a folder: " + text);
  }
  return output;
}

// "screen_handles": the base and step of the handles riphost gives screens.
void read_screen_handles(const Json& value, Ticket& ticket, Problems& problems) {
  if (!problems.attempt([&] { require_object(value, "screen_handles"); })) return;
  check_keys(value, "screen_handles", {"base", "step", kCommentKey}, problems);
  if (const Json* base = member(value, "base")) {
    problems.attempt([&] {
      ticket.screen_handle_base = static_cast<std::uint32_t>(to_integer(*base, "screen_handles.base", 1, 0xFFFFFFFFll));
    });
  }
  if (const Json* step = member(value, "step")) {
    problems.attempt([&] {
      ticket.screen_handle_step = static_cast<std::uint32_t>(to_integer(*step, "screen_handles.step", 1, 0xFFFFFFFFll));
    });
  }
}

// The whole text of a ticket file, or one problem.
bool read_file_text(const fs::path& file, std::string& text, fs::path& folder, Problems& problems) {
  return problems.attempt([&] {
    if (file == kStandardInput) {
      text = read_ticket_text(stdin);
      std::error_code error;
      folder = fs::current_path(error);
      if (error) throw HostError("cannot resolve the working folder: " + error.message());
      return;
    }
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (!in) throw HostError("cannot read the ticket: " + std::generic_category().message(errno));
    try {
      text = read_ticket_text(in);
    } catch (...) {
      std::fclose(in);
      throw;
    }
    std::fclose(in);
    folder = absolute_path(file, "").parent_path();
  });
}

}  // namespace

// Reads in chunks up to one byte past the limit.
std::string read_ticket_text(std::FILE* in) {
  std::string text;
  char chunk[1 << 16];
  for (;;) {
    std::size_t got = std::fread(chunk, 1, sizeof chunk, in);
    int error = errno;
    if (text.size() + got > kMaxTicketBytes) throw HostError("the ticket is larger than 16 MiB");
    text.append(chunk, got);
    if (got < sizeof chunk) {
      if (std::ferror(in)) throw HostError("cannot read the ticket: " + std::generic_category().message(error));
      return text;
    }
  }
}

// Every level in turn; a part with a problem is skipped, the rest is read.
Ticket check_ticket_text(std::string_view text, const fs::path& folder, const TicketOptions& options,
                         std::vector<std::string>& list) {
  Problems problems(list);
  Ticket ticket;
  Json root;
  if (!problems.attempt([&] { root = parse_json(text); })) return ticket;
  if (!problems.attempt([&] { require_object(root, "the ticket"); })) return ticket;
  check_keys(root, "", {"device", "output", "options", "screens", "default_screen", "screen_handles", "jobs",
                        kCommentKey},
             problems);
  problems.attempt([&] { ticket.device_dir = read_device(root, folder); });
  problems.attempt([&] { ticket.output_dir = read_output(root, folder, options); });
  if (const Json* options_json = member(root, "options")) ticket.options = read_options(*options_json, "options", problems);
  if (const Json* screens = member(root, "screens")) ticket.screens_of_ticket = read_screens(*screens, "screens", problems);
  XmpFiles xmp_files;
  JobScreens ticket_screens;
  ticket_screens.xmp_files = &xmp_files;
  if (const Json* name = member(root, "default_screen")) {
    problems.attempt([&] {
      ticket_screens.default_where = "default_screen";
      ticket_screens.default_name = to_text(*name, "default_screen");
    });
  }
  if (const Json* handles = member(root, "screen_handles")) read_screen_handles(*handles, ticket, problems);
  const Json* jobs = member(root, "jobs");
  if (!jobs) {
    problems.add("jobs: missing");
  } else if (problems.attempt([&] { require_list(*jobs, "jobs"); })) {
    for (std::size_t i = 0; i < jobs->size(); ++i) {
      ticket.jobs.push_back(read_job((*jobs)[i], place("", "jobs", i), folder, ticket, ticket_screens, problems));
    }
  }
  return ticket;
}

// The file's text, then the check.
Ticket check_ticket_file(const fs::path& file, const TicketOptions& options, std::vector<std::string>& list) {
  Problems problems(list);
  std::string text;
  fs::path folder;
  if (!read_file_text(file, text, folder, problems)) return Ticket();
  return check_ticket_text(text, folder, options, list);
}

// Checks a ticket given as text; all problems in one TicketError.
Ticket parse_ticket(std::string_view text, const fs::path& folder, const TicketOptions& options) {
  std::vector<std::string> problems;
  Ticket ticket;
  try {
    ticket = check_ticket_text(text, folder, options, problems);
  } catch (const std::bad_alloc&) {
    throw HostError("not enough memory to check the ticket");
  }
  if (!problems.empty()) throw TicketError(std::move(problems));
  return ticket;
}

// Reads and checks a ticket file; all problems in one TicketError.
Ticket load_ticket(const fs::path& file, const TicketOptions& options) {
  std::vector<std::string> problems;
  Ticket ticket;
  try {
    ticket = check_ticket_file(file, options, problems);
  } catch (const std::bad_alloc&) {
    throw HostError("not enough memory to check the ticket");
  }
  if (!problems.empty()) throw TicketError(std::move(problems));
  return ticket;
}

}  // namespace riphost
