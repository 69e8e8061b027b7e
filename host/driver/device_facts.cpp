// device_facts.cpp - the device file read through the output utility
// library, with a callback table of its own that answers DEVICEDIR only and
// keeps the library's messages to itself.
#include "driver/device_facts.h"

#include <cstdio>
#include <cstring>

#include "drav_host.h"
#include "dravoututil.h"
#include "ticket/option_value.h"

namespace riphost {

namespace {

// The folder the current read asks for; one read at a time.
thread_local const std::string* reading_folder = nullptr;

int no_int(const char*, int*) { return 0; }
int no_real(const char*, double*) { return 0; }

// Answers DEVICEDIR with the folder being read.
int device_folder_option(const char* key, char* buffer) {
  if (!reading_folder || !key || !buffer || !iequals(key, "DEVICEDIR")) return 0;
  if (reading_folder->size() >= DRAV_OPTION_TEXT_SIZE) return 0;
  std::memcpy(buffer, reading_folder->c_str(), reading_folder->size() + 1);
  return 1;
}

void no_file(const char*, int) {}

// The library's reasons are the checks' to print, not this reader's.
__attribute__((format(printf, 2, 3))) int silent_message(int, const char*, ...) { return 0; }

// The text of a fixed-size name field, up to its zero or its end.
std::string field(const char* text, std::size_t size) { return std::string(text, strnlen(text, size)); }

// The facts of a resource record.
DeviceFacts facts_of(const DravResource& resource) {
  DeviceFacts facts;
  facts.file = field(resource.file_path, sizeof resource.file_path);
  facts.default_configuration = field(resource.config_name, sizeof resource.config_name);
  for (int i = 0; resource.films && i < resource.film_count; ++i) {
    const DravFilmEntry& film = resource.films[i];
    facts.films.push_back(FilmFacts{field(film.name, sizeof film.name), film.length, film.width});
  }
  for (int i = 0; resource.configurations && i < resource.config_count; ++i) {
    const DravConfigRecord& record = resource.configurations[i];
    ConfigurationFacts configuration;
    configuration.name = field(record.name, sizeof record.name);
    configuration.film = field(record.film_name, sizeof record.film_name);
    for (int k = 0; record.resolutions && k < record.resolution_count; ++k) {
      configuration.resolutions.push_back(record.resolutions[k].resolution);
    }
    facts.configurations.push_back(std::move(configuration));
  }
  return facts;
}

}  // namespace

const ConfigurationFacts* DeviceFacts::configuration(std::string_view name) const noexcept {
  if (name.empty()) name = default_configuration;
  for (const ConfigurationFacts& entry : configurations) {
    if (iequals(entry.name, name)) return &entry;
  }
  return nullptr;
}

const FilmFacts* DeviceFacts::film(std::string_view name) const noexcept {
  for (const FilmFacts& entry : films) {
    if (iequals(entry.name, name)) return &entry;
  }
  return nullptr;
}

std::optional<DeviceFacts> read_device_facts(const std::filesystem::path& folder) {
  const std::string name = folder.string();
  HostCallbacks callbacks{};
  callbacks.get_int_option = no_int;
  callbacks.get_real_option = no_real;
  callbacks.get_string_option = device_folder_option;
  callbacks.file_done = no_file;
  callbacks.host_message = silent_message;
  DravOptionDecl* own_options = nullptr;
  DravOutUtil* util = dravoututil_init(&callbacks, 0, &own_options);
  if (!util) return std::nullopt;
  const std::string* previous = reading_folder;
  reading_folder = &name;
  std::optional<DeviceFacts> facts;
  DravResource** resdata = nullptr;
  try {
    if (dravoututil_readresfile(util, nullptr, 0, &resdata) == 0 && resdata && *resdata) facts = facts_of(**resdata);
  } catch (...) {
    facts.reset();
  }
  reading_folder = previous;
  dravoututil_end(util);
  return facts;
}

std::string list_resolutions(const std::vector<double>& resolutions) {
  std::string list;
  for (double resolution : resolutions) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", resolution);
    list += (list.empty() ? "" : ", ") + std::string(text);
  }
  return list;
}

}  // namespace riphost
