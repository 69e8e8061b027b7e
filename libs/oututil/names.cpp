// names.cpp - forming temporary and final file names.
#include "names.h"

#include <unistd.h>

#include <atomic>
#include <ctime>

#include "ascii_text.h"
#include "failure.h"

namespace dravoututil {

namespace {

// The process-wide counter behind next_sequence.
std::atomic<unsigned long long> sequence_counter{0};

// True for the bytes a job name may keep.
bool is_name_byte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// True for the bytes a host name keeps.
bool is_host_byte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || is_digit(c) || c == '_' || c == '-';
}

// True when text could be a host name in a temporary name.
bool is_host_shaped(std::string_view text) {
  if (text.empty() || text.size() > kHostNameLimit) return false;
  for (char c : text) {
    if (!is_host_byte(c)) return false;
  }
  return true;
}

// The value of text when it is a decimal number as the library writes one:
// digits only, no leading zero, not 0, at most 19 digits. 0 otherwise.
unsigned long long plain_number(std::string_view text) {
  if (text.empty() || text.size() > 19 || text[0] == '0') return 0;
  unsigned long long value = 0;
  for (char c : text) {
    if (!is_digit(c)) return 0;
    value = value * 10 + static_cast<unsigned long long>(c - '0');
  }
  return value;
}

// Number of decimal digits in text starting at from.
std::size_t digits_at(std::string_view text, std::size_t from) {
  std::size_t count = 0;
  while (from + count < text.size() && is_digit(text[from + count])) ++count;
  return count;
}

// True when text[dot] starts ".<digits>.<digits>" followed by the end of text
// or by another ".".
bool is_pid_and_sequence(std::string_view text, std::size_t dot) {
  std::size_t at = dot + 1;
  std::size_t count = digits_at(text, at);
  if (count == 0) return false;
  at += count;
  if (at >= text.size() || text[at] != '.') return false;
  ++at;
  count = digits_at(text, at);
  if (count == 0) return false;
  at += count;
  return at == text.size() || text[at] == '.';
}

// True when text ends in "-YYYYMMDD-HHMMSS" (digits in those places).
bool ends_with_time_stamp(std::string_view text) {
  constexpr std::size_t kLength = 16;  // "-YYYYMMDD-HHMMSS"
  if (text.size() < kLength) return false;
  std::string_view tail = text.substr(text.size() - kLength);
  return tail[0] == '-' && digits_at(tail, 1) == 8 && tail[9] == '-' && digits_at(tail, 10) == 6;
}

// When head (a temporary name without its leading "." up to the "." before
// the pid) is "<stem>.<host>" of the current form, the length of <stem>;
// else npos.
std::size_t stem_before_host(std::string_view head) {
  std::size_t dot = head.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::string_view::npos;
  std::string_view host = head.substr(dot + 1);
  if (!is_host_shaped(host)) return std::string_view::npos;
  if (ends_with_time_stamp(head.substr(0, dot)) || host == host_name()) return dot;
  return std::string_view::npos;
}

// Length of a trailing "-N" (N digits without a leading zero) of text, or 0.
std::size_t trailing_number_length(std::string_view text) {
  std::size_t count = 0;
  while (count < text.size() && is_digit(text[text.size() - 1 - count])) ++count;
  if (count == 0 || count + 1 >= text.size()) return 0;  // a stem must remain
  if (text[text.size() - 1 - count] != '-') return 0;
  if (text[text.size() - count] == '0') return 0;
  return count + 1;
}

// text without its last extension; a leading "." does not start one.
std::string_view without_extension(std::string_view text) {
  std::size_t dot = text.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return text;
  return text.substr(0, dot);
}

}  // namespace

// The job name as it may appear in a file name.
std::string sanitize_job_name(std::string_view raw) {
  std::string name;
  name.reserve(kJobNameLimit);
  for (char c : raw) {
    if (name.size() == kJobNameLimit) break;
    name.push_back(is_name_byte(c) ? c : '_');
  }
  if (!name.empty() && name[0] == '.') name[0] = '_';
  if (name.empty()) name = "job";
  return name;
}

// "YYYYMMDD-HHMMSS" for the local time of seconds.
std::string time_stamp(std::int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (localtime_r(&time, &local) == nullptr) {
    throw Failure("cannot convert the time " + std::to_string(seconds) + " to local time");
  }
  std::string stamp = decimal_padded(static_cast<unsigned long long>(local.tm_year + 1900), 4);
  stamp += decimal_padded(static_cast<unsigned long long>(local.tm_mon + 1), 2);
  stamp += decimal_padded(static_cast<unsigned long long>(local.tm_mday), 2);
  stamp += '-';
  stamp += decimal_padded(static_cast<unsigned long long>(local.tm_hour), 2);
  stamp += decimal_padded(static_cast<unsigned long long>(local.tm_min), 2);
  stamp += decimal_padded(static_cast<unsigned long long>(local.tm_sec), 2);
  return stamp;
}

// The time nearest to reference whose low 32 bits are value.
std::int64_t seconds_from_interface(std::int32_t value, std::int64_t reference) {
  // The difference of the low 32 bits, as a signed 32-bit number (modular
  // arithmetic, well defined on unsigned values).
  const std::uint32_t low = static_cast<std::uint32_t>(reference);
  const auto offset = static_cast<std::int32_t>(static_cast<std::uint32_t>(value) - low);
  return reference + offset;
}

