// lifecycle.cpp - open, start of a job, end of a job, close.
#include <cmath>
#include <cstdlib>

#include "plugin_state.h"
#include "stages.h"

namespace dravout {
namespace {

// Gives both cutting-text arrays their 64 empty slots and clears the flags.
void reset_cutting_texts() {
  state.stagger_texts.assign(kCuttingSlots, std::string());
  state.cad_texts.assign(kCuttingSlots, std::string());
  state.stagger_given = 0;
  state.cad_given = 0;
  state.cad_ignored_reported = 0;
}

// Builds the device description: 2000 ppi, any size (the film limits it),
// one plane of one bit, copies made by the plug-in.
CStringKeyDict make_device_description() {
  CStringKeyDict dict;
  dict["dpi_h"] = 2000.0;
  dict["dpi_v"] = 2000.0;
  dict["multiple_dpi"] = 1;
  dict["maxwidth"] = 1.7976931348623157e308;
  dict["maxheigth"] = 1.7976931348623157e308;
  dict["maxbps"] = 1;
  dict["nplanes"] = 1;
  dict["multiple_nplanes"] = 0;
  dict["bps"] = 1;
  dict["multiple_bps"] = 0;
  dict["multiple_copies"] = 1;
  return dict;
}

}  // namespace

// Starts the utility library, hands the host the options and the device.
int open_plugin(HostCallbacks* host_table, int* kind, void** options, CDictContainer** devinfo_out,
                CDictContainerFactory* factory) {
  host = host_table;
  if (kind != nullptr) *kind = 4;
  call_order = CallOrder{};
  release_scanline_buffers();

  DravOptionDecl* util_options = nullptr;
  util_handle = dravoututil_init(host_table, 0, &util_options);
  if (util_handle == nullptr) {
    report(DRAV_MSG_ERROR, "Initialisation of dravoututil library failed");
    return DRAV_ERR_OTHER;
  }
  DravOptionDecl* merged = dravoututil_mergeoptions(util_handle, util_options, declared_options);
  if (options != nullptr) *options = merged;
  if (merged == nullptr) {
    report(DRAV_MSG_ERROR, "Could not merge options lists");
    return DRAV_ERR_OTHER;
  }

  try {
    if (factory == nullptr) throw CUnivBaseException("No dictionary container factory");
    CStringKeyDict description = make_device_description();
    CDictContainer* container = factory->NewDictContainer(description, "devinfo");
    if (devinfo_out != nullptr) *devinfo_out = container;
    devinfo = container;
    dict_factory = factory;
  } catch (const CUnivBaseException& e) {
    report(DRAV_MSG_ERROR, "%s", e.what());
    return DRAV_ERR_MEMORY;
  }

  state.sep_inks.clear();
  reset_cutting_texts();
  call_order.opened = true;
  return DRAV_OK;
}

// Takes the job's resolution and checks its bits per sample.
int start_job(CDictContainer* job) {
  if (!require_open()) return DRAV_ERR_OTHER;
  // A refused job leaves no job started: its pages are refused in turn.
  call_order.job_started = false;
  call_order.page_started = false;
  double ppi = 0.0;
  int bps = 0;
  try {
    if (job == nullptr) throw CUnivBaseException("No job description");
    const CStringKeyDict& dict = job->GetDict();
    ppi = dict.GetReal("ppi");
    bps = dict.GetInt("bps");
  } catch (const CUnivBaseException& e) {
    report(DRAV_MSG_ERROR, "%s", e.what());
    return DRAV_ERR_OTHER;
  }
  state.resolution = ppi;
  if (bps != 1) {
    report(DRAV_MSG_ERROR, "Invalid bps (%d)", bps);
    return DRAV_ERR_OTHER;
  }
  // Every size in millimetres divides by the resolution: a job without a
  // usable one cannot give a single valid file.
  if (!std::isfinite(ppi) || ppi <= 0.0) {
    report(DRAV_MSG_ERROR, "Invalid ppi (%g)", ppi);
    return DRAV_ERR_OTHER;
  }
  state.bps = 1;
  output_file_name[0] = '\0';
  call_order.job_started = true;
  return DRAV_OK;
}

// Releases the scanline buffers and forgets the job's numbered cutting texts.
int end_job() {
  abandon_open_separation();
  call_order.job_started = false;
  call_order.page_started = false;
  release_scanline_buffers();
  reset_cutting_texts();
  state.sep_inks.clear();
  return DRAV_OK;
}

// Deletes the device description and ends the utility library.
int close_plugin() {
  if (devinfo != nullptr) {
    try {
      if (dict_factory == nullptr) throw CUnivBaseException("No dictionary container factory");
      dict_factory->DeleteDictContainer(devinfo);
    } catch (const CUnivBaseException& e) {
      report(DRAV_MSG_ERROR, "%s", e.what());
      return DRAV_ERR_OTHER;
    }
  }
  abandon_open_separation();
  state.stagger_texts.clear();
  state.cad_texts.clear();
  state.stagger_given = 0;
  state.cad_given = 0;
  dict_factory = nullptr;
  devinfo = nullptr;
  // The resource record belongs to the utility library and ends with it; a
  // job left open by the host must not keep its buffers past the close.
  state.resdata = nullptr;
  release_scanline_buffers();
  call_order = CallOrder{};
  dravoututil_end(util_handle);
  util_handle = nullptr;
  return DRAV_OK;
}

}  // namespace dravout
