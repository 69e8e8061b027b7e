// xmp_tag.h - the page's XMP inks, the "_KVT_XMP" tag, and the inks a
// separation prints.
#ifndef TAGS_XMP_TAG_H
#define TAGS_XMP_TAG_H

#include "drav_dict.h"

namespace dravout {

// Fills xmp_inks from the page's "XMPinfo" packet (nothing when it has none
// or the XMP library refuses it).
void load_page_xmp_inks(const CStringKeyDict& page);

// Attaches the separation's "XMPinfo" text as "_KVT_XMP" (the text and one
// zero byte); a level-3 note when it has none.
void write_xmp_tag(const CStringKeyDict& separation);

// Lists in sep_inks the numbers of the page's inks that the separation's
// colours and requested screens name.
void match_separation_inks(const CStringKeyDict& separation, const CUnivType::List& screens);

}  // namespace dravout

#endif  // TAGS_XMP_TAG_H
