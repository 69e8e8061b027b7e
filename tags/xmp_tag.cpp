// xmp_tag.cpp - the page's XMP inks and the separation's "_KVT_XMP" tag.
#include "xmp_tag.h"

#include <cmath>
#include <string>

#include "ascii_case.h"
#include "plugin_state.h"
#include "xmplib.h"

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
void add_ink(int32_t number) {
  for (int32_t n : state.sep_inks)
    if (n == number) return;
  state.sep_inks.push_back(number);
}

}  // namespace

void load_page_xmp_inks(const CStringKeyDict& page) {
  CUnivType::List packet;
  if (page.GetItem("XMPinfo", packet) != UD_OK) return;
  XMPlib xmp;
  if (!xmp.ErrStr().empty()) return;
  if (!packet.empty() && xmp.SetXML(packet.front().AsText())) xmp.GetInks(state.xmp_inks);
}

void write_xmp_tag(const CStringKeyDict& separation) {
  std::string text;
  if (separation.GetItem("XMPinfo", text) != UD_OK) {
    report(DRAV_MSG_INFO, "No XMP metadata available, so no XMP tag added");
    return;
  }
  tav_puttag(state.tavfile, "_KVT_XMP", static_cast<int>(text.size() + 1), text.c_str());
}

void match_separation_inks(const CStringKeyDict& separation, const CUnivType::List& screens) {
  const CUnivType::List& colours = separation.GetList("colorinfo");
  const CUnivType::List& screen_indexes = separation.GetList("screenidx");
  state.sep_inks.clear();
  for (const CUnivType& colour_value : colours) {
    const CStringKeyDict& colour = colour_value.AsDict();
    const std::string& ink_name = colour.GetText("inkname");
    const std::string colour_key = colour.GetText("groupname") + "|" + ink_name;
    for (std::size_t i = 0; i < state.xmp_inks.size(); ++i) {
      const XMPlInk& ink = state.xmp_inks[i];
      if (!same_ink(colour_key, ink_name, ink_key(ink), ink)) continue;
      for (const CUnivType& index_value : screen_indexes) {
        const int index = index_value.AsInt();
        if (index < 0 || static_cast<std::size_t>(index) >= screens.size()) {
          throw CUnivBaseException("Screen index " + std::to_string(index) + " is not in the separation's screens");
        }
        const CStringKeyDict& screen = screens[static_cast<std::size_t>(index)].AsDict();
        if (fits(screen.GetReal("frequencyreq"), ink.frequency) && fits(screen.GetReal("anglereq"), ink.angle)) {
          add_ink(static_cast<int32_t>(i + 1));
        }
      }
    }
  }
}

}  // namespace dravout
