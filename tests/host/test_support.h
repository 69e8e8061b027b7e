// test_support.h - temporary folders, files and riphost runs for the tests.
#ifndef RIPHOST_TEST_SUPPORT_H
#define RIPHOST_TEST_SUPPORT_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace riphost_test {

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const noexcept { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void write_file(const std::filesystem::path& file, const std::string& bytes);
std::string read_file(const std::filesystem::path& file);
std::vector<std::string> read_lines(const std::filesystem::path& file);

// Makes folder (when missing) a device folder whose "device.toml" passes the
// device check: one film and the configurations "CTP" (the default, 1200 and
// 2400 ppi) and "CTP-4000" (2000, 2540 and 4000 ppi).
void write_device_folder(const std::filesystem::path& folder);

// What a run of riphost printed and returned.
struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs riphost in this process with the given arguments.
RunResult run_in_process(const std::vector<std::string>& args);

// Sets the fake plug-in's environment for one test and clears it at the end.
class FakePluginEnv {
 public:
  // log: the call log; fail: "<call>[:<n>]" or empty; dump: row dump or empty.
  FakePluginEnv(const std::filesystem::path& log, const std::string& fail = "",
                const std::filesystem::path& dump = {});
  ~FakePluginEnv();
  FakePluginEnv(const FakePluginEnv&) = delete;
  FakePluginEnv& operator=(const FakePluginEnv&) = delete;
};

// Writes a PBM (P4) image: ink(x, y) says which pixels are black.
template <typename Ink>
std::string make_pbm(int width, int height, Ink ink) {
  std::string bytes = "P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n";
  for (int y = 0; y < height; ++y) {
    for (int x0 = 0; x0 < width; x0 += 8) {
      unsigned byte = 0;
      for (int k = 0; k < 8 && x0 + k < width; ++k) {
        if (ink(x0 + k, y)) byte |= 0x80u >> k;
      }
      bytes += static_cast<char>(byte);
    }
  }
  return bytes;
}

// TMPDIR set to value (unset when value is empty) for as long as it lives;
// what it was is put back after.
class TmpdirAs {
 public:
  explicit TmpdirAs(const std::string& value);
  ~TmpdirAs();
  TmpdirAs(const TmpdirAs&) = delete;
  TmpdirAs& operator=(const TmpdirAs&) = delete;

 private:
  std::string old_;
  bool had_ = false;
};

}  // namespace riphost_test

#endif  // RIPHOST_TEST_SUPPORT_H
