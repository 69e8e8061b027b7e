// tavinfo_coverage.cpp - the ink of a plate and its parts, in words and JSON.
#include "tavinfo_coverage.h"

#include <algorithm>

#include "tavinfo_format.h"

namespace tavinfo {
namespace {

using tagvocab::ScreenLine;

// The part a screen line stands for.
InkPart PartOf(const ScreenLine& line) {
  InkPart part;
  part.share = line.coverage;
  if (line.name == tagvocab::kUnknownName) {
    part.kind = InkPart::Kind::other_screens;
  } else if (line.name == tagvocab::kCopydotName) {
    part.kind = InkPart::Kind::copydot;
  } else if (line.name == tagvocab::kSolidName) {
    part.kind = InkPart::Kind::solids;
  } else {
    part.name = line.name;
    part.ruling = line.ruling;
    part.angle = line.angle;
  }
  return part;
}

// A share as text: "40.95 %".
std::string Percent(double share) { return FormatFixed(share * 100.0, 2) + " %"; }

// What a part is called in the listing.
std::string Label(const InkPart& part) {
  switch (part.kind) {
    case InkPart::Kind::screen:
      return EscapeText(part.name) + "  " + FormatFixed(part.ruling, 1) + " lpi at " + FormatFixed(part.angle, 1) +
             " deg";
    case InkPart::Kind::other_screens: return "other screens (not in the selection, or foreign)";
    case InkPart::Kind::copydot: return "copydot";
    case InkPart::Kind::solids: return "solids";
  }
  return "";
}

const char* KindName(InkPart::Kind kind) {
  switch (kind) {
    case InkPart::Kind::screen: return "screen";
    case InkPart::Kind::other_screens: return "other_screens";
    case InkPart::Kind::copydot: return "copydot";
    case InkPart::Kind::solids: return "solids";
  }
  return "";
}

// The first line: the total.
std::string TotalLine(const InkCoverage& c) {
  std::string line = "Ink:          " + Percent(c.share) + " of the page (" + std::to_string(c.ink_pixels) + " of " +
                     std::to_string(c.page_pixels) + " pixels";
  if (c.reversed) line += "; stored reversed, so the clear ones";
  return line + ")";
}

}  // namespace

InkCoverage SummarizeCoverage(const PixelStats& pixels, int mode,
                              const std::optional<std::vector<ScreenLine>>& lines) {
  InkCoverage c;
  c.reversed = (mode & TAV_MODE_REVERSE) != 0;
  c.page_pixels = pixels.total;
  c.ink_pixels = c.reversed ? pixels.total - std::min(pixels.set, pixels.total) : pixels.set;
  c.share = c.page_pixels == 0 ? 0.0 : static_cast<double>(c.ink_pixels) / static_cast<double>(c.page_pixels);
  c.screen_lines = lines.has_value();
  if (!lines || lines->empty() || !lines->front().counted) return c;
  c.counted = true;
  double listed = 0.0;
  bool solids = false;
  for (const ScreenLine& line : *lines) {
    c.parts.push_back(PartOf(line));
    listed += line.coverage;
    solids |= c.parts.back().kind == InkPart::Kind::solids;
  }
  // The tag gives the solids only when it lists nothing else; beside
  // screens or copydot they are the rest of the ink.
  if (!solids) {
    InkPart rest;
    rest.kind = InkPart::Kind::solids;
    rest.share = std::max(0.0, c.share - listed);
    rest.remainder = true;
    c.parts.push_back(rest);
  }
  return c;
}

InkCoverage CoverageOf(const tav::TavReader& reader, const PixelStats& pixels) {
  std::optional<std::vector<ScreenLine>> lines;
  const tav::TavTag* tag = reader.FindTag(tagvocab::kScreenInfoTag);
  if (tag != nullptr && IsTextValue(tag->value)) {
    lines = tagvocab::parse_screen_info(
        std::string_view(reinterpret_cast<const char*>(tag->value.data()), tag->value.size() - 1));
  }
  return SummarizeCoverage(pixels, reader.Info().mode, lines);
}

std::vector<std::string> DescribeCoverage(const InkCoverage& c) {
  std::vector<std::string> out = {TotalLine(c)};
  if (!c.counted) {
    if (c.screen_lines) {
      out.emplace_back("  (no parts: the screen-information tag lists the screens without shares, as the runs were "
                       "not counted)");
    }
    return out;
  }
  // Names in a column, shares aligned on the right.
  std::size_t width = 0, share_width = 0;
  for (const InkPart& part : c.parts) {
    width = std::max(width, Label(part).size());
    share_width = std::max(share_width, Percent(part.share).size());
  }
  for (const InkPart& part : c.parts) {
    std::string label = Label(part);
    label.resize(width, ' ');
    const std::string share = Percent(part.share);
    std::string line = "  " + label + "  " + std::string(share_width - share.size(), ' ') + share;
    if (part.remainder) {
      line += "  (the rest of the ink: the screen-information tag leaves solids out when it lists screens)";
    }
    out.push_back(std::move(line));
  }
  return out;
}

Json CoverageJson(const InkCoverage& c) {
  Json out;
  out["ink_share"] = c.share;
  out["ink_pixels"] = c.ink_pixels;
  out["page_pixels"] = c.page_pixels;
  out["stored_reversed"] = c.reversed;
  out["counted"] = c.counted;  // false: parts is empty
  Json parts = Json::array();
  for (const InkPart& part : c.parts) {
    Json p;
    p["kind"] = KindName(part.kind);
    if (part.kind == InkPart::Kind::screen) {
      p["name"] = part.name;
      p["ruling"] = part.ruling;
      p["angle"] = part.angle;
    }
    p["share"] = part.share;
    if (part.kind == InkPart::Kind::solids) p["remainder"] = part.remainder;
    parts.push_back(std::move(p));
  }
  out["parts"] = std::move(parts);
  return out;
}

std::string DescribeOrientation(int mode) {
  return (mode & TAV_MODE_MIRROR) != 0 ? "stored mirrored (right-reading when exposed)"
                                       : "stored as rendered (not mirrored)";
}

}  // namespace tavinfo
