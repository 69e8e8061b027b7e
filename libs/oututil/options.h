// options.h - the library's own job options: reading them from the host when
// a call needs them, and merging option lists for the host.
#ifndef DRAVOUTUTIL_OPTIONS_H
#define DRAVOUTUTIL_OPTIONS_H

#include <string>
#include <vector>

#include "drav_host.h"

namespace dravoututil {

// Reads the library's options through the host's get_string_option each time
// one is asked for, so a value changed between jobs is seen by the next call.
// An option the host lacks, or gives as an empty text, takes its default.
class OptionReader {
 public:
  explicit OptionReader(const HostCallbacks* host) : host_(host) {}

  // Folder of temporary and final files ("OUTDIR"; default ".").
  std::string output_folder() const;

  // Folder of the device file ("DEVICEDIR"; default: the environment value
  // DRAV_DEVICEDIR, else ".").
  std::string device_folder() const;

  // Job name as the host gives it ("JOBNAME"; default empty, which the name
  // builder turns into "job").
  std::string job_name() const;

 private:
  // The host's non-empty text for key, or fallback.
  std::string read(const char* key, const std::string& fallback) const;

  const HostCallbacks* host_;
};

// One option list (util options, then declared ones) that owns its keys.
class MergedOptionList {
 public:
  // Builds the list; either input may be null (an empty list). A key already
  // listed (compared without regard to case) is left out.
  MergedOptionList(const DravOptionDecl* first, const DravOptionDecl* second);
  MergedOptionList(const MergedOptionList&) = delete;
  MergedOptionList& operator=(const MergedOptionList&) = delete;

  // The list, ended by an entry with a null key and type 0.
  DravOptionDecl* entries() { return entries_.data(); }

 private:
  // Appends the entries of list whose keys are not listed yet.
  void append_new_keys(const DravOptionDecl* list);

  std::vector<std::string> keys_;
  std::vector<int32_t> types_;
  std::vector<DravOptionDecl> entries_;
};

}  // namespace dravoututil

#endif  // DRAVOUTUTIL_OPTIONS_H
