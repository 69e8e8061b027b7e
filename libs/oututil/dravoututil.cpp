// dravoututil.cpp - the exported C functions: a thin edge that checks its
// arguments, calls the C++ parts, and turns every exception into a level-1
// message and a non-zero result.
#include "dravoututil.h"

#include <cstring>
#include <new>
#include <string>

#include "device_description.h"
#include "failure.h"
#include "handle.h"
#include "names.h"
#include "output_files.h"

namespace {

using dravoututil::Failure;

// Result of a failed call.
constexpr int kFailed = 1;

// Reports text at level 1 through the host, as an argument, never a format.
void report(const DravOutUtil* util, const char* text) {
  if (util != nullptr && util->host != nullptr && util->host->host_message != nullptr) {
    util->host->host_message(DRAV_MSG_ERROR, "dravoututil: %s", text);
  }
}

// Reports at level 1 that a file reached its final name but its folder
// could not be synced; allocates nothing.
void report_unsynced(const DravOutUtil* util, const dravoututil::FinalName& final_name) {
  if (util->host != nullptr && util->host->host_message != nullptr) {
    util->host->host_message(DRAV_MSG_ERROR,
                             "dravoututil: %s is complete, but its name may not survive a "
                             "crash: %s",
                             final_name.name.c_str(), final_name.unsynced.c_str());
  }
}

// Runs body; returns 0, or reports what it threw and returns kFailed.
template <typename Body>
int guarded(const DravOutUtil* util, Body&& body) {
  try {
    body();
    return 0;
  } catch (const std::bad_alloc&) {
    report(util, "out of memory");
  } catch (const std::exception& error) {
    report(util, error.what());
  } catch (...) {
    report(util, "unexpected failure");
  }
  return kFailed;
}

// The usable byte count of a caller's buffer (0 when there is none); empties
// the buffer so that a failure never leaves an old name in it.
std::size_t clear_buffer(char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  return static_cast<std::size_t>(size);
}

// Copies name (which fits) into buffer with its zero byte.
void put_name(char* buffer, std::size_t capacity, const std::string& name) {
  if (name.size() >= capacity) return;
  std::memcpy(buffer, name.c_str(), name.size() + 1);
}

}  // namespace

// Starts the library with the host's table.
DravOutUtil* dravoututil_init(HostCallbacks* host, int zero, DravOptionDecl** util_options) {
  if (host == nullptr || zero != 0) return nullptr;
  DravOutUtil* util = new (std::nothrow) DravOutUtil(host);
  if (util == nullptr) return nullptr;
  if (util_options != nullptr) *util_options = util->util_options;
  return util;
}

// One option list of util_options and then declared.
DravOptionDecl* dravoututil_mergeoptions(DravOutUtil* util, const DravOptionDecl* util_options,
                                         const DravOptionDecl* declared) {
  if (util == nullptr) return nullptr;
  DravOptionDecl* merged = nullptr;
  guarded(util, [&] {
    util->merged_lists.reserve(util->merged_lists.size() + 1);
    auto list = std::make_unique<dravoututil::MergedOptionList>(util_options, declared);
    merged = list->entries();
    util->merged_lists.push_back(std::move(list));
  });
  return merged;
}

// Reads the device file and selects a configuration.
int dravoututil_readresfile(DravOutUtil* util, const char* config_name, int zero,
                            DravResource*** resdata) {
  if (util == nullptr) return kFailed;
  return guarded(util, [&] {
    if (resdata == nullptr) throw Failure("dravoututil_readresfile: no place for the result");
    if (zero != 0) throw Failure("dravoututil_readresfile: the third argument must be 0");
    std::string path = dravoututil::join_folder(util->options.device_folder(), "device.toml");
    dravoututil::DeviceDescription device = dravoututil::read_device_file(path);
    std::size_t selected =
        dravoututil::select_configuration(device, config_name != nullptr ? config_name : "");
    auto data = std::make_unique<dravoututil::ResourceData>(device, selected);
    // Nothing below throws: the earlier record stays until the new one is whole.
    util->resource_word = data->record();
    util->resource.swap(data);
    *resdata = &util->resource_word;
  });
}

// Creates a new temporary file and writes its name into buffer.
int dravoututil_outputspec(DravOutUtil* util, char* buffer, int size, const char* suffix,
                           const int32_t* time) {
  std::size_t capacity = clear_buffer(buffer, size);
  if (util == nullptr) return kFailed;
  return guarded(util, [&] {
    if (capacity == 0 || suffix == nullptr || time == nullptr) {
      throw Failure("dravoututil_outputspec: missing argument");
    }
    std::string name = dravoututil::create_temporary_file(
        util->options.output_folder(), util->options.job_name(), suffix, *time, capacity);
    put_name(buffer, capacity, name);
  });
}

// Moves source to a unique final name with extension.
int dravoututil_uniquerename(DravOutUtil* util, char* buffer, int size, const char* source,
                             const char* extension) {
  std::size_t capacity = clear_buffer(buffer, size);
  if (util == nullptr) return kFailed;
  std::string last_tried;
  dravoututil::FinalName final_name;
  int result = guarded(util, [&] {
    if (capacity == 0 || source == nullptr || extension == nullptr) {
      throw Failure("dravoututil_uniquerename: missing argument");
    }
    final_name = util->namer.move_to_unique_name(source, extension, capacity, last_tried);
  });
  if (result == 0 && !final_name.unsynced.empty()) {
    // The file is under its final name and stays there: the call succeeds,
    // but the host learns that the name may not survive a crash.
    report_unsynced(util, final_name);
  }
  if (capacity != 0) put_name(buffer, capacity, last_tried);
  return result;
}

// Copies source to a unique name of the same form.
int dravoututil_uniquecopy(DravOutUtil* util, char* buffer, int size, const char* source) {
  std::size_t capacity = clear_buffer(buffer, size);
  if (util == nullptr) return kFailed;
  return guarded(util, [&] {
    if (capacity == 0 || source == nullptr)
      throw Failure("dravoututil_uniquecopy: missing argument");
    put_name(buffer, capacity, util->namer.copy_to_unique_name(source, capacity));
  });
}

// Reports a finished file to the host.
void dravoututil_feedback(DravOutUtil* util, const char* name, int zero) {
  if (util == nullptr || name == nullptr || util->host == nullptr) return;
  if (util->host->file_done != nullptr) util->host->file_done(name, zero);
}

// Ends the library and frees everything it owns.
void dravoututil_end(DravOutUtil* util) { delete util; }
