// fake_plugin.cpp - a stand-in output plug-in for riphost's tests.
//
// It exports the thirteen functions, writes one line per call to the file
// named by FAKE_DRAVOUT_LOG and checks what the host does:
//   open / jobsettings JOBNAME=<name> / startjob ppi=<r> bps=<n>
//   startpage width=<w> height=<h> ncopies=<n> JOBNAME=<name>
//   startseparations <name> outputpage=<v|absent> JOBNAME=<name>
//   endseparations rows=<rows received> / endpage / endjob / close
//   get_param <key>                 a query: "version" (answer "fake 1.0"),
//                                   "left" (the integer 7) and "full" (1024
//                                   bytes without a zero) are answered (1),
//                                   any other key is not (0)
//   get_param <key>=<text>          a text handed ("SCP..."/"CCP..." in any
//                                   case, "screeningtechnology"), taken (1);
//                                   newlines in it are logged as "\n"
// newscan and putscan are counted, not logged; a call out of order, a row
// with ink in its padding or a write past the row is logged as "ERROR ...".
// A failing call gets " -> <status>" appended.
//
// FAKE_DRAVOUT_FAIL="<call>[:<n>]" makes the n-th call (default the first)
// of <call> (e.g. "putscan", "startpage", "open") fail: status 7 for
// putscan, 17 otherwise. FAKE_DRAVOUT_SIGNAL="<call>:<n>:<signal>[,...]"
// makes the n-th call of <call> raise the signal (its number) in the host's
// process and log "<call> raised <signal>". FAKE_DRAVOUT_DUMP names a file that receives the
// bytes of every row put. After each separation that is output, the plug-in
// reports "<OUTDIR>/fake-<n>.tav" through file_done.
//
// FAKE_DRAVOUT_HOOKS=1 makes drav_extension claim the SCRSEL and SCR hooks
// as the real plug-in does and log their calls:
//   load <count>: <name>/<dot>/<lpi>/<angle>/<type>x<uses>, ...
//   init / unload runs=<n> screen=<px> solid=<px> copydot=<px>
// The runs of every row must come after the line slot for that row and
// before its newscan, and cover exactly the row's set pixels, each once;
// otherwise an "ERROR ..." line is logged.
#include <screening_hooks.h>
#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "drav_dict.h"
#include "dravout.h"

namespace {

constexpr std::uint8_t kCanary = 0xA5;

const DravOptionDecl kDeclared[] = {
    {"CONF", DRAV_OPT_STRING},     {"LEFT", DRAV_OPT_INTEGER}, {"OCOMPRESS", DRAV_OPT_STRING},
    {"OFORMAT", DRAV_OPT_STRING},  {"OUTPUTPAGE", DRAV_OPT_INTEGER}, {"RES", DRAV_OPT_REAL},
    {"REVERSE", DRAV_OPT_INTEGER}, {nullptr, 0},
};

struct FakeState {
  HostCallbacks* host = nullptr;
  CDictContainerFactory* factory = nullptr;
  CDictContainer* devinfo = nullptr;
  std::FILE* log = nullptr;
  std::FILE* dump = nullptr;
  std::string fail_call;
  int fail_at = 1;
  struct Raise {
    std::string call;
    int at;
    int signal;
  };
  std::vector<Raise> raises;
  std::map<std::string, int> calls;
  std::vector<std::uint8_t> buffer;
  ScanlineBuffer scan{nullptr, 0};
  int width = 0;
  std::size_t row_bytes = 0;
  int rows = 0;
  int output_page = 1;
  bool scan_out = false;
  int files = 0;
};

FakeState state;

// What the claimed screening hooks saw.
struct HookState {
  ScrSelHookRecord host_scrsel{};
  ScrHookRecord host_scr{};
  bool loaded = false;
  bool screening = false;
  int line = -1;
  std::vector<std::uint8_t> covered;  // pixels of the current row covered by runs
  long runs = 0, screen = 0, solid = 0, copydot = 0;
};

HookState hooks;

// Appends one line to the log.
void log_line(const char* format, ...) __attribute__((format(printf, 1, 2)));
void log_line(const char* format, ...) {
  if (!state.log) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(state.log, format, args);
  va_end(args);
  std::fputc('\n', state.log);
  std::fflush(state.log);
}

// The status of this call of name: 0, or the injected failure. Raises the
// signals asked for this call first.
int injected(const char* name, int failure) {
  int count = ++state.calls[name];
  for (const FakeState::Raise& raise : state.raises) {
    if (raise.call == name && raise.at == count) {
      log_line("%s raised %d", name, raise.signal);
      std::raise(raise.signal);
    }
  }
  return (state.fail_call == name && count == state.fail_at) ? failure : 0;
}

// Logs a call with its details and the status it returns.
int finish(const std::string& line, int status) {
  if (status != 0) {
    log_line("%s -> %d", line.c_str(), status);
  } else {
    log_line("%s", line.c_str());
  }
  return status;
}

// The JOBNAME option the host answers now ("absent" when it has none).
std::string job_name() {
  char name[DRAV_OPTION_TEXT_SIZE] = "absent";
  state.host->get_string_option("jobname", name);
  return name;
}

// Reads the environment that configures this run.
void configure() {
  const char* log = std::getenv("FAKE_DRAVOUT_LOG");
  state.log = log ? std::fopen(log, "a") : nullptr;
  const char* dump = std::getenv("FAKE_DRAVOUT_DUMP");
  state.dump = dump ? std::fopen(dump, "wb") : nullptr;
  const char* fail = std::getenv("FAKE_DRAVOUT_FAIL");
  std::string text = fail ? fail : "";
  std::size_t colon = text.find(':');
  state.fail_call = text.substr(0, colon);
  state.fail_at = colon == std::string::npos ? 1 : std::atoi(text.c_str() + colon + 1);
  const char* raises = std::getenv("FAKE_DRAVOUT_SIGNAL");
  std::string list = raises ? raises : "";
  for (std::size_t start = 0; start < list.size();) {
    std::size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    std::string item = list.substr(start, end - start);
    std::size_t first = item.find(':');
    std::size_t second = first == std::string::npos ? first : item.find(':', first + 1);
    if (second != std::string::npos) {
      state.raises.push_back({item.substr(0, first), std::atoi(item.c_str() + first + 1),
                              std::atoi(item.c_str() + second + 1)});
    }
    start = end + 1;
  }
}

}  // namespace

