// test_support.cpp - helpers shared by riphost's tests.
#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "cli/cli.h"

namespace riphost_test {

// Makes the folder with mkdtemp.
TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "riphost-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

// Removes the folder and everything in it.
TempDir::~TempDir() {
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

// Writes bytes to file, replacing it.
void write_file(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

// Reads a whole file ("" when missing).
std::string read_file(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Reads a file's lines.
std::vector<std::string> read_lines(const std::filesystem::path& file) {
  std::vector<std::string> lines;
  std::istringstream in(read_file(file));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A small device file in the format of examples/device/device.toml.
void write_device_folder(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  write_file(folder / "device.toml", R"([[film]]
name = "Plate"
length = 40000
width = 30000

[[configuration]]
name = "CTP"
film = "Plate"
default = true

  [[configuration.resolution]]
  ppi = 1200
  gamma = 1.0

  [[configuration.resolution]]
  ppi = 2400
  gamma = 1.0

[[configuration]]
name = "CTP-4000"
film = "Plate"

  [[configuration.resolution]]
  ppi = 2000
  gamma = 1.0

  [[configuration.resolution]]
  ppi = 2540
  gamma = 1.0

  [[configuration.resolution]]
  ppi = 4000
  gamma = 1.0
)");
}

namespace {

// Reads back what was written to a temporary stream.
std::string drain(std::FILE* stream) {
  std::string text;
  std::fflush(stream);
  std::rewind(stream);
  char chunk[4096];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) text.append(chunk, got);
  std::fclose(stream);
  return text;
}

}  // namespace

// Runs riphost with temporary streams for its output.
RunResult run_in_process(const std::vector<std::string>& args) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  if (!out || !err) throw std::runtime_error("tmpfile failed");
  RunResult result;
  result.status = riphost::run_riphost(args, out, err, false);
  result.out = drain(out);
  result.err = drain(err);
  return result;
}

// Sets the fake plug-in's variables.
FakePluginEnv::FakePluginEnv(const std::filesystem::path& log, const std::string& fail,
                             const std::filesystem::path& dump) {
  setenv("FAKE_DRAVOUT_LOG", log.c_str(), 1);
  if (fail.empty()) {
    unsetenv("FAKE_DRAVOUT_FAIL");
  } else {
    setenv("FAKE_DRAVOUT_FAIL", fail.c_str(), 1);
  }
  if (dump.empty()) {
    unsetenv("FAKE_DRAVOUT_DUMP");
  } else {
    setenv("FAKE_DRAVOUT_DUMP", dump.c_str(), 1);
  }
}

// Clears them.
FakePluginEnv::~FakePluginEnv() {
  unsetenv("FAKE_DRAVOUT_LOG");
  unsetenv("FAKE_DRAVOUT_FAIL");
  unsetenv("FAKE_DRAVOUT_DUMP");
}

TmpdirAs::TmpdirAs(const std::string& value) {
  if (const char* old = std::getenv("TMPDIR")) old_ = old, had_ = true;
  if (value.empty()) {
    unsetenv("TMPDIR");
  } else {
    setenv("TMPDIR", value.c_str(), 1);
  }
}

TmpdirAs::~TmpdirAs() {
  if (had_) {
    setenv("TMPDIR", old_.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

}  // namespace riphost_test
