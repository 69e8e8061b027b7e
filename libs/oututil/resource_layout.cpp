// resource_layout.cpp - laying a device description out in the fixed-offset
// records of dravoututil.h.
#include <cstring>
#include <type_traits>

#include "device_description.h"
#include "failure.h"

namespace dravoututil {

namespace {

// count records of type T with every byte zero, padding and reserved fields
// included.
template <typename T>
std::vector<T> zeroed_records(std::size_t count) {
  static_assert(std::is_trivially_copyable_v<T>);
  std::vector<T> records(count);
  if (count != 0) std::memset(static_cast<void*>(records.data()), 0, count * sizeof(T));
  return records;
}

// Copies text into a zeroed field of size bytes, keeping its zero byte.
template <std::size_t size>
void put_text(char (&field)[size], const std::string& text) {
  // The reader refused longer texts; a cut name would select the wrong thing.
  if (text.size() >= size) throw Failure("internal error: text does not fit its field");
  std::memcpy(field, text.data(), text.size());
}

}  // namespace

// Lays device out with configuration number selected chosen.
ResourceData::ResourceData(const DeviceDescription& device, std::size_t selected)
    : resource_(std::make_unique<DravResource>()),
      films_(zeroed_records<DravFilmEntry>(device.films.size())),
      configurations_(zeroed_records<DravConfigRecord>(device.configurations.size())) {
  std::memset(static_cast<void*>(resource_.get()), 0, sizeof(DravResource));

  for (std::size_t i = 0; i < device.films.size(); ++i) {
    const FilmDescription& film = device.films[i];
    put_text(films_[i].name, film.name);
    films_[i].length = film.length;
    films_[i].width = film.width;
  }

  resolutions_.reserve(device.configurations.size());
  for (std::size_t i = 0; i < device.configurations.size(); ++i) {
    const ConfigurationDescription& configuration = device.configurations[i];
    std::vector<DravResolutionEntry> entries =
        zeroed_records<DravResolutionEntry>(configuration.resolutions.size());
    for (std::size_t j = 0; j < entries.size(); ++j) {
      const ResolutionDescription& resolution = configuration.resolutions[j];
      put_text(entries[j].name, resolution.label);
      entries[j].resolution = resolution.resolution;
      entries[j].gamma = resolution.gamma;
      put_text(entries[j].gamma_text, resolution.gamma_text);
    }
    DravConfigRecord& record = configurations_[i];
    put_text(record.name, configuration.name);
    put_text(record.film_name, configuration.film);
    // The writer settings sit at the start of what was reserved space, so
    // every other field keeps its documented offset.
    record.deflate_level = configuration.deflate_level;
    record.compression_threads = configuration.compression_threads;
    record.films = films_.empty() ? nullptr : films_.data();
    record.resolution_count = static_cast<int32_t>(entries.size());
    resolutions_.push_back(std::move(entries));  // moving keeps the entries' address
    record.resolutions = resolutions_.back().empty() ? nullptr : resolutions_.back().data();
  }

  put_text(resource_->file_path, device.path);
  put_text(resource_->config_name, device.configurations.at(selected).name);
  resource_->film_count = static_cast<int32_t>(films_.size());
  resource_->config_count = static_cast<int32_t>(configurations_.size());
  resource_->selected = &configurations_[selected];
  resource_->configurations = configurations_.data();
  resource_->films = films_.empty() ? nullptr : films_.data();
}

}  // namespace dravoututil
