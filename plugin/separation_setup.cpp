// separation_setup.cpp - start of a separation: output switch, names, file.
#include <ctime>

#include "fileutil.h"
#include "plugin_state.h"
#include "pngpreview.h"
#include "stages.h"
#include "xmp_tag.h"

namespace dravout {
namespace {

// The current time as the utility library's 32-bit count of seconds: its
// lowest 32 bits (the library reads them back as the time nearest to its own
// clock), so the count never wraps to a date before 1970 or to 1901.
int32_t interface_seconds(std::time_t now) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(now)));
}

// Names the preview's temporary file and starts the preview. A preview the
// library refuses is reported once, here, with the library's reason, and
// its temporary file goes; the separation goes on without it.
int start_preview(int32_t now) {
  preview_failed = false;
  if (dravoututil_outputspec(util_handle, preview_tmp_name, DRAV_NAME_SIZE, ".tmp_pngpreview", &now) != 0) {
    preview_tmp_name[0] = '\0';
    preview_failed = true;
    report(DRAV_MSG_ERROR, "Could not make a temporary name for the PNG preview");
    return DRAV_ERR_CREATE;
  }
  png_init(state.height, state.width, state.bps, 0);
  if (png_lastresult() != 0) {
    report(DRAV_MSG_ERROR, "DRAVOUT: Could not make the PNG preview (%s)", png_lasterror());
    remove_temporary(preview_tmp_name);
    preview_tmp_name[0] = '\0';
    preview_failed = true;
  }
  return DRAV_OK;
}

// Deflate level and writer threads of the selected configuration; 0 (the
// writer's default) when there is no resource record.
void writer_settings(int* level, int* threads) {
  const DravResource* resource = state.resdata != nullptr ? *state.resdata : nullptr;
  const DravConfigRecord* config = resource != nullptr ? resource->selected : nullptr;
  *level = config != nullptr ? config->deflate_level : 0;
  *threads = config != nullptr ? config->compression_threads : 0;
}

// Names and opens the raster file of the separation under a temporary name.
int open_separation_file() {
  // Taken once per separation: both names share it.
  const int32_t now = interface_seconds(std::time(nullptr));
  if (dravoututil_outputspec(util_handle, state.tmp_name, DRAV_NAME_SIZE, ".tmp", &now) != 0) {
    report(DRAV_MSG_ERROR, "Could not make a temporary name for the output file");
    return DRAV_ERR_CREATE;
  }
  const double width_mm = state.width / state.resolution * 25.4;
  const double height_mm = state.height / state.resolution * 25.4;
  state.tavfile = tav_fopenw(state.tmp_name, state.tav_format, state.tav_compression, state.tav_mode,
                             state.height, state.width, width_mm, height_mm);
  if (state.tavfile == nullptr) {
    report(DRAV_MSG_ERROR, "Could not create tavfile (%s)", tav_lasterror());
    remove_temporary(state.tmp_name);  // the name was reserved by an empty file
    return DRAV_ERR_CREATE;
  }
  int level = 0, threads = 0;
  writer_settings(&level, &threads);
  if (tav_setoptions(state.tavfile, level, threads) != 0) {
    report(DRAV_MSG_WARNING, "Compression settings of the device not taken (%s)", tav_lasterror());
  }
  state.row = 0;
  if (add_png_preview != 0) return start_preview(now);
  return DRAV_OK;
}

}  // namespace

// Clears the buffers, asks whether the separation is output, opens its file.
int start_separation(CDictContainer* separation) {
  clear_scanline_buffers();
  if (!require_open()) return DRAV_ERR_OTHER;
  abandon_open_separation();
  call_order.file_lost = false;
  preview_failed = false;
  // The page's size and buffers are those of a page the plug-in accepted.
  if (!call_order.page_started) {
    report(DRAV_MSG_ERROR, "No page started: a separation needs a page that dravout_startpage accepted");
    // Nothing is written for it: its rows and its end fail in turn.
    output_page = 1;
    call_order.file_lost = true;
    return DRAV_ERR_OTHER;
  }
  int page = 1;
  output_page = host->get_int_option("outputpage", &page) ? page : 1;
  if (output_page != 0) {
    const int status = open_separation_file();
    if (status != DRAV_OK) {
      call_order.file_lost = true;
      return status;
    }
  }

  try {
    if (separation == nullptr) throw CUnivBaseException("No separation description");
    const CStringKeyDict& dict = separation->GetDict();
    CUnivType::List screens;
    dict.GetItem("screens", screens);
    CUnivType::List separations;
    if (dict.GetItem("separations", separations) != UD_OK || separations.empty()) return DRAV_OK;
    // The XMP tag is the first tag of the file, before any row.
    const CStringKeyDict& entry = separations.front().AsDict();
    if (state.tavfile != nullptr) write_xmp_tag(entry);
    match_separation_inks(entry, screens);
  } catch (const CUnivBaseException& e) {
    report(DRAV_MSG_ERROR, "%s", e.what());
    return DRAV_ERR_OTHER;
  }
  return DRAV_OK;
}

}  // namespace dravout