// The next number of this process's name counter.
unsigned long long next_sequence() {
  return sequence_counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

// The host name as it appears in temporary names.
std::string sanitize_host_name(std::string_view raw) {
  std::string name;
  name.reserve(kHostNameLimit);
  for (char c : raw.substr(0, raw.find('.'))) {
    if (name.size() == kHostNameLimit) break;
    name.push_back(is_host_byte(c) ? c : '_');
  }
  if (name.empty()) name = "localhost";
  return name;
}

// This machine's host name, read once.
const std::string& host_name() {
  static const std::string name = [] {
    // Linux host names are at most 64 bytes; the room beyond shows a cut one.
    char buffer[256 + 1] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) return std::string("localhost");
    return sanitize_host_name(buffer);
  }();
  return name;
}

// ".<stem>.<host>.<pid>.<sequence><suffix>".
std::string temporary_base_name(std::string_view stem, std::string_view suffix) {
  std::string base = ".";
  base += stem;
  base += '.';
  base += host_name();
  base += '.';
  base += decimal(static_cast<unsigned long long>(getpid()));
  base += '.';
  base += decimal(next_sequence());
  base += suffix;
  return base;
}

// A path cut after its last "/".
PathParts split_path(std::string_view path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return PathParts{std::string(), std::string(path)};
  return PathParts{std::string(path.substr(0, slash + 1)), std::string(path.substr(slash + 1))};
}

// folder_prefix as a folder name to open.
std::string folder_of(const PathParts& parts) {
  return parts.folder_prefix.empty() ? std::string(".") : parts.folder_prefix;
}

// folder + "/" + name, without doubling a final "/".
std::string join_folder(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

// Parses a temporary name of the current form with one of the library's
// own suffixes.
bool parse_temporary_name(std::string_view base, TemporaryNameParts& parts) {
  static constexpr std::string_view kSuffixes[] = {".tmp", ".tmp_pngpreview", ".copy"};
  if (base.size() < 2 || base[0] != '.') return false;
  std::string_view rest = base.substr(1);
  std::string_view suffix;
  for (std::string_view candidate : kSuffixes) {
    if (rest.size() > candidate.size() && rest.ends_with(candidate)) suffix = candidate;
  }
  if (suffix.empty()) return false;
  rest.remove_suffix(suffix.size());

  // From the right: ".<sequence>", ".<pid>", ".<host>"; what remains is the
  // stem, which may hold dots of its own.
  std::string_view fields[3];
  for (std::string_view& field : fields) {
    std::size_t dot = rest.rfind('.');
    if (dot == std::string_view::npos) return false;
    field = rest.substr(dot + 1);
    rest = rest.substr(0, dot);
  }
  if (rest.empty() || !is_host_shaped(fields[2])) return false;
  unsigned long long sequence = plain_number(fields[0]);
  unsigned long long pid = plain_number(fields[1]);
  if (sequence == 0 || pid == 0) return false;
  parts.stem = rest;
  parts.host = fields[2];
  parts.suffix = suffix;
  parts.pid = pid;
  parts.sequence = sequence;
  return true;
}

// The stem of a temporary file's base name.
std::string stem_of_temporary(std::string_view base) {
  if (base.size() > 1 && base[0] == '.') {
    std::string_view rest = base.substr(1);
    // The job name may itself hold ".1.2" and the suffix may be digits: the
    // rightmost group that gives the current form is the library's; failing
    // that, the rightmost group of the older form.
    std::size_t older = std::string_view::npos;
    for (std::size_t dot = rest.size(); dot-- > 1;) {
      if (rest[dot] != '.' || !is_pid_and_sequence(rest, dot)) continue;
      std::size_t stem = stem_before_host(rest.substr(0, dot));
      if (stem != std::string_view::npos) return std::string(rest.substr(0, stem));
      if (older == std::string_view::npos) older = dot;
    }
    if (older != std::string_view::npos) return std::string(rest.substr(0, older));
  }
  return std::string(without_extension(base));
}

// A final name cut into its stem and extension.
FinalNameParts split_final_name(std::string_view base) {
  std::string_view name = without_extension(base);
  std::string extension(base.substr(name.size()));
  if (ends_with_time_stamp(name)) return FinalNameParts{std::string(name), extension};
  std::size_t number = trailing_number_length(name);
  if (number != 0) name.remove_suffix(number);
  return FinalNameParts{std::string(name), extension};
}

// folder_prefix + stem [+ "-<number>"] + extension.
std::string numbered_name(std::string_view folder_prefix, std::string_view stem,
                          unsigned long number, std::string_view extension) {
  std::string name(folder_prefix);
  name += stem;
  if (number >= 2) {
    name += '-';
    name += decimal(number);
  }
  name += extension;
  return name;
}

// Throws unless name plus its zero byte fits capacity bytes.
void require_fit(const std::string& name, std::size_t capacity) {
  if (name.size() >= capacity) {
    throw Failure("the file name " + name + " does not fit in " + decimal(capacity) + " bytes");
  }
}

}  // namespace dravoututil
