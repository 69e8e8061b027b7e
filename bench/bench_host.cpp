// bench_host.cpp - the benchmarks' host: option table, callbacks, job steps.
#include "bench_host.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

#include "drav_dict.h"
#include "dravout.h"

namespace bench {
namespace {

// A film far larger than any benchmark page, so the plug-in's film check
// never refuses one; the configuration lists the resolutions used.
constexpr const char* kDeviceFile = R"([[film]]
name = "Bench-Film"
length = 1000000
width = 1000000

[[configuration]]
name = "Bench"
film = "Bench-Film"
default = true

  [[configuration.resolution]]
  ppi = 2400
  gamma = 1.0
)";

using Value = std::variant<int, double, std::string>;

// Options and messages of the one host in the process.
struct HostState {
  std::vector<std::pair<std::string, Value>> options;
  std::string last_error;
  std::string last_file;
};

HostState* active = nullptr;

// Compares keys without regard to ASCII case, as the host contract says.
bool same_key(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The option called key holding a T, or null.
template <typename T>
const T* find_option(const char* key) {
  if (active == nullptr || key == nullptr) return nullptr;
  for (const auto& [name, value] : active->options) {
    if (same_key(name, key)) return std::get_if<T>(&value);
  }
  return nullptr;
}

int get_int(const char* key, int* value) {
  const int* v = find_option<int>(key);
  if (v == nullptr) return 0;
  *value = *v;
  return 1;
}

int get_real(const char* key, double* value) {
  const double* v = find_option<double>(key);
  if (v == nullptr) return 0;
  *value = *v;
  return 1;
}

// Writes at most DRAV_OPTION_TEXT_SIZE bytes; longer texts are refused, not cut.
int get_string(const char* key, char* buffer) {
  const std::string* v = find_option<std::string>(key);
  if (v == nullptr || v->size() >= DRAV_OPTION_TEXT_SIZE) return 0;
  std::memcpy(buffer, v->c_str(), v->size() + 1);
  return 1;
}

void file_done(const char* path, int) {
  if (active != nullptr && path != nullptr) active->last_file = path;
}

// Keeps errors for the exception text and shows errors and warnings, which
// would otherwise hide a benchmark that measures a failing path.
int message(int level, const char* format, ...) {
  char text[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (level == DRAV_MSG_ERROR && active != nullptr) active->last_error = text;
  if (level != DRAV_MSG_INFO) std::fprintf(stderr, "plug-in %s: %s\n", level == DRAV_MSG_ERROR ? "error" : "warning", text);
  return 0;
}

HostCallbacks callbacks{get_int, get_real, get_string, file_done, message};

}  // namespace

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "drav_bench_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a temporary folder from " + pattern);
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

struct PluginJob::Impl {
  TempDir dir;
  HostState host;
  CDictContainerFactory factory;
  CDictContainer* separation = nullptr;
  int width = 0;
  int height = 0;
  bool opened = false;
  bool job_started = false;
  bool page_started = false;

  // Throws with the step's name, its status and the plug-in's last error.
  void Check(const char* step, int status) const {
    if (status == DRAV_OK) return;
    throw std::runtime_error(std::string(step) + " failed with status " + std::to_string(status) +
                             (host.last_error.empty() ? std::string() : ": " + host.last_error));
  }
};

PluginJob::PluginJob(const JobOptions& options, int width, int height) : impl_(std::make_unique<Impl>()) {
  if (active != nullptr) throw std::logic_error("only one plug-in job may run at a time");
  Impl& job = *impl_;
  job.width = width;
  job.height = height;
  const std::filesystem::path device = job.dir.Path() / "device";
  const std::filesystem::path out = job.dir.Path() / "out";
  std::filesystem::create_directories(device);
  std::filesystem::create_directories(out);
  std::ofstream(device / "device.toml") << kDeviceFile;

  job.host.options = {
      {"DEVICEDIR", device.string()},     {"OUTDIR", out.string()},
      {"JOBNAME", std::string("bench")},  {"OFORMAT", options.format},
      {"OCOMPRESS", options.compression}, {"RES", options.resolution},
  };
  if (!options.mirror) job.host.options.emplace_back("LEFT", 1);
  active = &job.host;

  try {
    int kind = 0;
    void* declared = nullptr;
    CDictContainer* devinfo = nullptr;
    job.Check("dravout_open", dravout_open(&callbacks, &kind, &declared, &devinfo, &job.factory));
    job.opened = true;
    job.Check("dravout_jobsettings", dravout_jobsettings());

    CStringKeyDict job_dict;
    job_dict["ppi"] = options.resolution;
    job_dict["bps"] = 1;
    job.Check("dravout_startjob", dravout_startjob(job.factory.NewDictContainer(job_dict, "job")));
    job.job_started = true;

    CStringKeyDict page;
    page["width"] = width;
    page["height"] = height;
    page["ncopies"] = 1;
    job.Check("dravout_startpage", dravout_startpage(job.factory.NewDictContainer(page, "page")));
    job.page_started = true;

    CStringKeyDict entry;
    entry["name"] = "Black";
    entry["colorinfo"] = CUnivType::List{};
    entry["screenidx"] = CUnivType::List{};
    CStringKeyDict separation;
    separation["screens"] = CUnivType::List{};
    separation["separations"] = CUnivType::List{CUnivType(entry)};
    job.separation = job.factory.NewDictContainer(separation, "separation");
  } catch (...) {
    // The destructor does not run for a half-made object: end what started.
    Finish();
    throw;
  }
}

PluginJob::~PluginJob() { Finish(); }

void PluginJob::Finish() noexcept {
  if (!impl_) return;
  Impl& job = *impl_;
  if (job.page_started) dravout_endpage();
  if (job.job_started) dravout_endjob();
  if (job.opened) dravout_close();
  job.page_started = job.job_started = job.opened = false;
  if (active == &job.host) active = nullptr;
  impl_.reset();
}

std::filesystem::path PluginJob::WriteSeparation(const uint8_t* rows, std::size_t stride) {
  Impl& job = *impl_;
  job.host.last_file.clear();
  job.Check("dravout_startseparations", dravout_startseparations(job.separation));
  const std::size_t row_bytes = 4 * ((static_cast<std::size_t>(job.width) + 31) / 32);
  const std::size_t copy = std::min(row_bytes, stride);
  try {
    for (int y = 0; y < job.height; ++y) {
      ScanlineBuffer* buffer = nullptr;
      job.Check("dravout_newscan", dravout_newscan(&buffer));
      if (buffer == nullptr || buffer->data == nullptr) throw std::runtime_error("dravout_newscan gave no buffer");
      std::memcpy(buffer->data, rows + static_cast<std::size_t>(y) * stride, copy);
      job.Check("dravout_putscan", dravout_putscan(buffer));
    }
  } catch (...) {
    // Ending the separation releases its open file; it fails, as it should.
    dravout_endseparations();
    throw;
  }
  job.Check("dravout_endseparations", dravout_endseparations());
  if (job.host.last_file.empty()) throw std::runtime_error("the plug-in reported no finished file");
  return job.host.last_file;
}

}  // namespace bench
