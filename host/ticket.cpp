// ticket.cpp - reading and checking the job ticket.
#include "ticket.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <new>
#include <system_error>

#include "drav_host.h"
#include "host_error.h"
#include "image_reader.h"
#include "patterns.h"
#include "ticket_json.h"

namespace riphost {

namespace {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

// Largest ticket file read.
constexpr std::uintmax_t kMaxTicketBytes = 16u << 20;
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

// Refuses any key of object outside allowed.
void check_keys(const Json& object, const std::string& where, const std::vector<std::string>& allowed) {
  for (const auto& [key, value] : object.items()) {
    if (std::find(allowed.begin(), allowed.end(), key) != allowed.end()) continue;
    std::string list;
    for (const std::string& name : allowed) list += (list.empty() ? "" : ", ") + name;
    throw HostError(place(where, key) + ": unknown key (expected one of: " + list + ")");
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
int to_int(const Json& value, const std::string& where, long long low, long long high) {
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
  return static_cast<int>(number);
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

// The option values of one level. Texts are refused beyond kMaxText bytes
// rather than cut later; keys that riphost sets itself are refused; a
// "comment" is no option.
OptionSet read_options(const Json& value, const std::string& where) {
  require_object(value, where);
  OptionSet options;
  for (const auto& [key, item] : value.items()) {
    if (key == kCommentKey) continue;
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
  return options;
}

// The content source of a separation: a pattern or an image.
ContentSource read_source(const Json& object, const std::string& where, const fs::path& folder,
                       std::vector<std::string>& allowed) {
  const Json* pattern = member(object, "pattern");
  const Json* image = member(object, "image");
  if (pattern && image) throw HostError(where + ": give either \"pattern\" or \"image\", not both");
  if (!pattern && !image) throw HostError(where + ": missing its content: give \"pattern\" or \"image\"");
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
        content.parameters.emplace_back(name, to_int(*value, place(where, name), 1, kMaxPatternParameter));
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
    content.threshold = to_int(*threshold, place(where, "threshold"), 0, 255);
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
  try {
    std::unique_ptr<ImageReader> reader = open_image(content.image, content.threshold);
    width = reader->width();
    height = reader->height();
  } catch (const HostError& error) {
    throw HostError(place(where, "image") + ": " + content.image_text + ": " + error.what());
  }
}

// One separation; image_width/height receive the image's size (0 for a pattern).
Separation read_separation(const Json& value, const std::string& where, const fs::path& folder,
                           int& image_width, int& image_height) {
  require_object(value, where);
  Separation separation;
  separation.where = where;
  std::vector<std::string> allowed = {"name", "outputpage", "options", kCommentKey};
  separation.name = to_text(required(value, where, "name"), place(where, "name"));
  separation.source = read_source(value, where, folder, allowed);
  check_keys(value, where, allowed);
  if (const Json* options = member(value, "options")) separation.options = read_options(*options, place(where, "options"));
  if (const Json* outputpage = member(value, "outputpage")) {
    std::string at = place(where, "outputpage");
    separation.options.add("outputpage", static_cast<std::int64_t>(to_int(*outputpage, at, 0, 1)), at);
  }
  image_width = 0;
  image_height = 0;
  if (separation.source.kind == ContentSource::Kind::Image) probe_image(separation.source, where, image_width, image_height);
  return separation;
}

// One side of a page: given, else the first separation's image size.
int page_side(const Json& page, const std::string& where, const char* key, int image_side) {
  if (const Json* value = member(page, key)) return to_int(*value, place(where, key), 1, kMaxImageSide);
  if (image_side > 0) return image_side;
  throw HostError(place(where, key) + ": missing (it defaults to the size of the first separation's image, "
                  "but the first separation is a pattern)");
}

// One page with its separations.
Page read_page(const Json& value, const std::string& where, const fs::path& folder) {
  require_object(value, where);
  check_keys(value, where, {"width", "height", "ncopies", "options", "separations", kCommentKey});
  Page page;
  page.where = where;
  const Json& separations = required(value, where, "separations");
  require_list(separations, place(where, "separations"));
  int first_width = 0;
  int first_height = 0;
  for (std::size_t i = 0; i < separations.size(); ++i) {
    int image_width = 0;
    int image_height = 0;
    page.separations.push_back(
        read_separation(separations[i], place(where, "separations", i), folder, image_width, image_height));
    if (i == 0) {
      first_width = image_width;
      first_height = image_height;
    }
  }
  page.width = page_side(value, where, "width", first_width);
  page.height = page_side(value, where, "height", first_height);
  if (const Json* ncopies = member(value, "ncopies")) page.ncopies = to_int(*ncopies, place(where, "ncopies"), 1, 9999);
  if (const Json* options = member(value, "options")) page.options = read_options(*options, place(where, "options"));
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

// One job with its pages.
Job read_job(const Json& value, const std::string& where, const fs::path& folder, const OptionSet& ticket_options) {
  require_object(value, where);
  check_keys(value, where, {"name", "ppi", "bps", "options", "pages", kCommentKey});
  Job job;
  job.where = where;
  job.name = to_text(required(value, where, "name"), place(where, "name"));
  if (const Json* options = member(value, "options")) job.options = read_options(*options, place(where, "options"));
  if (const Json* ppi = member(value, "ppi")) {
    job.ppi = to_positive_real(*ppi, place(where, "ppi"), kMaxPpi);
  } else {
    job.ppi = default_ppi(job.options, ticket_options, where);
  }
  if (const Json* bps = member(value, "bps")) job.bps = to_int(*bps, place(where, "bps"), 1, 32);
  const Json& pages = required(value, where, "pages");
  require_list(pages, place(where, "pages"));
  for (std::size_t i = 0; i < pages.size(); ++i) job.pages.push_back(read_page(pages[i], place(where, "pages", i), folder));
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

}  // namespace

// Checks a ticket given as text.
Ticket parse_ticket(std::string_view text, const fs::path& folder) {
  Json root = parse_json(text);
  require_object(root, "the ticket");
  check_keys(root, "", {"device", "output", "options", "jobs", kCommentKey});
  Ticket ticket;
  std::string device_text = to_text(required(root, "", "device"), "device");
  std::string output_text = to_text(required(root, "", "output"), "output");
  ticket.device_dir = resolve_folder(folder, device_text, "device");
  ticket.output_dir = resolve_folder(folder, output_text, "output");
  std::error_code error;
  if (!fs::is_directory(ticket.device_dir, error)) throw HostError("device: folder not found: " + device_text);
  if (fs::exists(ticket.output_dir, error) && !fs::is_directory(ticket.output_dir, error)) {
    throw HostError("output: not a folder: " + output_text);
  }
  if (const Json* options = member(root, "options")) ticket.options = read_options(*options, "options");
  const Json& jobs = required(root, "", "jobs");
  require_list(jobs, "jobs");
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    ticket.jobs.push_back(read_job(jobs[i], place("", "jobs", i), folder, ticket.options));
  }
  return ticket;
}

// Reads the ticket file, checks it and creates the output folder.
Ticket load_ticket(const fs::path& file) {
  std::error_code error;
  std::uintmax_t size = fs::file_size(file, error);
  if (error) throw HostError("cannot read the ticket: " + error.message());
  if (size > kMaxTicketBytes) throw HostError("the ticket is larger than 16 MiB");
  std::ifstream in(file, std::ios::binary);
  if (!in) throw HostError("cannot read the ticket: " + std::generic_category().message(errno));
  std::string text(static_cast<std::size_t>(size), '\0');
  in.read(text.data(), static_cast<std::streamsize>(size));
  if (in.gcount() != static_cast<std::streamsize>(size)) throw HostError("cannot read the ticket");
  fs::path folder = absolute_path(file, "").parent_path();
  Ticket ticket;
  try {
    ticket = parse_ticket(text, folder);
  } catch (const std::bad_alloc&) {
    throw HostError("not enough memory to check the ticket");
  }
  fs::create_directories(ticket.output_dir, error);
  if (error) throw HostError("output: cannot create folder " + ticket.output_dir.string() + ": " + error.message());
  return ticket;
}

}  // namespace riphost
