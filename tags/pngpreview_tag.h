// pngpreview_tag.h - the "_KVTVIEW.PNG" tag: a PNG picture of the separation,
// and the ".png" file kept beside the raster file on request.
#ifndef TAGS_PNGPREVIEW_TAG_H
#define TAGS_PNGPREVIEW_TAG_H

#include <cstdint>

#include "dravoututil.h"
#include "tag_output.h"

namespace dravout {

// The preview of the separation being written, as its caller keeps it.
struct PreviewFile {
  char* tmp_name;  // DRAV_NAME_SIZE bytes: the preview's temporary file; emptied when it is gone
  bool& failed;    // set when the preview was given up (and reported)
  bool keep;       // kept as a ".png" file of its own beside the raster file
  bool (*discard)(const char* path);  // deletes a temporary file, reporting one it cannot
};

// Finishes the separation's preview (rescaled to resolution unless that is
// -1), writes it to tmp_name and attaches its bytes, padded by their length
// mod 4 zero bytes. A kept preview stays under tmp_name until its raster
// file has its final name (deliver_preview_file); otherwise the temporary
// file is deleted. Returns the sink's result (negative: the tag was
// refused, the caller reports it), or, when no preview could be made,
// written or read back, a positive status code after one level-1 report
// with the reason (the temporary file deleted, failed set).
int write_pngpreview_tag(const TagOutput& out, const PreviewFile& preview, int32_t resolution);

// Gives the kept preview waiting under tmp_name its final ".png" name and
// reports it through util; call once its raster file raster_name has its
// final name. A preview that cannot be named is deleted (the raster file's
// tag holds it, unless that tag was refused) with a level-1 report naming
// the name it was meant to get. Returns 0 when the file was delivered or
// none was asked for; 6 when a requested ".png" file is missing (also when
// the preview failed before).
int deliver_preview_file(HostMessage message, const PreviewFile& preview, DravOutUtil* util,
                         const char* raster_name);

}  // namespace dravout

#endif  // TAGS_PNGPREVIEW_TAG_H
