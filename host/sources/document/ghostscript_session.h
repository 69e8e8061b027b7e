// ghostscript_session.h - one run of Ghostscript in riphost's process.
//
// A session makes a Ghostscript instance, runs it once with arguments
// (gsapi_init_with_args) and ends it. What Ghostscript prints is captured,
// never shown as it comes: standard output is kept for the caller (the
// answers of a query), and the first error line Ghostscript prints is kept
// for riphost's message ("Error: /undefined in foo", "**** Error: Couldn't
// initialise file."). Ghostscript reads nothing from standard input.
//
// One session exists at a time in the process (later ones wait), and a
// session is made, run and ended on one thread.
#ifndef RIPHOST_GHOSTSCRIPT_SESSION_H
#define RIPHOST_GHOSTSCRIPT_SESSION_H

// gdevdsp.h uses size_t without including its header.
#include <cstddef>

#include <ghostscript/gdevdsp.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "sources/document/ghostscript_library.h"

namespace riphost {

// A DisplayFormat value from its parts (the header's enumerations).
template <typename... Parts>
constexpr unsigned display_format(Parts... parts) noexcept {
  return (0u | ... | static_cast<unsigned>(parts));
}

// Ghostscript reads each argument of "-c" into a buffer of 2048 bytes and
// cuts a longer one ("Previous line has been truncated"). PostScript given
// on the command line therefore goes in pieces below that, split between
// its parts (each part a sequence of whole tokens; a procedure cannot be
// split). Throws HostError when a single part is too long.
std::vector<std::string> command_pieces(const std::vector<std::string>& parts);

// A PostScript string of any bytes (a spot colour name, say), in hex.
std::string hex_string(const std::string& text);

// The bytes of hex digits as Ghostscript prints them back (pairs, no
// brackets); a pair that is no hex number reads as 0.
std::string from_hex(std::string_view hex);

class GhostscriptSession {
 public:
  // Loads the library when needed and makes the instance (arguments read as
  // UTF-8); memory_limit (bytes, 0 none) bounds what Ghostscript's allocator
  // gives the run. Throws HostError when Ghostscript cannot be loaded or
  // started, or when a run that could not be stopped still holds it
  // (abandon).
  explicit GhostscriptSession(std::uint64_t memory_limit = 0);
  ~GhostscriptSession();
  GhostscriptSession(const GhostscriptSession&) = delete;
  GhostscriptSession& operator=(const GhostscriptSession&) = delete;

  // Lets the run read this file although it runs with -dSAFER.
  void permit_reading(const std::string& path);
  // The display device's callbacks, handed to it when it opens.
  void set_display(display_callback* callback, void* handle);
  // A function Ghostscript calls now and then; a negative result stops it.
  void set_poll(int (*poll)(void*), void* handle);

  // Runs Ghostscript with args (the program name is added in front). True
  // when it ended well (also by "quit"); false with its code otherwise.
  bool run(const std::vector<std::string>& args);
  int code() const noexcept { return code_; }

  // Standard output of the run (at most kMaxOutput bytes are kept).
  const std::string& output() const noexcept { return output_; }
  // Ghostscript's own error line: the first line with "Error" it printed,
  // else its last line on standard error; trimmed; empty when none.
  std::string error_line() const;

  static constexpr std::size_t kMaxOutput = 16u << 20;

  // The run went on past a stop or a limit on another thread, and the
  // process ends without waiting for it: the instance is left as it is
  // (never ended), and no later session may be made in the process.
  // Called on the session's own thread before it leaves the run, or by the
  // thread that gives the run up.
  static void abandon() noexcept;
  // Whether a session was abandoned.
  static bool abandoned() noexcept;
  // Removes the scratch files ("gs_XXXXXX" in the temporary folder) that
  // the process holds open under their names: Ghostscript unlinks its band
  // lists just after it makes them, so those are the ones an abandoned run
  // made last, which the process' end would otherwise leave behind.
  static void remove_scratch_files() noexcept;

 private:
  // Lines of one output stream, assembled from the pieces Ghostscript writes.
  struct Stream {
    std::string partial;
    std::string last_line;
  };
  static int read_input(void* handle, char* buffer, int length);
  static int write_output(void* handle, const char* text, int length);
  static int write_error(void* handle, const char* text, int length);
  static int callout(void* instance, void* handle, const char* device, int id, int size, void* data);
  void take(Stream& stream, const char* text, int length, bool keep);
  void line(Stream& stream, const std::string& text, bool keep);

  std::unique_lock<std::mutex> one_at_a_time_;
  std::uint64_t memory_limit_ = 0;
  const GhostscriptLibrary& library_;
  void* instance_ = nullptr;
  bool initialised_ = false;
  display_callback* display_ = nullptr;
  void* display_handle_ = nullptr;
  int code_ = 0;
  std::string output_;
  Stream out_;
  Stream err_;
  std::string first_error_;
};

}  // namespace riphost

#endif  // RIPHOST_GHOSTSCRIPT_SESSION_H
