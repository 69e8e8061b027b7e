// tag_inputs.cpp - the tag writers' inputs from the plug-in's state.
#include "tag_inputs.h"

#include "plugin_state.h"

namespace dravout {

HostMessage host_message_entry() { return host != nullptr ? host->host_message : nullptr; }

PageGeometry page_geometry() { return PageGeometry{state.width, state.height, state.mirror != 0}; }

Transformation job_transformation() {
  return Transformation{state.vshift,   state.hshift,     state.vscale, state.hscale,
                        state.rotation, state.tag_mirror, state.vdist,  state.hdist};
}

CuttingTexts cutting_texts() {
  return CuttingTexts{state.sep_inks, state.stagger_texts, state.cad_texts, state.xmp_inks,
                      state.cad_ignored_reported};
}

PreviewFile separation_preview() {
  return PreviewFile{preview_tmp_name, preview_failed, add_png_preview != 0 && output_png_preview != 0,
                     remove_temporary};
}

}  // namespace dravout
