// options.cpp - reading the library's options and merging option lists.
#include "options.h"

#include <cstdlib>

#include "ascii_case.h"

namespace dravoututil {

// Folder of temporary and final files.
std::string OptionReader::output_folder() const { return read("OUTDIR", "."); }

// Folder of the device file.
std::string OptionReader::device_folder() const {
  const char* environment = std::getenv("DRAV_DEVICEDIR");
  std::string fallback = (environment != nullptr && environment[0] != '\0') ? environment : ".";
  return read("DEVICEDIR", fallback);
}

// Job name as the host gives it.
std::string OptionReader::job_name() const { return read("JOBNAME", ""); }

// The host's non-empty text for key, or fallback.
std::string OptionReader::read(const char* key, const std::string& fallback) const {
  if (host_ == nullptr || host_->get_string_option == nullptr) return fallback;
  char buffer[DRAV_OPTION_TEXT_SIZE] = {};
  if (host_->get_string_option(key, buffer) == 0) return fallback;
  buffer[DRAV_OPTION_TEXT_SIZE - 1] = '\0';  // never read past the buffer
  if (buffer[0] == '\0') return fallback;
  return buffer;
}

// Builds the merged list from first and then second.
MergedOptionList::MergedOptionList(const DravOptionDecl* first, const DravOptionDecl* second) {
  append_new_keys(first);
  append_new_keys(second);
  // The keys are complete: only now take pointers to their texts.
  entries_.reserve(keys_.size() + 1);
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    entries_.push_back(DravOptionDecl{keys_[i].c_str(), types_[i]});
  }
  entries_.push_back(DravOptionDecl{nullptr, 0});
}

// Appends the entries of list whose keys are not listed yet.
void MergedOptionList::append_new_keys(const DravOptionDecl* list) {
  if (list == nullptr) return;
  for (const DravOptionDecl* entry = list; entry->key != nullptr; ++entry) {
    bool listed = false;
    for (const std::string& key : keys_) {
      if (textutil::equal_ignoring_case(key, entry->key)) {
        listed = true;
        break;
      }
    }
    if (listed) continue;
    keys_.emplace_back(entry->key);
    types_.push_back(entry->type);
  }
}

}  // namespace dravoututil
