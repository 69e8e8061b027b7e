// tag_inputs.h - what the tag writers are handed, taken from the plug-in's
// state: the sink and message entry, the page, the job's transformation and
// cutting texts, and the separation's preview. The writers themselves know
// nothing of the plug-in.
#ifndef DRAVOUT_TAG_INPUTS_H
#define DRAVOUT_TAG_INPUTS_H

#include "cutting_tags.h"
#include "pngpreview_tag.h"
#include "screeninfo_tag.h"
#include "tag_output.h"

namespace dravout {

// The host's message entry, or null before dravout_open.
HostMessage host_message_entry();

// The page being written and whether its files are mirrored.
PageGeometry page_geometry();

// The job's transformation settings.
Transformation job_transformation();

// The job's cutting texts and the separation's and page's inks.
CuttingTexts cutting_texts();

// The separation's preview file.
PreviewFile separation_preview();

}  // namespace dravout

#endif  // DRAVOUT_TAG_INPUTS_H
