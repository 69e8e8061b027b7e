// device_file.cpp - reading and checking the device file "device.toml" with
// toml++, and selecting one of its configurations.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <toml++/toml.h>
#include <unistd.h>

#include <cmath>
#include <initializer_list>

#include "ascii_case.h"
#include "decimal_text.h"
#include "device_description.h"
#include "failure.h"
#include "file_ops.h"
#include "names.h"
#include "nesting_check.h"

namespace dravoututil {

namespace {

// Reads one device file; every failure names the file and, where the
// parser knows it, the line and column.
class DeviceFileReader {
 public:
  explicit DeviceFileReader(const std::string& path) : path_(path) {}

  // Reads, parses and checks the whole file.
  DeviceDescription read() const;

 private:
  // The file's bytes (at most kDeviceFileLimit).
  std::string load() const;

  // Throws Failure "<path>:<line>:<column>: <reason>".
  [[noreturn]] void fail_at(const toml::source_region& where, std::string_view reason) const;

  // Refuses any key of table not in allowed; what names the table.
  void check_keys(const toml::table& table, std::initializer_list<std::string_view> allowed,
                  std::string_view what) const;

  // The array of tables under key ([[key]] sections), or null when absent.
  const toml::array* tables(const toml::table& table, std::string_view key,
                            std::string_view what) const;

  // The text under key: of at most limit bytes, without zero bytes, and not
  // empty when required. An absent optional key gives "".
  std::string text(const toml::table& table, std::string_view key, std::size_t limit, bool required,
                   std::string_view what) const;

  // The finite number under key, which must be present; positive demands > 0.
  double number(const toml::table& table, std::string_view key, bool positive,
                std::string_view what) const;

  // The optional integer under key, low..high; 0 when absent.
  int small_integer(const toml::table& table, std::string_view key, int low, int high) const;

  FilmDescription film(const toml::table& table) const;
  ConfigurationDescription configuration(const toml::table& table) const;
  ResolutionDescription resolution(const toml::table& table) const;

