// ghostscript_program.h - Ghostscript's `gs` program run as a child process.
//
// Some pages are rendered by Ghostscript's own separation device, which
// writes files (separation_planes.h). That run is a child process so that
// a stopped job ends it at once (Ghostscript's library cannot be stopped
// while it reads a page) and so that it dies with riphost however riphost
// ends. Its standard output and error go to a log file the caller names.
#ifndef RIPHOST_GHOSTSCRIPT_PROGRAM_H
#define RIPHOST_GHOSTSCRIPT_PROGRAM_H

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "sources/document/document_limits.h"

namespace riphost {

// The program riphost runs: RIPHOST_GS names it, else `gs` on the PATH.
// Empty when that is no program riphost may run.
std::filesystem::path ghostscript_program();

enum class ProgramEnd { Done, Failed, Stopped, TimedOut };

// Room beyond the memory limit for the child's code, libraries and stacks:
// its address space is bounded by both together.
inline constexpr std::uint64_t kProgramCodeRoom = std::uint64_t{512} << 20;

// Runs program with args (the program name is put in front), its output to
// log. stop is asked every few milliseconds; once it says true the child is
// killed and waited for. A run that ends well but whose log says Ghostscript
// left a page out (it could not draw it) has Failed. limits: the child's
// address space is bounded by the memory limit (plus kProgramCodeRoom), and
// a child that runs longer than the page time limit is killed (TimedOut).
// Throws HostError when the child cannot be started.
ProgramEnd run_program(const std::filesystem::path& program, const std::vector<std::string>& args,
                       const std::filesystem::path& log, const std::function<bool()>& stop,
                       const DocumentLimits& limits = {});

// Ghostscript's error line in a log it wrote: the first line with "Error",
// else its last line; trimmed; empty when none. When the temporary folder
// has little room left, temp_space_note() is added (Ghostscript says
// nothing of it).
std::string ghostscript_error_in(const std::filesystem::path& log);

}  // namespace riphost

#endif  // RIPHOST_GHOSTSCRIPT_PROGRAM_H
