// bench_host.h - a minimal RIP host for the benchmarks: job options from a
// table, a temporary device and output folder, and whole separations fed to
// the plug-in through its exported functions, as riphost does.
#ifndef BENCH_BENCH_HOST_H
#define BENCH_BENCH_HOST_H

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace bench {

// A fresh folder under the system's temporary folder ($TMPDIR, else /tmp),
// removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const noexcept { return path_; }

 private:
  std::filesystem::path path_;
};

// The job options that change between benchmarks.
struct JobOptions {
  std::string format = "FW8B";       // OFORMAT
  std::string compression = "FLATE"; // OCOMPRESS
  bool mirror = true;                // the plug-in's default; false sets LEFT
  double resolution = 2400.0;        // RES and the job's ppi
};

// One job of one page, open from construction to destruction. The plug-in
// keeps process-wide state, so only one PluginJob may exist at a time.
class PluginJob {
 public:
  // Writes the device folder, opens the plug-in and starts the job and a page
  // of width x height pixels. Throws std::runtime_error with the plug-in's
  // message when a step fails.
  PluginJob(const JobOptions& options, int width, int height);
  // Ends the page and the job and closes the plug-in; removes the folders.
  ~PluginJob();
  PluginJob(const PluginJob&) = delete;
  PluginJob& operator=(const PluginJob&) = delete;

  // Writes one separation of the page: row y is copied from rows + y * stride
  // into the plug-in's scanline buffer, then handed over, as a host renders
  // into that buffer. Returns the final file's name. Throws
  // std::runtime_error when a step fails.
  std::filesystem::path WriteSeparation(const uint8_t* rows, std::size_t stride);

 private:
  // Ends whatever of page, job and plug-in was started; idempotent.
  void Finish() noexcept;

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace bench

#endif  // BENCH_BENCH_HOST_H