  std::string path_;
};

// Reads, parses and checks the whole file.
DeviceDescription DeviceFileReader::read() const {
  if (path_.size() > kPathLimit) {
    throw Failure("the device file name " + path_ + " is longer than " + decimal(kPathLimit) +
                  " bytes");
  }
  std::string bytes = load();
  // The parser recurses for every level; a hostile depth would exhaust the
  // stack before it could report anything.
  TextPosition where;
  if (find_excess_nesting(bytes, kNestingLimit, where)) {
    throw Failure(path_ + ":" + decimal(where.line) + ":" + decimal(where.column) +
                  ": nested deeper than " + decimal(kNestingLimit) +
                  " levels (table header, dotted key, arrays and inline tables together)");
  }
  toml::table root;
  try {
    root = toml::parse(bytes, path_);
  } catch (const toml::parse_error& error) {
    fail_at(error.source(), error.description());
  }

  check_keys(root, {"film", "configuration"}, "the file");
  DeviceDescription device;
  device.path = path_;

  if (const toml::array* films = tables(root, "film", "film")) {
    for (const toml::node& node : *films) {
      FilmDescription entry = film(*node.as_table());
      for (const FilmDescription& earlier : device.films) {
        if (textutil::equal_ignoring_case(earlier.name, entry.name)) {
          fail_at(node.source(), "a second film named \"" + entry.name + "\"");
        }
      }
      device.films.push_back(std::move(entry));
    }
  }

  const toml::array* configurations = tables(root, "configuration", "configuration");
  if (configurations == nullptr || configurations->empty()) {
    throw Failure(path_ + ": no [[configuration]] section");
  }
  bool default_seen = false;
  for (const toml::node& node : *configurations) {
    ConfigurationDescription entry = configuration(*node.as_table());
    for (const ConfigurationDescription& earlier : device.configurations) {
      if (textutil::equal_ignoring_case(earlier.name, entry.name)) {
        fail_at(node.source(), "a second configuration named \"" + entry.name + "\"");
      }
    }
    if (entry.is_default && default_seen) {
      fail_at(node.source(), "a second configuration marked default");
    }
    default_seen = default_seen || entry.is_default;
    device.configurations.push_back(std::move(entry));
  }
  return device;
}

// The file's bytes.
std::string DeviceFileReader::load() const {
  FileDescriptor file(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!file.valid()) {
    int err = errno;
    fail_with_errno("cannot read the device file " + path_, err);
  }
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) {
    int err = errno;
    fail_with_errno("cannot read the device file " + path_, err);
  }
  if (!S_ISREG(status.st_mode)) throw Failure(path_ + ": not a regular file");
  if (static_cast<std::size_t>(status.st_size) > kDeviceFileLimit) {
    throw Failure(path_ + ": larger than " + decimal(kDeviceFileLimit) + " bytes");
  }
  // One byte more than allowed shows a file that grew since fstat.
  std::string bytes(kDeviceFileLimit + 1, '\0');
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    ssize_t got = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      fail_with_errno("cannot read the device file " + path_, err);
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  if (filled > kDeviceFileLimit) {
    throw Failure(path_ + ": larger than " + decimal(kDeviceFileLimit) + " bytes");
  }
  bytes.resize(filled);
  return bytes;
}

// Throws Failure "<path>:<line>:<column>: <reason>".
void DeviceFileReader::fail_at(const toml::source_region& where, std::string_view reason) const {
  std::string message = path_;
  if (where.begin.line != 0) {
    message += ':';
    message += decimal(where.begin.line);
    message += ':';
    message += decimal(where.begin.column);
  }
  message += ": ";
  message += reason;
  throw Failure(message);
}

// Refuses any key of table not in allowed.
void DeviceFileReader::check_keys(const toml::table& table,
                                  std::initializer_list<std::string_view> allowed,
                                  std::string_view what) const {
  for (const auto& [key, value] : table) {
    bool known = false;
    for (std::string_view name : allowed) known = known || key.str() == name;
    if (!known) {
      fail_at(key.source(),
              "unknown key \"" + std::string(key.str()) + "\" in " + std::string(what));
    }
  }
}

// The array of tables under key, or null when absent.
const toml::array* DeviceFileReader::tables(const toml::table& table, std::string_view key,
                                            std::string_view what) const {
  const toml::node* node = table.get(key);
  if (node == nullptr) return nullptr;
  const toml::array* array = node->as_array();
  if (array == nullptr || !array->is_array_of_tables()) {
    fail_at(node->source(), "\"" + std::string(key) + "\" must be written as [[" +
                                std::string(what) + "]] sections");
  }
  return array;
}

// The text under key.
std::string DeviceFileReader::text(const toml::table& table, std::string_view key,
                                   std::size_t limit, bool required, std::string_view what) const {
  const toml::node* node = table.get(key);
  if (node == nullptr) {
    if (required)
      fail_at(table.source(), std::string(what) + " has no \"" + std::string(key) + "\"");
    return std::string();
  }
  const toml::value<std::string>* value = node->as_string();
  if (value == nullptr) fail_at(node->source(), "\"" + std::string(key) + "\" must be a text");
  const std::string& result = value->get();
  if (required && result.empty()) fail_at(node->source(), "\"" + std::string(key) + "\" is empty");
  if (result.size() > limit) {
    fail_at(node->source(), "\"" + std::string(key) + "\" is " + decimal(result.size()) +
                                " bytes long; at most " + decimal(limit) + " are allowed");
  }
  if (result.find('\0') != std::string::npos) {
    fail_at(node->source(), "\"" + std::string(key) + "\" holds a zero character");
  }
  return result;
}

// The finite number under key.
double DeviceFileReader::number(const toml::table& table, std::string_view key, bool positive,
                                std::string_view what) const {
  const toml::node* node = table.get(key);
  if (node == nullptr)
    fail_at(table.source(), std::string(what) + " has no \"" + std::string(key) + "\"");
  double result = 0;
  if (const toml::value<int64_t>* integer = node->as_integer()) {
    result = static_cast<double>(integer->get());
  } else if (const toml::value<double>* real = node->as_floating_point()) {
    result = real->get();
  } else {
    fail_at(node->source(), "\"" + std::string(key) + "\" must be a number");
  }
  if (!std::isfinite(result))
    fail_at(node->source(), "\"" + std::string(key) + "\" must be finite");
  if (positive && !(result > 0)) {
    fail_at(node->source(), "\"" + std::string(key) + "\" must be greater than 0");
  }
  return result;
}

// The optional integer under key, within low..high; 0 when absent.
int DeviceFileReader::small_integer(const toml::table& table, std::string_view key, int low,
                                    int high) const {
  const toml::node* node = table.get(key);
  if (node == nullptr) return 0;
  const toml::value<int64_t>* integer = node->as_integer();
  if (integer == nullptr || integer->get() < low || integer->get() > high) {
    fail_at(node->source(), "\"" + std::string(key) + "\" must be an integer from " +
                                decimal(static_cast<std::size_t>(low)) + " to " +
                                decimal(static_cast<std::size_t>(high)));
  }
  return static_cast<int>(integer->get());
}

// One [[film]] section.
FilmDescription DeviceFileReader::film(const toml::table& table) const {
  check_keys(table, {"name", "length", "width"}, "a [[film]] section");
  FilmDescription film;
  film.name = text(table, "name", kNameLimit, true, "the film");
  film.length = number(table, "length", true, "the film");
  film.width = number(table, "width", true, "the film");
  return film;
}

// One [[configuration]] section with its [[configuration.resolution]] ones.
ConfigurationDescription DeviceFileReader::configuration(const toml::table& table) const {
  check_keys(table,
             {"name", "film", "default", "resolution", "deflate_level", "compression_threads"},
             "a [[configuration]] section");
  ConfigurationDescription configuration;
  configuration.name = text(table, "name", kNameLimit, true, "the configuration");
  configuration.film = text(table, "film", kNameLimit, true, "the configuration");
  const toml::source_position& film_at = table.get("film")->source().begin;
  configuration.film_line = film_at.line;
  configuration.film_column = film_at.column;
  if (const toml::node* node = table.get("default")) {
    const toml::value<bool>* flag = node->as_boolean();
    if (flag == nullptr) fail_at(node->source(), "\"default\" must be true or false");
    configuration.is_default = flag->get();
  }
  configuration.deflate_level = small_integer(table, "deflate_level", 1, kMaxDeflateLevel);
  configuration.compression_threads =
      small_integer(table, "compression_threads", 1, kMaxCompressionThreads);
  const toml::array* resolutions = tables(table, "resolution", "configuration.resolution");
  if (resolutions == nullptr || resolutions->empty()) {
    fail_at(table.source(), "the configuration has no [[configuration.resolution]] section");
  }
  for (const toml::node& node : *resolutions) {
    configuration.resolutions.push_back(resolution(*node.as_table()));
  }
  return configuration;
}

// One [[configuration.resolution]] section.
ResolutionDescription DeviceFileReader::resolution(const toml::table& table) const {
  check_keys(table, {"ppi", "gamma", "gamma_text", "label"},
             "a [[configuration.resolution]] section");
  ResolutionDescription resolution;
  resolution.resolution = number(table, "ppi", true, "the resolution");
  resolution.gamma = number(table, "gamma", false, "the resolution");
  resolution.gamma_text = text(table, "gamma_text", kGammaTextLimit, false, "the resolution");
  resolution.label = text(table, "label", kNameLimit, false, "the resolution");
  if (resolution.label.empty()) resolution.label = shortest_decimal(resolution.resolution);
  return resolution;
}

}  // namespace

