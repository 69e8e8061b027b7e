// xmp_tag.h - the page's XMP inks, the "_KVT_XMP" tag, and the inks a
// separation prints.
#ifndef TAGS_XMP_TAG_H
#define TAGS_XMP_TAG_H

#include <cstdint>
#include <vector>

#include "drav_dict.h"
#include "tag_output.h"
#include "xmplib.h"

namespace dravout {

// Fills inks from the page's "XMPinfo" packet (nothing when it has none or
// the XMP library refuses it).
void load_page_xmp_inks(const CStringKeyDict& page, std::vector<XMPlInk>& inks);

// Attaches the separation's "XMPinfo" text as "_KVT_XMP" (the text and one
// zero byte); a level-3 note when it has none.
void write_xmp_tag(const TagOutput& out, const CStringKeyDict& separation);

// Lists in sep_inks the numbers (1-based) of the page's inks that the
// separation's colours and requested screens name.
void match_separation_inks(const CStringKeyDict& separation, const CUnivType::List& screens,
                           const std::vector<XMPlInk>& inks, std::vector<int32_t>& sep_inks);

}  // namespace dravout

#endif  // TAGS_XMP_TAG_H
