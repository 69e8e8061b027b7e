// parameter_queries.cpp - the host's queries, and the cutting texts it hands
// over through the same channel.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "c_locale.h"
#include "dravcfg.h"
#include "plugin_state.h"
#include "stages.h"
#include "text_util.h"

namespace dravout {
namespace {

constexpr const char* kVersion = "TAV 10.1.01";
constexpr const char* kBuildDate = "Jun 21 2012";
constexpr const char* kRecorderSettings = "QZ_RIPPAR:dv_config.res";

// Writes an answer text into the host's buffer; an answer that would not fit
// the buffer the host contract gives is not written (false).
bool answer(void* buffer, const std::string& text) {
  if (buffer == nullptr) return false;
  if (text.size() + 1 > DRAV_PARAM_ANSWER_SIZE) {
    static_cast<char*>(buffer)[0] = '\0';
    report(DRAV_MSG_WARNING, "Answer of %d bytes does not fit the host's buffer of %d bytes",
           static_cast<int>(text.size() + 1), DRAV_PARAM_ANSWER_SIZE);
    return false;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

// A number formatted in the "C" locale with a printf format.
std::string c_format(const char* format, double value) {
  char text[64];
  ScopedCLocale c_locale;
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The ink number after "SCP"/"CCP": leading blanks and a sign allowed,
// reading stops at the first non-digit; no digits give 0.
long ink_number(const char* digits) {
  errno = 0;
  char* end = nullptr;
  const long n = std::strtol(digits, &end, 10);
  if (errno == ERANGE) return n < 0 ? -1 : LONG_MAX;
  return end == digits ? 0 : n;
}

// Keeps a cutting text in slot n of texts. A number beyond the slots is
// reported and ignored: no ink of a page has it.
bool keep_cutting_text(std::vector<std::string>& texts, long n, const char* text, const char* key) {
  if (n <= 0) return false;
  if (static_cast<unsigned long>(n) >= texts.size()) {
    report(DRAV_MSG_WARNING, "Cutting text '%s' ignored: ink numbers go up to %d", key,
           static_cast<int>(texts.size()) - 1);
    return false;
  }
  texts[static_cast<std::size_t>(n)] = text;
  return true;
}

// "SCPAll": the job's common staggered-cutting text, kept as the plug-in's
// own copy while the same text comes again.
void keep_stagger_all(const char* text) {
  if (state.stagger_all != nullptr && std::strcmp(state.stagger_all, text) != 0) {
    std::free(state.stagger_all);
    state.stagger_all = nullptr;
    state.stagger_all_size = 0;
  }
  if (state.stagger_all == nullptr) {
    const std::size_t size = std::strlen(text) + 1;
    state.stagger_all = static_cast<char*>(std::malloc(size));
    if (state.stagger_all != nullptr) {
      std::memcpy(state.stagger_all, text, size);
      state.stagger_all_size = static_cast<int32_t>(size);
    } else {
      state.stagger_all_size = 0;
    }
  }
  state.stagger_given = 1;
  if (!state.stagger_texts.empty()) state.stagger_texts[0] = text;
}

// "gamma": of the configuration's resolution nearest to the job's.
int gamma_answer(void* buffer) {
  const DravResource* resource = state.resdata != nullptr ? *state.resdata : nullptr;
  if (resource == nullptr) {
    report(DRAV_MSG_INFO, "Configurations not yet loaded");
    return 0;
  }
  const DravConfigRecord* config = resource->selected;
  if (config == nullptr || config->resolutions == nullptr || config->resolution_count <= 0) {
    report(DRAV_MSG_INFO, "No resolution in the selected configuration (%s): no gamma", state.config_name);
    return 0;
  }
  const DravResolutionEntry* best = &config->resolutions[0];
  for (int32_t i = 1; i < config->resolution_count; ++i) {
    const DravResolutionEntry& e = config->resolutions[i];
    if (std::fabs(e.resolution - state.resolution) < std::fabs(best->resolution - state.resolution)) best = &e;
  }
  const std::string text = best->gamma_text[0] != '\0'
                               ? std::string(best->gamma_text, strnlen(best->gamma_text, sizeof best->gamma_text))
                               : c_format("%g", best->gamma);
  return answer(buffer, text) ? 1 : 0;
}

// "screeningtechnology": 1 when every "|"-separated entry names NovaDot.
int judge_technologies(const char* text) {
  if (text == nullptr) return 0;
  // A text of any length is judged whole, never cut, and silently.
  const std::string_view all(text);
  bool any = false;
  std::size_t start = 0;
  while (start <= all.size()) {
    std::size_t end = all.find('|', start);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view entry = all.substr(start, end - start);
    if (!entry.empty()) {
      any = true;
      if (entry.find("NovaDot") == std::string_view::npos) return 0;
    }
    start = end + 1;
  }
  return any ? 1 : 0;
}

// Releases a configuration handle and the set records handed out.
void release_sets(DravCfgSet** sets, int count) {
  if (sets == nullptr) return;
  for (int i = 0; i < count; ++i) std::free(sets[i]);
  std::free(sets);
}

// Reports every error text the configuration library holds; false when none.
bool report_library_errors(DravCfg* cfg) {
  const int errors = dravcfg_get_nr_errors(cfg);
  const char** texts = errors > 0 ? dravcfg_get_errormessages(cfg) : nullptr;
  if (texts == nullptr) return false;
  for (int i = 0; i < errors; ++i) {
    if (texts[i] != nullptr) report(DRAV_MSG_ERROR, "%s", texts[i]);
  }
  return true;
}

}  // namespace

// The distinct resolutions of the recorder settings, then the range they
// span: "2400|4000|5080|1800-6350". 0 when built.
int get_resolution_list(char* buffer, std::size_t size) {
  buffer[0] = '\0';
  DravCfg* cfg = dravcfg_open(kRecorderSettings);
  if (cfg == nullptr) return -1;
  if (report_library_errors(cfg)) {
    dravcfg_close(&cfg);
    return -2;
  }
  const int count = dravcfg_get_nrsets(cfg);
  if (count == 0) {
    if (!report_library_errors(cfg)) {
      report(DRAV_MSG_ERROR, "dravoututil(get_resolution_list): Could not get number of sets in resource file");
    }
    dravcfg_close(&cfg);
    return -4;
  }
  DravCfgSet** sets = dravcfg_get_sets(cfg);
  if (sets == nullptr) {
    if (!report_library_errors(cfg)) {
      report(DRAV_MSG_ERROR, "dravoututil(get_resolution_list): Could not get all recorder settings in resource file");
    }
    dravcfg_close(&cfg);
    return -5;
  }
  double low = 100000.0, high = -100000.0;
  std::string list;
  std::vector<std::string> seen;
  for (int i = 0; i < count; ++i) {
    const DravCfgSet* set = sets[i];
    for (int32_t k = 0; set != nullptr && k < set->resolution_count; ++k) {
      const double v = set->resolutions[k].resolution;
      if (v < low) low = v;
      if (v > high) high = v;
      const std::string text = c_format("%.10g", v);
      bool known = false;
      for (const std::string& s : seen) known |= s == text;
      if (known) continue;
      seen.push_back(text);
      if (!list.empty()) list += '|';
      list += text;
    }
  }
  release_sets(sets, count);
  dravcfg_close(&cfg);
  list.append("|").append(c_format("%.10g", low * 0.75)).append("-").append(c_format("%.10g", high * 1.25));
  if (list.size() + 1 > size) {
    report(DRAV_MSG_WARNING, "Resolution list of %d bytes does not fit the host's buffer of %d bytes",
           static_cast<int>(list.size() + 1), static_cast<int>(size));
    return -6;
  }
  std::memcpy(buffer, list.c_str(), list.size() + 1);
  return 0;
}

// Answers a query, or keeps a cutting text; 1 answered, 0 not.
int get_param(const char* key, void* buffer) {
  if (key == nullptr || !call_order.opened) return 0;
  if (equals_ignore_case(key, "version")) {
    char version[64];
    std::snprintf(version, sizeof version, "%s (%s)", kVersion, kBuildDate);
    return answer(buffer, version) ? 1 : 0;
  }
  if (equals_ignore_case(key, "OutputFileName")) return answer(buffer, output_file_name) ? 1 : 0;
  if (equals_ignore_case(key, "left")) {
    if (buffer == nullptr) return 0;
    int left = 0;
    const int32_t value = host->get_int_option("LEFT", &left) ? (left == 0 ? 1 : 0) : 1;
    std::memcpy(buffer, &value, sizeof value);
    return 1;
  }
  if (equals_ignore_case(key, "outputdevice_resolutionlist")) {
    if (buffer == nullptr) return 0;
    return get_resolution_list(static_cast<char*>(buffer), DRAV_PARAM_ANSWER_SIZE) == 0 ? 1 : 0;
  }
  if (equals_ignore_case(key, "gamma")) return gamma_answer(buffer);

  const std::size_t length = std::strlen(key);
  const bool scp = length >= 3 && fold_ascii(key[0]) == 's' && fold_ascii(key[1]) == 'c' && fold_ascii(key[2]) == 'p';
  const bool ccp = length >= 3 && fold_ascii(key[0]) == 'c' && fold_ascii(key[1]) == 'c' && fold_ascii(key[2]) == 'p';
  if (scp || ccp) {
    if (buffer == nullptr) return 1;
    const char* text = static_cast<const char*>(buffer);
    if (scp && equals_ignore_case(key, "SCPAll")) {
      keep_stagger_all(text);
    } else if (scp) {
      if (keep_cutting_text(state.stagger_texts, ink_number(key + 3), text, key)) state.stagger_given = 1;
    } else {
      if (keep_cutting_text(state.cad_texts, ink_number(key + 3), text, key)) state.cad_given = 1;
    }
    return 1;
  }
  if (equals_ignore_case(key, "screeningtechnology")) return judge_technologies(static_cast<const char*>(buffer));
  return 0;
}

}  // namespace dravout
