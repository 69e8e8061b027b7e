// dravoututil.cpp - the exported C functions: a thin edge that checks its
// arguments, calls the C++ parts, and turns every exception into a level-1
// message and a non-zero result.
#include "dravoututil.h"

#include <errno.h>

#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include "device_description.h"
#include "failure.h"
#include "handle.h"
#include "kept_files.h"
#include "names.h"
#include "output_files.h"
#include "stale_files.h"

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

// Copies text into buffer as one line: control bytes (a line end in a file
// name, say) become "?", and a text longer than the buffer is cut, at the
// start of a UTF-8 character, to what fits with its zero byte. Allocates
// nothing.
void put_line(char* buffer, std::size_t capacity, const char* text) {
  if (capacity == 0) return;
  std::size_t length = std::strlen(text);
  if (length >= capacity) {
    length = capacity - 1;
    // Back off over continuation bytes (10xxxxxx) to a character's start.
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char byte = static_cast<unsigned char>(text[i]);
    buffer[i] = (byte < 0x20 || byte == 0x7F) ? '?' : text[i];
  }
  buffer[length] = '\0';
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
    // The contract's count of seconds is 32 bits wide: it is read as the
    // time nearest to now with those low bits, so it never wraps to 1901.
    const std::int64_t seconds = dravoututil::seconds_from_interface(*time, std::time(nullptr));
    util->held.prune();
    util->held.reserve_one();
    dravoututil::TemporaryFile file = dravoututil::create_temporary_file(
        util->options.output_folder(), util->options.job_name(), suffix, seconds, capacity);
    put_name(buffer, capacity, file.name);
    util->held.hold(file.name, std::move(file.file));
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
    util->held.release(source);  // a final name is no temporary one
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

// Keeps a complete file that could not be named where no cleaner removes it.
int dravoututil_keepcomplete(DravOutUtil* util, char* buffer, int size, const char* source,
                             const char* extension) {
  std::size_t capacity = clear_buffer(buffer, size);
  if (util == nullptr) return kFailed;
  return guarded(util, [&] {
    if (capacity == 0 || source == nullptr || extension == nullptr) {
      throw Failure("dravoututil_keepcomplete: missing argument");
    }
    const std::string where =
        dravoututil::keep_complete_file(util->namer, util->held, source, extension, capacity);
    if (where.size() >= capacity) throw Failure("the file name " + where + " does not fit the buffer");
    put_name(buffer, capacity, where);
  });
}

// Deletes a temporary file and ends the handle's hold on it.
int dravoututil_discard(DravOutUtil* util, const char* path) {
  if (util == nullptr || path == nullptr) {
    errno = EINVAL;
    return -1;
  }
  try {
    const int err = util->held.discard(path);
    if (err == 0) return 0;
    errno = err;
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
  } catch (...) {
    errno = EIO;
  }
  return -1;
}

// Reports a finished file to the host.
void dravoututil_feedback(DravOutUtil* util, const char* name, int zero) {
  if (util == nullptr || name == nullptr || util->host == nullptr) return;
  if (util->host->file_done != nullptr) util->host->file_done(name, zero);
}

// Ends the library and frees everything it owns.
void dravoututil_end(DravOutUtil* util) { delete util; }

// Removes the temporary files that dead processes of this machine left.
int dravoututil_cleantemporaries(const char* folder,
                                 void (*removed)(const char* path, void* context),
                                 void* context) {
  if (folder == nullptr) {
    errno = EINVAL;
    return -1;
  }
  try {
    return dravoututil::remove_stale_temporaries(folder, [&](const std::string& path) {
      if (removed != nullptr) removed(path.c_str(), context);
    });
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
  } catch (...) {
    errno = EIO;
  }
  return -1;
}

// Checks a device folder without a handle.
int dravoututil_checkdevice(const char* device_folder, const char* config_name, char* error,
                            int size) {
  std::size_t capacity = clear_buffer(error, size);
  try {
    if (device_folder == nullptr) throw Failure("dravoututil_checkdevice: no device folder");
    dravoututil::check_device_folder(device_folder, config_name != nullptr ? config_name : "");
    return 0;
  } catch (const std::bad_alloc&) {
    put_line(error, capacity, "out of memory");
  } catch (const std::exception& failure) {
    put_line(error, capacity, failure.what());
  } catch (...) {
    put_line(error, capacity, "unexpected failure");
  }
  return kFailed;
}
