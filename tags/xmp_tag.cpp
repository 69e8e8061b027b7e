// xmp_tag.cpp - the page's XMP inks and the separation's "_KVT_XMP" tag.
#include "xmp_tag.h"

#include <cmath>
#include <string>

#include "ascii_case.h"
#include "tag_vocabulary.h"

namespace dravout {
namespace {

// Relative tolerance of a requested screen: the single-precision epsilon.
constexpr double kScreenTolerance = 1.1920928955078125e-7;

// "group|name"; an ink whose group is exactly "none" has none.
std::string ink_key(const XMPlInk& ink) { return (ink.group == "none" ? std::string() : ink.group) + "|" + ink.name; }

// True when the separation's colour (its key and ink name) is this ink.
bool same_ink(const std::string& colour_key, const std::string& colour_name, const std::string& key,
              const XMPlInk& ink) {
  if (textutil::equal_ignoring_case(colour_key, key)) return true;
  return !colour_key.empty() && colour_key[0] == '|' && !key.empty() && key[0] != '|' &&
         textutil::equal_ignoring_case(colour_name, ink.name);
}

// True when a requested value fits the ink's within the strict tolerance.
bool fits(double requested, double value) {
  return std::fabs(requested - value) < std::fabs(requested) * kScreenTolerance;
}

// Appends an ink number once.
void add_ink(std::vector<int32_t>& sep_inks, int32_t number) {
  for (int32_t n : sep_inks)
    if (n == number) return;
  sep_inks.push_back(number);
}

// The screen at index of the separation's screens; a dictionary exception
// for an index outside the list.
const CStringKeyDict& screen_at(const CUnivType::List& screens, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= screens.size()) {
    throw CUnivBaseException("Screen index " + std::to_string(index) + " is not in the separation's screens");
  }
  return screens[static_cast<std::size_t>(index)].AsDict();
}

// True when one of the requested screens fits the ink's frequency and angle.
bool screens_fit(const CUnivType::List& screen_indexes, const CUnivType::List& screens, const XMPlInk& ink) {
  bool any = false;
  for (const CUnivType& index_value : screen_indexes) {
    const CStringKeyDict& screen = screen_at(screens, index_value.AsInt());
    if (fits(screen.GetReal("frequencyreq"), ink.frequency) && fits(screen.GetReal("anglereq"), ink.angle)) any = true;
  }
  return any;
}

}  // namespace

// The packet is read where the page description holds it: a copy would
// double the memory a large packet needs.
void load_page_xmp_inks(const CStringKeyDict& page, std::vector<XMPlInk>& inks) {
  if (!page.Has("XMPinfo") || page["XMPinfo"].GetKind() != CUnivType::Kind::List) return;
  const CUnivType::List& packet = page["XMPinfo"].AsList();
  XMPlib xmp;
  if (!xmp.ErrStr().empty()) return;
  if (!packet.empty() && xmp.SetXML(packet.front().AsText())) xmp.GetInks(inks);
}

void write_xmp_tag(const TagOutput& out, const CStringKeyDict& separation) {
  if (!separation.Has("XMPinfo") || separation["XMPinfo"].GetKind() != CUnivType::Kind::Text) {
    drav_message(out.message, DRAV_MSG_INFO, "No XMP metadata available, so no XMP tag added");
    return;
  }
  const std::string& text = separation["XMPinfo"].AsText();
  out.sink.put(tagvocab::kXmpTag, static_cast<int>(text.size() + 1), text.c_str());
}

void match_separation_inks(const CStringKeyDict& separation, const CUnivType::List& screens,
                           const std::vector<XMPlInk>& inks, std::vector<int32_t>& sep_inks) {
  const CUnivType::List& colours = separation.GetList("colorinfo");
  const CUnivType::List& screen_indexes = separation.GetList("screenidx");
  sep_inks.clear();
  for (const CUnivType& colour_value : colours) {
    const CStringKeyDict& colour = colour_value.AsDict();
    const std::string& ink_name = colour.GetText("inkname");
    const std::string colour_key = colour.GetText("groupname") + "|" + ink_name;
    for (std::size_t i = 0; i < inks.size(); ++i) {
      const XMPlInk& ink = inks[i];
      if (!same_ink(colour_key, ink_name, ink_key(ink), ink)) continue;
      if (screens_fit(screen_indexes, screens, ink)) add_ink(sep_inks, static_cast<int32_t>(i + 1));
    }
  }
}

}  // namespace dravout
