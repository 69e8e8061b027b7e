// separation_finish.cpp - end of a separation: tags, close, final name, copies.
#include "fileutil.h"
#include "plugin_state.h"
#include "pngpreview.h"
#include "cutting_tags.h"
#include "pngpreview_tag.h"
#include "screeninfo_tag.h"
#include "stages.h"

namespace dravout {
namespace {

// Adds the descriptive tags after the last row. A tag that cannot be written
// is reported and the file is finished without it.
//
// Order: screen information, PNG preview (when previews are on), staggered
// cutting (when an "SCPAll" text is kept), cutting and transformation tags
// (when a cutting text was given). A preview given up at its start was
// reported then and gives no tag.
void write_closing_tags() {
  if (write_screeninfo_tag(state.tavfile) < 0) report(DRAV_MSG_ERROR, "Could not write screen info tag in tavfile");
  if (add_png_preview != 0) {
    if (!preview_failed && write_pngpreview_tag(state.tavfile) < 0) {
      report(DRAV_MSG_ERROR, "Could not write png preview tag in tavfile");
    }
    png_cleanUp();
  }
  if (state.stagger_all_size != 0 && state.stagger_all != nullptr && write_stagger_tag(state) < 0) {
    report(DRAV_MSG_ERROR, "Could not write staggered cutting tag in tavfile");
  }
  if ((state.stagger_given != 0 || state.cad_given != 0) && write_cutting_tags(state) < 0) {
    report(DRAV_MSG_ERROR, "Could not write cutting tags in tavfile");
  }
}

// Makes the further copies of the finished file, each reported in turn.
int make_copies() {
  for (int32_t i = 1; i < state.ncopies; ++i) {
    char copy_name[DRAV_NAME_SIZE] = {};
    if (dravoututil_uniquecopy(util_handle, copy_name, DRAV_NAME_SIZE, output_file_name) != 0) {
      report(DRAV_MSG_ERROR, "Could not copy %s", output_file_name);
      return DRAV_ERR_WRITE;
    }
    dravoututil_feedback(util_handle, copy_name, 0);
  }
  return DRAV_OK;
}

// Keeps the complete file that could not be given its final name where no
// cleaning of leftovers removes it, and says where it is; nothing is said
// to be kept under a name that does not hold it.
void keep_complete_file() {
  char kept[DRAV_NAME_SIZE] = {};
  if (dravoututil_keepcomplete(util_handle, kept, DRAV_NAME_SIZE, state.tmp_name, ".tav") == 0) {
    report(DRAV_MSG_INFO, "The complete output file is kept as %s", kept);
  }
}

}  // namespace

// Drops an unfinished preview: its image and its reserved temporary name.
void discard_preview() {
  if (preview_tmp_name[0] != '\0') {
    remove_temporary(preview_tmp_name);
    preview_tmp_name[0] = '\0';
  }
  if (add_png_preview != 0) png_cleanUp();
}

// Closes the open separation file and deletes it, with its preview. False
// when none is open; deleted tells whether its name is gone (a name that
// could not be deleted was reported).
bool delete_open_file(bool* deleted) {
  if (state.tavfile == nullptr) return false;
  tav_fclose(state.tavfile);
  state.tavfile = nullptr;
  *deleted = remove_temporary(state.tmp_name);
  discard_preview();
  return true;
}

// Closes and deletes a separation file that was started but never ended: it
// is incomplete, so nothing of it may stay behind or be reported.
void abandon_open_separation() {
  bool deleted = false;
  if (!delete_open_file(&deleted) || !deleted) return;
  report(DRAV_MSG_WARNING, "Unfinished output file %s deleted: its separation was not ended", state.tmp_name);
}

// An incomplete file would keep its disk space (on a full disk, for the
// next jobs too) and could be mistaken for output: it goes at once.
void discard_separation_file() {
  bool deleted = false;
  if (!delete_open_file(&deleted)) return;
  call_order.file_lost = true;
  if (deleted) report(DRAV_MSG_WARNING, "Unfinished output file %s deleted", state.tmp_name);
}

// Finishes the separation's file and delivers it under its final names.
int end_separation() {
  if (output_page == 0) return DRAV_OK;
  if (state.tavfile == nullptr) {
    // Never opened, or deleted after a failed row: there is no file to end.
    report(DRAV_MSG_ERROR, "Closing tavfile failed");
    report(DRAV_MSG_INFO, "%s", call_order.file_lost ? "The separation's output file was not completed and was deleted"
                                                       : "No output file is open for this separation");
    return DRAV_ERR_CLOSE;
  }
  write_closing_tags();

  TavFile* file = state.tavfile;
  state.tavfile = nullptr;
  if (tav_fclose(file) < 0) {
    report(DRAV_MSG_ERROR, "Closing tavfile failed");
    report(DRAV_MSG_INFO, "%s", tav_lasterror());
    // The file is incomplete: nothing of it stays behind, nor its preview.
    const bool deleted = remove_temporary(state.tmp_name);
    discard_preview();
    call_order.file_lost = true;
    if (deleted) report(DRAV_MSG_WARNING, "Unfinished output file %s deleted", state.tmp_name);
    return DRAV_ERR_CLOSE;
  }
  if (dravoututil_uniquerename(util_handle, output_file_name, DRAV_NAME_SIZE, state.tmp_name, ".tav") !=
      0) {
    report(DRAV_MSG_ERROR, "DRAVOUT: Could not generate unique filename (%s -> %s)", state.tmp_name,
           output_file_name);
    // The file is complete: it is kept for the operator to recover. A
    // preview file never stands without its raster file.
    keep_complete_file();
    discard_preview();
    return DRAV_ERR_CLOSE;
  }
  dravoututil_feedback(util_handle, output_file_name, 0);
  // The kept preview follows its raster file, never precedes it.
  const int preview = deliver_preview_file(output_file_name);
  const int copies = make_copies();
  return copies != DRAV_OK ? copies : preview;
}

}  // namespace dravout
