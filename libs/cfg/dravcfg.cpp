// dravcfg.cpp - the C edge of the configuration library: the handle, its
// error texts and the sets it hands out. No exception crosses this edge.
#include "dravcfg.h"

#include <array>
#include <memory>
#include <climits>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "device_description.h"
#include "failure.h"
#include "location.h"
#include "set_records.h"

namespace {

// What every error text starts with: where it comes from.
constexpr const char* kPrefix = "dravcfg: ";

// Added when the set records cannot be allocated; a literal, since no
// memory may be left to make a text.
constexpr const char* kOutOfMemory = "dravcfg: out of memory for the set records";

}  // namespace

// A handle: the sets of one device file, or the reason there are none.
struct DravCfg {
  std::vector<dravcfg::SetContents> sets;
  std::string open_error;  // why the resource could not be read; empty: it was

  // The texts handed out, followed by a null pointer. Room for every text
  // there can be (the open error and the out-of-memory text) is there from
  // the start, so adding one never moves the array a caller holds.
  std::array<const char*, 3> texts{};
  int text_count = 0;

  void add_text(const char* text) {
    if (text_count + 1 < static_cast<int>(texts.size())) texts[text_count++] = text;
  }
  bool readable() const { return open_error.empty(); }
};

// Opens the resource at location and reads it.
DravCfg* dravcfg_open(const char* location) {
  try {
    const dravcfg::Location where = dravcfg::resolve_location(location);
    if (where.kind == dravcfg::Location::Kind::none) return nullptr;
    auto handle = std::make_unique<DravCfg>();
    if (where.kind == dravcfg::Location::Kind::fault) {
      handle->open_error = kPrefix + where.text;
    } else {
      try {
        handle->sets = dravcfg::sets_of(dravoututil::read_device_file(where.text));
      } catch (const std::bad_alloc&) {
        throw;
      } catch (const dravoututil::Failure& failure) {
        handle->open_error = kPrefix + std::string(failure.what());
      } catch (const std::exception& error) {
        handle->open_error = kPrefix + where.text + ": " + error.what();
      }
      if (handle->readable() && handle->sets.size() > static_cast<std::size_t>(INT_MAX)) {
        handle->sets.clear();
        handle->open_error = kPrefix + where.text + ": too many configurations";
      }
    }
    if (!handle->readable()) handle->add_text(handle->open_error.c_str());
    return handle.release();
  } catch (...) {
    return nullptr;  // out of memory: no handle to hold even a text
  }
}

// Number of error texts.
int dravcfg_get_nr_errors(DravCfg* cfg) { return cfg == nullptr ? 0 : cfg->text_count; }

// The error texts, followed by a null pointer.
const char** dravcfg_get_errormessages(DravCfg* cfg) {
  return cfg == nullptr ? nullptr : cfg->texts.data();
}

// Number of sets.
int dravcfg_get_nrsets(DravCfg* cfg) {
  if (cfg == nullptr || !cfg->readable()) return 0;
  return static_cast<int>(cfg->sets.size());
}

// A new array of new set records.
DravCfgSet** dravcfg_get_sets(DravCfg* cfg) {
  if (cfg == nullptr || !cfg->readable()) return nullptr;
  DravCfgSet** records = dravcfg::make_set_records(cfg->sets);
  if (records == nullptr) {
    bool reported = false;
    for (int i = 0; i < cfg->text_count; ++i) reported = reported || cfg->texts[i] == kOutOfMemory;
    if (!reported) cfg->add_text(kOutOfMemory);
  }
  return records;
}

// Releases the handle and sets *cfg to null.
void dravcfg_close(DravCfg** cfg) {
  if (cfg == nullptr) return;
  delete *cfg;
  *cfg = nullptr;
}
