// pngpreview_tag.h - the "_KVTVIEW.PNG" tag: a PNG picture of the separation,
// and the ".png" file kept beside the raster file on request.
#ifndef TAGS_PNGPREVIEW_TAG_H
#define TAGS_PNGPREVIEW_TAG_H

#include "tav.h"

namespace dravout {

// Finishes the separation's preview (rescaled to png_preview_resolution
// unless that is -1), writes it to preview_tmp_name and attaches its bytes,
// padded by their length mod 4 zero bytes. A preview kept as a file of its
// own (output_png_preview) stays under preview_tmp_name until its raster
// file has its final name (deliver_preview_file); otherwise the temporary
// file is deleted. Returns the result of tav_puttag (negative: the tag was
// refused, the caller reports it), or, when no preview could be made,
// written or read back, a positive status code after one level-1 report
// with the reason (the temporary file deleted, preview_failed set).
int write_pngpreview_tag(TavFile* tavfile);

// Gives the kept preview waiting under preview_tmp_name its final ".png"
// name and reports it; call once its raster file raster_name has its final
// name. A preview that cannot be named is deleted (the raster file's tag
// holds it, unless that tag was refused) with a level-1 report naming the
// name it was meant to get. Returns 0 when the file was delivered or none was asked for; 6 when
// a requested ".png" file is missing (also when the preview failed before).
int deliver_preview_file(const char* raster_name);

}  // namespace dravout

#endif  // TAGS_PNGPREVIEW_TAG_H
