// set_records.cpp - laying the sets out in the records the caller frees.
#include "set_records.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace dravcfg {

// The sets of a device file.
std::vector<SetContents> sets_of(const dravoututil::DeviceDescription& device) {
  std::vector<SetContents> sets;
  sets.reserve(device.configurations.size());
  for (const dravoututil::ConfigurationDescription& configuration : device.configurations) {
    SetContents set;
    set.name = configuration.name;
    set.resolutions.reserve(configuration.resolutions.size());
    for (const dravoututil::ResolutionDescription& resolution : configuration.resolutions) {
      set.resolutions.push_back(resolution.resolution);
    }
    sets.push_back(std::move(set));
  }
  return sets;
}

namespace {

// Frees the first count records of records, then records.
void free_records(DravCfgSet** records, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) std::free(records[i]);
  std::free(records);
}

// The largest number of resolutions a record can count (int32) and whose
// size fits a size_t.
constexpr std::size_t kMaxResolutions =
    std::min<std::size_t>(std::numeric_limits<int32_t>::max(),
                          (std::numeric_limits<std::size_t>::max() - sizeof(DravCfgSet)) /
                              sizeof(DravCfgResolution));

}  // namespace

// A new array of new records.
DravCfgSet** make_set_records(const std::vector<SetContents>& sets) noexcept {
  // calloc(0) may give null; one slot more keeps success and failure apart.
  auto** records = static_cast<DravCfgSet**>(std::calloc(sets.size() + 1, sizeof(DravCfgSet*)));
  if (records == nullptr) return nullptr;
  for (std::size_t i = 0; i < sets.size(); ++i) {
    const SetContents& set = sets[i];
    const std::size_t count = set.resolutions.size();
    // The reader refuses longer names; a cut name would name another set.
    if (count > kMaxResolutions || set.name.size() >= sizeof(DravCfgSet::name)) {
      free_records(records, i);
      return nullptr;
    }
    auto* record = static_cast<DravCfgSet*>(std::calloc(1, DRAVCFG_SET_SIZE(count)));
    if (record == nullptr) {
      free_records(records, i);
      return nullptr;
    }
    std::memcpy(record->name, set.name.data(), set.name.size());
    record->resolution_count = static_cast<int32_t>(count);
    for (std::size_t k = 0; k < count; ++k) record->resolutions[k].resolution = set.resolutions[k];
    records[i] = record;
  }
  return records;
}

}  // namespace dravcfg
