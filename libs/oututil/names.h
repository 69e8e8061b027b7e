// names.h - how the library forms file names: the sanitised job name, the
// time stamp, temporary names, and the stems and numbered forms of final
// names. Pure text work; nothing here touches the file system.
#ifndef DRAVOUTUTIL_NAMES_H
#define DRAVOUTUTIL_NAMES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dravoututil {

// Longest job name, in bytes, that goes into a file name.
inline constexpr std::size_t kJobNameLimit = 64;

// The job name as it may appear in a file name: bytes outside A-Z a-z 0-9
// . _ - become "_", a leading "." becomes "_", the result is cut to
// kJobNameLimit bytes, and an empty result becomes "job".
std::string sanitize_job_name(std::string_view raw);

// "YYYYMMDD-HHMMSS" for the local time of seconds (since 1970), formatted
// without regard to the process locale. Throws Failure when the time cannot
// be converted.
std::string time_stamp(std::int32_t seconds);

// The next number of this process's name counter (shared by all handles).
unsigned long long next_sequence();

// ".<stem>.<pid>.<sequence><suffix>": the base name of a temporary file.
std::string temporary_base_name(std::string_view stem, std::string_view suffix);

// A path cut after its last "/": folder_prefix keeps that "/" (empty when the
// path has none), base is the rest.
struct PathParts {
  std::string folder_prefix;
  std::string base;
};
PathParts split_path(std::string_view path);

// folder_prefix as a folder name to open: "." when it is empty.
std::string folder_of(const PathParts& parts);

// folder + "/" + name, without doubling a "/" that ends folder.
std::string join_folder(std::string_view folder, std::string_view name);

// The stem of a temporary file's base name ".<stem>.<pid>.<sequence><suffix>";
// a base name of another form gives itself without its last extension.
std::string stem_of_temporary(std::string_view base);

// A final name cut into its stem and extension: "stem.tav", "stem-2.tav" and
// "stem-3.tav" all give "stem" and ".tav". A stem ending in the time stamp
// "-YYYYMMDD-HHMMSS" keeps it whole.
struct FinalNameParts {
  std::string stem;
  std::string extension;
};
FinalNameParts split_final_name(std::string_view base);

// folder_prefix + stem + extension for number 1, and
// folder_prefix + stem + "-<number>" + extension for numbers from 2.
std::string numbered_name(std::string_view folder_prefix, std::string_view stem,
                          unsigned long number, std::string_view extension);

// Throws Failure unless name and its zero byte fit in capacity bytes (the
// caller's buffer).
void require_fit(const std::string& name, std::size_t capacity);

}  // namespace dravoututil

#endif  // DRAVOUTUTIL_NAMES_H
