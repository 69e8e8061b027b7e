// handle.h - the library handle: what one dravoututil_init call owns until
// dravoututil_end.
#ifndef DRAVOUTUTIL_HANDLE_H
#define DRAVOUTUTIL_HANDLE_H

#include <memory>
#include <vector>

#include "device_description.h"
#include "dravoututil.h"
#include "held_files.h"
#include "options.h"
#include "output_files.h"

struct DravOutUtil {
  explicit DravOutUtil(HostCallbacks* host_table) : host(host_table), options(host_table) {}

  HostCallbacks* host;
  dravoututil::OptionReader options;

  // The library's own option list, handed out by dravoututil_init.
  DravOptionDecl util_options[4] = {{"DEVICEDIR", DRAV_OPT_STRING},
                                    {"JOBNAME", DRAV_OPT_STRING},
                                    {"OUTDIR", DRAV_OPT_STRING},
                                    {nullptr, 0}};

  // Every list dravoututil_mergeoptions returned.
  std::vector<std::unique_ptr<dravoututil::MergedOptionList>> merged_lists;

  // The resource data of the last successful dravoututil_readresfile and the
  // word through which the caller reaches its record.
  std::unique_ptr<dravoututil::ResourceData> resource;
  DravResource* resource_word = nullptr;

  // Final names and copies, with the last number taken per stem.
  dravoututil::UniqueNamer namer;

  // The temporary files of dravoututil_outputspec, locked for their writer
  // until they are named, kept or discarded.
  dravoututil::HeldTemporaries held;
};

#endif  // DRAVOUTUTIL_HANDLE_H