extern "C" {

int dravout_open(HostCallbacks* host, int* kind, void** options, CDictContainer** devinfo,
                 CDictContainerFactory* factory) {
  state = FakeState{};
  configure();
  state.host = host;
  state.factory = factory;
  *kind = 4;
  int status = injected("open", 17);
  if (status == 0) {
    *options = const_cast<DravOptionDecl*>(kDeclared);
    CStringKeyDict dict;
    dict["dpi_h"] = 2000.0;
    dict["maxbps"] = 1;
    state.devinfo = factory->NewDictContainer(dict, "devinfo");
    *devinfo = state.devinfo;
  }
  return finish("open", status);
}

int dravout_jobsettings(void) {
  return finish("jobsettings JOBNAME=" + job_name(), injected("jobsettings", 17));
}

int dravout_get_param(const char* key, void* value) {
  const std::string name = key ? key : "(null)";
  auto starts = [&name](const char* prefix) {
    return name.size() >= 3 && std::tolower(static_cast<unsigned char>(name[0])) == prefix[0] &&
           std::tolower(static_cast<unsigned char>(name[1])) == prefix[1] &&
           std::tolower(static_cast<unsigned char>(name[2])) == prefix[2];
  };
  // A failure injected for get_param makes it refuse the call (0).
  const bool refused = injected("get_param", 17) != 0;
  if (starts("scp") || starts("ccp") || name == "screeningtechnology") {
    std::string text;
    for (const char* c = value ? static_cast<const char*>(value) : "(null)"; *c; ++c) {
      if (*c == '\n') {
        text += "\\n";
      } else {
        text += *c;
      }
    }
    log_line("get_param %s=%s%s", name.c_str(), text.c_str(), refused ? " -> 0" : "");
    return refused ? 0 : 1;
  }
  log_line("get_param %s%s", name.c_str(), refused ? " -> 0" : "");
  if (refused || value == nullptr) return 0;
  if (name == "version") {
    std::snprintf(static_cast<char*>(value), DRAV_PARAM_ANSWER_SIZE, "%s", "fake 1.0");
    return 1;
  }
  if (name == "left") {
    const std::int32_t left = 7;
    std::memcpy(value, &left, sizeof left);
    return 1;
  }
  if (name == "full") {
    std::memset(value, 'x', DRAV_PARAM_ANSWER_SIZE);
    return 1;
  }
  return 0;
}

int dravout_startjob(CDictContainer* job) {
  try {
    char line[128];
    std::snprintf(line, sizeof line, "startjob ppi=%g bps=%d", job->GetDict().GetReal("ppi"),
                  job->GetDict().GetInt("bps"));
    return finish(line, injected("startjob", 17));
  } catch (const CUnivBaseException& error) {
    return finish("startjob ERROR " + error.GetMessage(), 17);
  }
}

int dravout_startpage(CDictContainer* page) {
  try {
    const CStringKeyDict& dict = page->GetDict();
    int width = dict.GetInt("width");
    int height = dict.GetInt("height");
    int ncopies = dict.GetInt("ncopies");
    char line[128];
    std::snprintf(line, sizeof line, "startpage width=%d height=%d ncopies=%d JOBNAME=", width, height, ncopies);
    int status = injected("startpage", 17);
    if (status == 0) {
      state.width = width;
      state.row_bytes = (static_cast<std::size_t>(width) + 31) / 32 * 4;
      state.buffer.assign(state.row_bytes + 4, 0);
      state.scan.data = state.buffer.data();
    }
    return finish(line + job_name(), status);
  } catch (const CUnivBaseException& error) {
    return finish("startpage ERROR " + error.GetMessage(), 17);
  }
}

int dravout_startseparations(CDictContainer* separation) {
  try {
    const CStringKeyDict& dict = separation->GetDict();
    dict.GetList("screens");
    const CUnivType::List& list = dict.GetList("separations");
    std::string name = list.empty() ? "(none)" : list[0].AsDict().GetText("name");
    int output_page = 0;
    std::string shown = "absent";
    if (state.host->get_int_option("outputpage", &output_page)) {
      shown = std::to_string(output_page);
    } else {
      output_page = 1;
    }
    state.output_page = output_page;
    state.rows = 0;
    state.scan.flag = 0;
    return finish("startseparations " + name + " outputpage=" + shown + " JOBNAME=" + job_name(),
                  injected("startseparations", 17));
  } catch (const CUnivBaseException& error) {
    return finish("startseparations ERROR " + error.GetMessage(), 17);
  }
}

int dravout_newscan(ScanlineBuffer** buffer) {
  if (state.scan_out) log_line("ERROR newscan twice without putscan");
  int status = injected("newscan", 17);
  if (status != 0) return finish("newscan", status);
  // Garbage in the row, a canary after it: the host must write every byte
  // of the row and none beyond.
  std::memset(state.buffer.data(), 0x5A, state.row_bytes);
  std::memset(state.buffer.data() + state.row_bytes, kCanary, 4);
  state.scan_out = true;
  *buffer = &state.scan;
  return 0;
}

int dravout_putscan(ScanlineBuffer* buffer) {
  if (!state.scan_out) log_line("ERROR putscan without newscan");
  state.scan_out = false;
  if (buffer != &state.scan) log_line("ERROR putscan with a foreign buffer");
  int status = injected("putscan", 7);
  if (status != 0) return finish("putscan row=" + std::to_string(state.rows), status);
  const std::uint8_t* data = state.buffer.data();
  for (int i = 0; i < 4; ++i) {
    if (data[state.row_bytes + static_cast<std::size_t>(i)] != kCanary) {
      log_line("ERROR row %d written past its end", state.rows);
      break;
    }
  }
  for (std::size_t x = static_cast<std::size_t>(state.width); x < state.row_bytes * 8; ++x) {
    if ((data[x / 8] >> (x % 8)) & 1u) {
      log_line("ERROR row %d has ink in its padding", state.rows);
      break;
    }
  }
  if (hooks.screening) {
    if (hooks.line != state.rows) log_line("ERROR row %d put without its line", state.rows);
    for (int x = 0; x < state.width; ++x) {
      const bool set = (data[x / 8] >> (x % 8)) & 1u;
      if (set != (hooks.covered[static_cast<std::size_t>(x)] != 0)) {
        log_line("ERROR pixel %d of row %d: set %d, in a run %d", x, state.rows, set ? 1 : 0,
                 hooks.covered[static_cast<std::size_t>(x)]);
        break;
      }
    }
  }
  if (state.dump) std::fwrite(data, 1, state.row_bytes, state.dump);
  ++state.rows;
  return 0;
}

int dravout_endseparations(void) {
  // A row the host obtained but could not render is not put: that is fine.
  state.scan_out = false;
  int status = finish("endseparations rows=" + std::to_string(state.rows), injected("endseparations", 17));
  if (status == 0 && state.output_page != 0) {
    char outdir[DRAV_OPTION_TEXT_SIZE] = ".";
    state.host->get_string_option("OUTDIR", outdir);
    std::string path = std::string(outdir) + "/fake-" + std::to_string(++state.files) + ".tav";
    state.host->file_done(path.c_str(), 0);
  }
  return status;
}

int dravout_endpage(void) { return finish("endpage", injected("endpage", 17)); }

int dravout_endjob(void) { return finish("endjob", injected("endjob", 17)); }

#ifndef FAKE_DRAVOUT_WITHOUT_CLOSE
int dravout_close(void) {
  if (state.devinfo && state.factory) {
    try {
      state.factory->DeleteDictContainer(state.devinfo);
    } catch (const CUnivBaseException& error) {
      log_line("ERROR close: %s", error.GetMessage().c_str());
    }
  }
  int status = finish("close", injected("close", 17));
  if (state.log) std::fclose(state.log);
  if (state.dump) std::fclose(state.dump);
  state = FakeState{};
  hooks = HookState{};
  return status;
}
#endif

namespace {

void add_run(int32_t x, int32_t length, long& total) {
  if (!hooks.screening) log_line("ERROR a run outside screening");
  if (hooks.line != state.rows) log_line("ERROR a run of row %d after line %d", state.rows, hooks.line);
  if (x < 0 || length <= 0 || x + length > state.width) {
    log_line("ERROR run %d+%d outside the row", x, length);
    return;
  }
  for (int32_t i = x; i < x + length; ++i) {
    if (hooks.covered[static_cast<std::size_t>(i)] != 0) log_line("ERROR pixel %d of row %d in two runs", i, state.rows);
    hooks.covered[static_cast<std::size_t>(i)] = 1;
  }
  ++hooks.runs;
  total += length;
}

void screen_run(uint32_t, int32_t x, int32_t length) { add_run(x, length, hooks.screen); }
void solid_run(uint32_t, int32_t x, int32_t length) { add_run(x, length, hooks.solid); }
void copydot_run(uint32_t, int32_t x, int32_t length) { add_run(x, length, hooks.copydot); }

int hook_load(ScreenSelection* selection) {
  if (hooks.loaded) log_line("ERROR load twice");
  hooks.loaded = true;
  hooks.screening = false;
  hooks.runs = hooks.screen = hooks.solid = hooks.copydot = 0;
  std::string line = "load " + std::to_string(selection->screen_count) + ":";
  for (int32_t i = 0; i < selection->screen_count; ++i) {
    const uint32_t handle = selection->screens[i];
    const char* dot = nullptr;
    double unused = 0, lpi = 0, angle = 0;
    int32_t loaded = 0, type = 0;
    char name[SCR_SCREEN_NAME_SIZE];
    std::memset(name, 'x', sizeof name);
    hooks.host_scrsel.get_screen_params(selection, handle, &dot, &unused, &lpi, &unused, &angle, &loaded, &type,
                                        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    hooks.host_scrsel.get_screen_name(selection, handle, name);
    if (std::memchr(name, 0, sizeof name) == nullptr) log_line("ERROR screen name not terminated");
    char entry[256];
    std::snprintf(entry, sizeof entry, " %.40s/%s/%g/%g/%dx%d", name, dot ? dot : "?", lpi, angle,
                  static_cast<int>(type), static_cast<int>(selection->screen_uses[i]));
    line += entry;
  }
  log_line("%s", line.c_str());
  return hooks.host_scrsel.load(selection);
}

int hook_unload(ScreenSelection* selection, intptr_t a, intptr_t b) {
  if (!hooks.loaded) log_line("ERROR unload without load");
  hooks.loaded = false;
  if (hooks.screening) {
    log_line("unload runs=%ld screen=%ld solid=%ld copydot=%ld", hooks.runs, hooks.screen, hooks.solid,
             hooks.copydot);
  } else {
    log_line("unload");
  }
  hooks.screening = false;
  return hooks.host_scrsel.unload(selection, a, b);
}

int hook_init(int bits, intptr_t second, ScrRunFn, ScrRunFn, ScrRunFn) {
  if (!hooks.loaded) log_line("ERROR init without load");
  log_line("init bits=%d", bits);
  hooks.screening = true;
  hooks.line = -1;
  hooks.covered.assign(static_cast<std::size_t>(state.width), 0);
  return hooks.host_scr.init(bits, second, screen_run, solid_run, copydot_run);
}

int hook_line(intptr_t a, int32_t line, intptr_t b) {
  if (line != state.rows) log_line("ERROR line %d for row %d", static_cast<int>(line), state.rows);
  hooks.line = line;
  std::fill(hooks.covered.begin(), hooks.covered.end(), 0);
  return hooks.host_scr.line(a, line, b);
}

}  // namespace

// Claims the screening hooks when FAKE_DRAVOUT_HOOKS is set.
int drav_extension(void* record, HostCallbacks*) {
  const char* wanted = std::getenv("FAKE_DRAVOUT_HOOKS");
  if (wanted == nullptr || std::strcmp(wanted, "1") != 0 || record == nullptr) return 0;
  int32_t id = 0;
  std::memcpy(&id, record, sizeof id);
  if (id == SCRSEL_HOOK_ID) {
    auto* scrsel = static_cast<ScrSelHookRecord*>(record);
    hooks.host_scrsel = *scrsel;
    scrsel->load = hook_load;
    scrsel->unload = hook_unload;
    return 1;
  }
  if (id == SCR_HOOK_ID) {
    auto* scr = static_cast<ScrHookRecord*>(record);
    hooks.host_scr = *scr;
    scr->init = hook_init;
    scr->line = hook_line;
    return 1;
  }
  return 0;
}

}  // extern "C"
