// pngpreview_tag.h - the "_KVTVIEW.PNG" tag: a PNG picture of the separation.
#ifndef TAGS_PNGPREVIEW_TAG_H
#define TAGS_PNGPREVIEW_TAG_H

#include "tav.h"

namespace dravout {

// Finishes the separation's preview (rescaled to png_preview_resolution
// unless that is -1), writes it to preview_tmp_name, attaches its bytes
// padded by their length mod 4 zero bytes, then keeps the file under a unique
// ".png" name (output_png_preview) or deletes it. Returns the result of
// tav_puttag, 6 when the kept file cannot be named, or a negative value with
// a level-1 report (and the temporary file removed) when no preview could be
// made, written or read back.
int write_pngpreview_tag(TavFile* tavfile);

}  // namespace dravout

#endif  // TAGS_PNGPREVIEW_TAG_H