// Reads and checks the device file path.
DeviceDescription read_device_file(const std::string& path) {
  return DeviceFileReader(path).read();
}

// Index of the configuration named wanted, or of the default one.
std::size_t select_configuration(const DeviceDescription& device, std::string_view wanted) {
  for (std::size_t i = 0; i < device.configurations.size(); ++i) {
    const ConfigurationDescription& configuration = device.configurations[i];
    if (wanted.empty() ? configuration.is_default
                       : textutil::equal_ignoring_case(configuration.name, wanted)) {
      return i;
    }
  }
  if (wanted.empty() && !device.configurations.empty()) return 0;
  std::string message = device.path + ": no configuration named \"" + std::string(wanted) + "\"";
  message += " (known: ";
  for (std::size_t i = 0; i < device.configurations.size(); ++i) {
    if (i != 0) message += ", ";
    message += device.configurations[i].name;
  }
  message += ')';
  throw Failure(message);
}

// Index of the film the configuration uses.
std::size_t film_of_configuration(const DeviceDescription& device, std::size_t configuration) {
  const ConfigurationDescription& entry = device.configurations.at(configuration);
  for (std::size_t i = 0; i < device.films.size(); ++i) {
    if (textutil::equal_ignoring_case(device.films[i].name, entry.film)) return i;
  }
  std::string message = device.path;
  if (entry.film_line != 0) {
    message += ':';
    message += decimal(entry.film_line);
    message += ':';
    message += decimal(entry.film_column);
  }
  // The words of the plug-in's refusal, so that both are found together.
  message += ": Film (" + entry.film + ") in selected configuration (" + entry.name +
             ") not found";
  if (device.films.empty()) {
    message += " (the file lists no [[film]])";
  } else {
    message += " (films: ";
    for (std::size_t i = 0; i < device.films.size(); ++i) {
      if (i != 0) message += ", ";
      message += device.films[i].name;
    }
    message += ')';
  }
  throw Failure(message);
}

// Checks the device folder as a job would use it.
void check_device_folder(const std::string& folder, std::string_view wanted) {
  DeviceDescription device =
      read_device_file(join_folder(folder.empty() ? "." : folder, "device.toml"));
  film_of_configuration(device, select_configuration(device, wanted));
}

}  // namespace dravoututil
