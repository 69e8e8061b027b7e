// set_records.h - the sets of a device file and their malloc'ed records.
#ifndef DRAVCFG_SET_RECORDS_H
#define DRAVCFG_SET_RECORDS_H

#include <string>
#include <vector>

#include "device_description.h"
#include "dravcfg.h"

namespace dravcfg {

// One set: a configuration's name and resolutions, in file order.
struct SetContents {
  std::string name;
  std::vector<double> resolutions;
};

// The sets of a device file: one per configuration, in file order.
std::vector<SetContents> sets_of(const dravoututil::DeviceDescription& device);

// A new array of sets.size() new records (each one malloc block of
// DRAVCFG_SET_SIZE(count) bytes, zero where nothing is written), for the
// caller to free. Null when memory runs out or a set does not fit a record;
// nothing is left allocated then.
DravCfgSet** make_set_records(const std::vector<SetContents>& sets) noexcept;

}  // namespace dravcfg

#endif  // DRAVCFG_SET_RECORDS_H
