// page_setup.cpp - start of a page: size, copies, film limits, buffers.
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "ascii_case.h"
#include "plugin_state.h"
#include "stages.h"
#include "xmp_tag.h"

namespace dravout {
namespace {

// The film that the selected configuration names, or null.
const DravFilmEntry* find_film(const DravResource& resource, const DravConfigRecord& config) {
  if (config.films == nullptr) return nullptr;
  for (int32_t i = 0; i < resource.film_count; ++i) {
    if (textutil::equal_ignoring_case(config.films[i].name, config.film_name)) return &config.films[i];
  }
  return nullptr;
}

// Largest page size in pixels that a film dimension (thousandths of an inch)
// takes at the job's resolution.
double film_limit(double thousandths) {
  return std::trunc((state.resolution * thousandths + 500.0) / 1000.0);
}

// A limit for the "%d" of a message; limits beyond 32 bits never refuse.
int printable_limit(double limit) {
  if (!(limit < static_cast<double>(INT_MAX))) return INT_MAX;
  if (!(limit > static_cast<double>(INT_MIN))) return INT_MIN;
  return static_cast<int>(limit);
}

// Checks the page against the film of the selected configuration and takes
// its height and width; false after the report of what does not fit.
bool fits_film(int height, int width) {
  const DravResource* resource = state.resdata != nullptr ? *state.resdata : nullptr;
  const DravConfigRecord* config = resource != nullptr ? resource->selected : nullptr;
  // Settings of an earlier job must not serve a job whose settings failed.
  if (config == nullptr || !call_order.settings_read) {
    report(DRAV_MSG_ERROR, "No device configuration loaded: job settings were not read");
    return false;
  }
  const DravFilmEntry* film = find_film(*resource, *config);
  if (film == nullptr) {
    report(DRAV_MSG_ERROR, "Film (%s) in selected configuration (%s) not found", config->film_name,
           state.config_name);
    return false;
  }
  const double max_height = film_limit(film->length);
  const double max_width = film_limit(film->width);
  if (!(height <= max_height)) {
    report(DRAV_MSG_ERROR, "Job height too big (%d > %d)", height, printable_limit(max_height));
    return false;
  }
  state.height = height;
  if (!(width <= max_width)) {
    report(DRAV_MSG_ERROR, "Job width too big (%d > %d)", width, printable_limit(max_width));
    return false;
  }
  state.width = width;
  return true;
}

}  // namespace

// Releases both scanline buffers; the next page allocates anew.
void release_scanline_buffers() {
  std::free(scanline.data);
  std::free(expanded.data);
  scanline.data = nullptr;
  expanded.data = nullptr;
  scanline_bytes = 0;
}

// Makes the scanline buffers large enough for width pixels (never smaller).
int alloc_scanline_buffers(int32_t width) {
  // Computed in 64 bits: a width near the 32-bit limit must not wrap.
  const int64_t bits = static_cast<int64_t>(state.bps) * width;
  const int64_t size = 4 * ((bits + 31) / 32) + 4;
  const int64_t expanded_size = static_cast<int64_t>(state.out_bps) * size;
  const bool expands = state.bps != state.out_bps;

  if (size <= scanline_bytes && (!expands || expanded.data != nullptr)) {
    clear_scanline_buffers();
    return DRAV_OK;
  }
  release_scanline_buffers();

  if (size > INT32_MAX) {
    report(DRAV_MSG_ERROR, "Not enough memory for scanline buffer allocation (%lld bytes)",
           static_cast<long long>(size));
    return DRAV_ERR_MEMORY;
  }
  scanline.data = static_cast<uint8_t*>(std::malloc(static_cast<std::size_t>(size)));
  if (scanline.data == nullptr) {
    report(DRAV_MSG_ERROR, "Not enough memory for scanline buffer allocation (%lld bytes)",
           static_cast<long long>(size));
    return DRAV_ERR_MEMORY;
  }
  scanline_bytes = static_cast<int32_t>(size);
  if (!expands) return DRAV_OK;

  expanded.data = static_cast<uint8_t*>(std::malloc(static_cast<std::size_t>(expanded_size)));
  if (expanded.data == nullptr) {
    report(DRAV_MSG_ERROR, "Not enough memory for extended scanline buffer allocation (%lld bytes)",
           static_cast<long long>(expanded_size));
    // Keep the pair consistent: no half-allocated buffers for a later page.
    release_scanline_buffers();
    return DRAV_ERR_MEMORY;
  }
  return DRAV_OK;
}

// Zeroes both buffers in full and resets their flags.
int clear_scanline_buffers() {
  if (scanline.data != nullptr) std::memset(scanline.data, 0, static_cast<std::size_t>(scanline_bytes));
  scanline.flag = 0;
  if (state.bps != state.out_bps) {
    if (expanded.data != nullptr) {
      std::memset(expanded.data, 0,
                  static_cast<std::size_t>(state.out_bps) * static_cast<std::size_t>(scanline_bytes));
    }
    expanded.flag = 0;
  }
  return DRAV_OK;
}

// Reads the page's size and copies, checks it against the film, sizes buffers.
int start_page(CDictContainer* page) {
  if (!require_open()) return DRAV_ERR_OTHER;
  // A separation the host left open belongs to the page before.
  abandon_open_separation();
  call_order.page_started = false;
  int height = 0, width = 0, ncopies = 0;
  try {
    if (page == nullptr) throw CUnivBaseException("No page description");
    const CStringKeyDict& dict = page->GetDict();
    height = dict.GetInt("height");
    width = dict.GetInt("width");
    ncopies = dict.GetInt("ncopies");
    state.xmp_inks.clear();
    load_page_xmp_inks(dict, state.xmp_inks);
  } catch (const CUnivBaseException& e) {
    report(DRAV_MSG_ERROR, "%s", e.what());
    return DRAV_ERR_OTHER;
  }
  // The buffers are sized from the bits per sample of a started job; a page
  // outside a job would get buffers too small for its rows.
  if (!call_order.job_started) {
    report(DRAV_MSG_ERROR, "No job started: a page needs a job that dravout_startjob accepted");
    return DRAV_ERR_OTHER;
  }
  if (height <= 0 || width <= 0) {
    report(DRAV_MSG_ERROR, "Zero height and/or width requested (height = %d, width = %d)", height,
           width);
    return DRAV_ERR_OTHER;
  }
  state.ncopies = ncopies > 0 ? ncopies : 1;

  if (!fits_film(height, width)) return DRAV_ERR_OTHER;
  const int status = alloc_scanline_buffers(width);
  call_order.page_started = status == DRAV_OK;
  return status;
}

}  // namespace dravout
