// fake_host.cpp - the test host and the plug-in test fixture.
#include "fake_host.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <algorithm>

#include "dravout.h"
#include "plugin_state.h"
#include "stages.h"

namespace plugin_test {
namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

template <typename Map>
auto find_key(Map& map, const char* key) {
  const std::string wanted = lower(key);
  return std::find_if(map.begin(), map.end(), [&](const auto& e) { return lower(e.first) == wanted; });
}

int get_int(const char* key, int* value) {
  auto it = find_key(fake_host().ints, key);
  if (it == fake_host().ints.end()) return 0;
  *value = it->second;
  return 1;
}

int get_real(const char* key, double* value) {
  auto it = find_key(fake_host().reals, key);
  if (it == fake_host().reals.end()) return 0;
  *value = it->second;
  return 1;
}

// Writes at most DRAV_OPTION_TEXT_SIZE bytes, as the host's contract says.
int get_string(const char* key, char* buffer) {
  auto it = find_key(fake_host().strings, key);
  if (it == fake_host().strings.end()) return 0;
  const std::string& v = it->second;
  const std::size_t n = std::min(v.size(), static_cast<std::size_t>(DRAV_OPTION_TEXT_SIZE - 1));
  std::memcpy(buffer, v.data(), n);
  buffer[n] = '\0';
  return 1;
}

void file_done(const char* path, int) {
  fake_host().files.emplace_back(path);
  if (fake_host().on_file_done) fake_host().on_file_done(path);
}

int message(int level, const char* format, ...) {
  char text[8192];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  fake_host().messages.push_back({level, text, format});
  return 0;
}

}  // namespace

const char* const kDeviceFile = R"(
[[film]]
name = "TEST-FILM"
length = 10000
width = 5000

[[film]]
name = "Plate-A"
length = 40000
width = 30000

[[film]]
name = "Proof-Wide"
length = 20000
width = 10000

[[configuration]]
name = "CTP-2400"
film = "Plate-A"
default = true

  [[configuration.resolution]]
  ppi = 1200
  gamma = 1.0

  [[configuration.resolution]]
  ppi = 2400
  gamma = 1.8
  gamma_text = "1.8 linear"

[[configuration]]
name = "Test-2540"
film = "test-film"

  [[configuration.resolution]]
  ppi = 2400.0001
  gamma = 1.0

  [[configuration.resolution]]
  ppi = 2540
  gamma = 1.0
)";

std::vector<std::string> FakeHost::At(int level) const {
  std::vector<std::string> out;
  for (const Message& m : messages) {
    if (m.level == level) out.push_back(m.text);
  }
  return out;
}

bool FakeHost::Has(int level, const std::string& text) const {
  return std::any_of(messages.begin(), messages.end(),
                     [&](const Message& m) { return m.level == level && m.text == text; });
}

bool FakeHost::HasFormat(int level, const std::string& format) const {
  return std::any_of(messages.begin(), messages.end(),
                     [&](const Message& m) { return m.level == level && m.format == format; });
}

FakeHost& fake_host() {
  static FakeHost host;
  return host;
}

void PluginTest::SetUp() {
  using namespace dravout;
  FakeHost& h = fake_host();
  h.ints.clear();
  h.reals.clear();
  h.strings.clear();
  h.messages.clear();
  h.files.clear();
  h.on_file_done = nullptr;
  h.table = HostCallbacks{get_int, get_real, get_string, file_done, message};

  char pattern[] = "/tmp/plugin_test_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  dir_ = pattern;
  device_dir_ = dir_ / "device";
  out_dir_ = dir_ / "out";
  std::filesystem::create_directories(device_dir_);
  std::filesystem::create_directories(out_dir_);
  std::ofstream(device_dir_ / "device.toml") << kDeviceFile;
  h.strings["DEVICEDIR"] = device_dir_.string();
  h.strings["OUTDIR"] = out_dir_.string();
  h.strings["JOBNAME"] = "test";
}

void PluginTest::TearDown() {
  using namespace dravout;
  if (HasFailure()) {
    for (const Message& m : fake_host().messages) std::fprintf(stderr, "  host message %d: %s\n", m.level, m.text.c_str());
  }
  abandon_open_separation();
  if (util_handle != nullptr) close_plugin();
  release_scanline_buffers();
  std::free(state.stagger_all);
  state = PluginState{};
  call_order = CallOrder{};
  host = nullptr;
  util_handle = nullptr;
  dict_factory = nullptr;
  devinfo = nullptr;
  output_file_name[0] = '\0';
  output_page = 1;
  add_png_preview = 0;
  output_png_preview = 0;
  png_preview_resolution = 1000;
  preview_tmp_name[0] = '\0';
  scanline = ScanlineBuffer{nullptr, 0};
  expanded = ScanlineBuffer{nullptr, 0};
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

void PluginTest::Open() {
  ASSERT_EQ(dravout_open(&fake_host().table, &kind_, &options_, &devinfo_, &factory_), 0);
}

void PluginTest::OpenJob(double ppi) {
  Open();
  ASSERT_EQ(dravout_jobsettings(), 0);
  ASSERT_EQ(dravout_startjob(Job(ppi)), 0);
}

CDictContainer* PluginTest::Container(const CStringKeyDict& dict) {
  return factory_.NewDictContainer(dict, "test");
}

CDictContainer* PluginTest::Job(double ppi, int bps) {
  CStringKeyDict job;
  job["ppi"] = ppi;
  job["bps"] = bps;
  return Container(job);
}

CDictContainer* PluginTest::Page(int width, int height, int ncopies) {
  CStringKeyDict page;
  page["width"] = width;
  page["height"] = height;
  page["ncopies"] = ncopies;
  return Container(page);
}

CDictContainer* PluginTest::Separation() {
  CStringKeyDict entry;
  entry["name"] = "Black";
  entry["colorinfo"] = CUnivType::List{};
  entry["screenidx"] = CUnivType::List{};
  CStringKeyDict sep;
  sep["screens"] = CUnivType::List{};
  sep["separations"] = CUnivType::List{CUnivType(entry)};
  return Container(sep);
}

std::vector<std::string> PluginTest::OutputFiles() const {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(out_dir_)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace plugin_test
