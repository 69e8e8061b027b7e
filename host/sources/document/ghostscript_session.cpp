// ghostscript_session.cpp - making, running and ending a Ghostscript instance.
#include "sources/document/ghostscript_session.h"

#include <ghostscript/ierrors.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <charconv>
#include <cstring>
#include <filesystem>

#include "common/host_error.h"
#include "sources/document/private_temp.h"
#include "sources/document/document_limits.h"

namespace riphost {

namespace {

std::mutex& instance_mutex() {
  static std::mutex mutex;
  return mutex;
}

std::atomic<bool> given_up{false};

// The lock on the process' one instance; throws once a run was abandoned
// (it keeps the instance for good).
std::unique_lock<std::mutex> take_instance() {
  if (given_up) {
    throw HostError("Ghostscript cannot run another document in this process: a page it could not be stopped on "
                    "still holds it");
  }
  return std::unique_lock<std::mutex>(instance_mutex());
}

// The text without blanks around it.
std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

}  // namespace

std::vector<std::string> command_pieces(const std::vector<std::string>& parts) {
  constexpr std::size_t kMaxPiece = 2000;
  std::vector<std::string> pieces;
  for (const std::string& part : parts) {
    if (part.size() > kMaxPiece) {
      throw HostError("a setting for Ghostscript is too long (" + std::to_string(part.size()) + " bytes)");
    }
    if (pieces.empty() || pieces.back().size() + 1 + part.size() > kMaxPiece) {
      pieces.push_back(part);
    } else {
      pieces.back() += " " + part;
    }
  }
  return pieces;
}

std::string hex_string(const std::string& text) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex = "<";
  for (unsigned char c : text) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex + ">";
}

std::string from_hex(std::string_view hex) {
  std::string text;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    unsigned value = 0;
    std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
    text += static_cast<char>(value);
  }
  return text;
}

void GhostscriptSession::abandon() noexcept { given_up = true; }

bool GhostscriptSession::abandoned() noexcept { return given_up; }

void GhostscriptSession::remove_scratch_files() noexcept {
  std::error_code error;
  const char* temp = std::getenv("TMPDIR");
  const std::filesystem::path folder = std::filesystem::weakly_canonical(temp && *temp ? temp : "/tmp", error);
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    std::error_code unread;
    const std::filesystem::path target = std::filesystem::read_symlink(entry.path(), unread);
    if (unread || target.parent_path() != folder || target.filename().string().rfind("gs_", 0) != 0) continue;
    // A file already unlinked reads "... (deleted)"; one of the same name
    // made since is left alone (it is not this file).
    struct stat named {}, open {};
    if (stat(target.c_str(), &named) != 0 || stat(entry.path().c_str(), &open) != 0) continue;
    if (named.st_dev == open.st_dev && named.st_ino == open.st_ino) unlink(target.c_str());
  }
}

GhostscriptSession::GhostscriptSession(std::uint64_t memory_limit)
    : one_at_a_time_(take_instance()), memory_limit_(memory_limit), library_(ghostscript_library()) {
  // Ghostscript's temporary folder, which -dSAFER lets a document use, is
  // the run's private one: TMPDIR names it before the instance exists.
  private_work_folder();
  if (library_.new_instance(&instance_, this) < 0 || !instance_) {
    throw HostError("Ghostscript could not make an instance (is another program using its library?)");
  }
  library_.set_arg_encoding(instance_, GS_ARG_ENCODING_UTF8);
  library_.set_stdio_with_handle(instance_, read_input, write_output, write_error, this);
  library_.register_callout(instance_, callout, this);
}

GhostscriptSession::~GhostscriptSession() {
  if (initialised_) library_.exit(instance_);
  library_.delete_instance(instance_);
}

void GhostscriptSession::permit_reading(const std::string& path) {
  library_.add_control_path(instance_, GS_PERMIT_FILE_READING, path.c_str());
}

void GhostscriptSession::set_display(display_callback* callback, void* handle) {
  display_ = callback;
  display_handle_ = handle;
}

void GhostscriptSession::set_poll(int (*poll)(void*), void* handle) {
  library_.set_poll_with_handle(instance_, poll, handle);
}

bool GhostscriptSession::run(const std::vector<std::string>& args) {
  std::vector<std::string> words;
  words.reserve(args.size() + 1);
  words.emplace_back("riphost");
  // Ghostscript's allocator refuses what goes beyond the limit (a VMerror).
  if (memory_limit_ > 0) words.push_back(memory_option(memory_limit_));
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  initialised_ = true;
  code_ = library_.init_with_args(instance_, static_cast<int>(words.size()), argv.data());
  // Ghostscript writes what it still holds when it ends: end it now, so that
  // the output is complete when run returns.
  const int ended = library_.exit(instance_);
  initialised_ = false;
  if (code_ == 0 || code_ == gs_error_Quit) code_ = ended;
  // Lines Ghostscript left without a line feed.
  if (!out_.partial.empty()) line(out_, out_.partial, true);
  if (!err_.partial.empty()) line(err_, err_.partial, false);
  out_.partial.clear();
  err_.partial.clear();
  return code_ == 0 || code_ == gs_error_Quit;
}

std::string GhostscriptSession::error_line() const {
  // Ghostscript does not say when its scratch files find no room.
  const std::string line = first_error_.empty() ? err_.last_line : first_error_;
  return line.empty() ? line : line + temp_space_note();
}

int GhostscriptSession::read_input(void*, char*, int) { return 0; }

int GhostscriptSession::write_output(void* handle, const char* text, int length) {
  auto* session = static_cast<GhostscriptSession*>(handle);
  session->take(session->out_, text, length, true);
  return length;
}

int GhostscriptSession::write_error(void* handle, const char* text, int length) {
  auto* session = static_cast<GhostscriptSession*>(handle);
  session->take(session->err_, text, length, false);
  return length;
}

// Splits what Ghostscript wrote into lines; a line longer than the kept
// output is cut (its start is what tells the error).
void GhostscriptSession::take(Stream& stream, const char* text, int length, bool keep) {
  if (length <= 0) return;
  const char* end = text + length;
  while (text < end) {
    const char* newline = static_cast<const char*>(std::memchr(text, '\n', static_cast<std::size_t>(end - text)));
    const char* stop = newline ? newline : end;
    if (stream.partial.size() < kMaxOutput) {
      stream.partial.append(text, std::min<std::size_t>(static_cast<std::size_t>(stop - text),
                                                        kMaxOutput - stream.partial.size()));
    }
    if (!newline) break;
    line(stream, stream.partial, keep);
    stream.partial.clear();
    text = newline + 1;
  }
}

void GhostscriptSession::line(Stream& stream, const std::string& text, bool keep) {
  if (keep && output_.size() + text.size() + 1 <= kMaxOutput) {
    output_ += text;
    output_ += '\n';
  }
  const std::string clean = trimmed(text);
  if (clean.empty()) return;
  stream.last_line = clean;
  if (first_error_.empty() && clean.find("Error") != std::string::npos) first_error_ = clean;
}

int GhostscriptSession::callout(void*, void* handle, const char* device, int id, int size, void* data) {
  auto* session = static_cast<GhostscriptSession*>(handle);
  if (!device || std::strcmp(device, "display") != 0 || !session->display_) return -1;
  if (id != DISPLAY_CALLOUT_GET_CALLBACK || size < static_cast<int>(sizeof(gs_display_get_callback_t))) return -1;
  auto* answer = static_cast<gs_display_get_callback_t*>(data);
  answer->callback = session->display_;
  answer->caller_handle = session->display_handle_;
  return 0;
}

}  // namespace riphost
