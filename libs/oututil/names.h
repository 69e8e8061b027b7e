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
std::string time_stamp(std::int64_t seconds);

// The full time of a 32-bit count of seconds as the plug-in contract hands
// it: the time whose lowest 32 bits are value (taken as unsigned) and which
// lies nearest to reference (the current time, 64-bit). A count that wrapped
// after 2038-01-19 thus stays in its own century instead of going back to
// 1901, as long as it lies within 68 years of reference.
std::int64_t seconds_from_interface(std::int32_t value, std::int64_t reference);

// The next number of this process's name counter (shared by all handles).
unsigned long long next_sequence();

// Longest host name, in bytes, that goes into a temporary name.
inline constexpr std::size_t kHostNameLimit = 64;

// A machine's host name as it appears in temporary names: cut at its first
// ".", bytes outside A-Z a-z 0-9 _ - replaced by "_", cut to kHostNameLimit
// bytes; "localhost" when nothing remains.
std::string sanitize_host_name(std::string_view raw);

// This machine's host name (gethostname, sanitize_host_name), read once per
// process; "localhost" when it cannot be read.
const std::string& host_name();

// ".<stem>.<host>.<pid>.<sequence><suffix>": the base name of a temporary
// file of this process (host_name(), getpid(), next_sequence()).
std::string temporary_base_name(std::string_view stem, std::string_view suffix);

// The parts of a temporary name of the library's current form
// ".<stem>.<host>.<pid>.<sequence><suffix>" whose suffix is one of the
// library's own: ".tmp", ".tmp_pngpreview" (dravoututil_outputspec) or
// ".copy" (copies). The views point into the parsed text.
struct TemporaryNameParts {
  std::string_view stem;
  std::string_view host;
  std::string_view suffix;
  unsigned long long pid = 0;
  unsigned long long sequence = 0;
};

// Parses base (a name without folder) strictly: true and parts filled only
// when it has exactly the form above, with a non-empty stem, a host of
// 1 to kHostNameLimit bytes of A-Z a-z 0-9 _ -, and pid and sequence written
// as the library writes them (decimal, no leading zero, not 0). Names of the
// older form without a host never match.
bool parse_temporary_name(std::string_view base, TemporaryNameParts& parts);

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

// The stem of a temporary file's base name: of the current form
// ".<stem>.<host>.<pid>.<sequence><suffix>" or of the older form without a
// host ".<stem>.<pid>.<sequence><suffix>". The stem may hold dots and digit
// groups itself: the name counts as the current form when the part before
// ".<host>" ends in the time stamp "-YYYYMMDD-HHMMSS" (as every name of
// dravoututil_outputspec does) or <host> is this machine's host name. A base
// name of neither form gives itself without its last extension.
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
