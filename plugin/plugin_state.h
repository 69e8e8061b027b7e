// plugin_state.h - the process-wide state of the output plug-in.
//
// One PluginState record plus a few plug-in variables carry everything the
// output path knows between the host's calls: the job settings, the page and
// separation being written, the scanline buffers and the cutting texts.
// Everything is zero at load; the host calls the plug-in from one thread.
#ifndef DRAVOUT_PLUGIN_STATE_H
#define DRAVOUT_PLUGIN_STATE_H

#include <cstdint>
#include <string>
#include <vector>

#include "drav_dict.h"
#include "drav_host.h"
#include "dravoututil.h"
#include "tav.h"
#include "xmplib.h"

namespace dravout {

struct PluginState {
  double resolution = 0.0;      // job resolution, pixels per inch ("RES", then the job's "ppi")
  int32_t bps = 0;              // bits per sample the host delivers (always 1)
  int32_t out_bps = 0;          // bits per pixel in the file: 1, or 8 for FW88B
  int32_t width = 0;            // page width in pixels
  int32_t height = 0;           // page height in scanlines
  int32_t mirror = 0;           // 1 unless LEFT is set
  int32_t reverse = 0;          // REVERSE option
  int32_t ncopies = 0;          // files per separation, at least 1
  int32_t tav_format = 0;       // format code for tav_fopenw
  int32_t tav_compression = 0;  // compression code for tav_fopenw
  int32_t row = 0;              // next row of the current separation
  int32_t tav_mode = 0;         // mode flags for tav_fopenw
  TavFile* tavfile = nullptr;   // raster file of the current separation
  char tmp_name[DRAV_NAME_SIZE] = {};
  DravResource** resdata = nullptr;  // word that points to the resource record
  char config_name[DRAV_NAME_SIZE] = {};
  char* stagger_all = nullptr;   // heap copy of the last "SCPAll" text
  int32_t stagger_all_size = 0;  // its bytes with the terminator
  int32_t vshift = 0, hshift = 0;
  double vscale = 0.0, hscale = 0.0;
  int32_t rotation = 0;
  int32_t tag_mirror = 0;
  double vdist = 0.0, hdist = 0.0;
  std::vector<XMPlInk> xmp_inks;       // inks of the current page
  std::vector<int32_t> sep_inks;       // 1-based ink numbers of the separation
  uint8_t stagger_given = 0;
  uint8_t cad_given = 0;
  std::vector<std::string> stagger_texts;  // 64 slots
  std::vector<std::string> cad_texts;      // 64 slots
  uint64_t cad_ignored_reported = 0;       // bit n: the CAD text of ink n was reported as
                                           // ignored in this job (once per job, not per file)
};

// Number of slots of the cutting-text arrays.
inline constexpr std::size_t kCuttingSlots = 64;

extern PluginState state;

// Further plug-in variables.
extern HostCallbacks* host;
extern DravOutUtil* util_handle;
extern CDictContainerFactory* dict_factory;
extern CDictContainer* devinfo;
extern char output_file_name[DRAV_NAME_SIZE];
extern int32_t output_page;  // start value 1
extern int32_t add_png_preview;
extern int32_t output_png_preview;
extern int32_t png_preview_resolution;  // start value 1000
extern char preview_tmp_name[DRAV_NAME_SIZE];  // empty when no preview file is under way
extern bool preview_failed;  // the separation's preview was given up and reported
extern ScanlineBuffer scanline;
extern ScanlineBuffer expanded;
extern int32_t scanline_bytes;  // allocated size of scanline.data; 0 when none

// The job options this plug-in declares, ended by a null key.
extern const DravOptionDecl declared_options[];

// Where the host's calling order stands. The stages set and clear these
// themselves, so that a call out of order (a page after the job ended, a
// separation after a refused page, anything after close) is refused with a
// clear report instead of reaching the libraries with stale state.
struct CallOrder {
  bool opened = false;        // dravout_open succeeded; cleared by dravout_close
  bool settings_read = false; // dravout_jobsettings succeeded; cleared when it fails
                              // and by dravout_close (a page needs it)
  bool job_started = false;   // dravout_startjob succeeded; cleared by dravout_endjob,
                              // a refused dravout_startjob and dravout_close
  bool page_started = false;  // dravout_startpage succeeded; cleared when a page is
                              // refused, by dravout_endjob and dravout_close
  bool file_lost = false;     // the separation's file was deleted after a failed row or
                              // start; cleared when the next separation starts
};
extern CallOrder call_order;

// Deletes a temporary file of the plug-in's through the output utility
// library, which ends its writer's lock on it; a file that cannot be deleted
// is reported (level 2) with the reason, so an operator can remove it.
// True when nothing is left under path.
bool remove_temporary(const char* path);

// Reports, when the plug-in is not open, that a call came before dravout_open
// or after dravout_close; true when it is open.
bool require_open();

// Reports a message through the host's printf-style message entry: the
// format and the arguments go to the host as they stand and the host formats
// them. Texts the plug-in did not write are passed as "%s" arguments. Always
// inlined, so the arguments are handed on as they are (no va_list).
extern inline __attribute__((always_inline, gnu_inline, format(printf, 2, 3))) void report(
    int level, const char* format, ...) {
  if (host != nullptr && host->host_message != nullptr) {
    host->host_message(level, format, __builtin_va_arg_pack());
  }
}

}  // namespace dravout

#endif  // DRAVOUT_PLUGIN_STATE_H
