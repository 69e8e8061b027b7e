// plate_xmp.cpp - writing the plate list of a page as XMP.
#include "sources/document/plate_xmp.h"

#include <charconv>

namespace riphost {

namespace {

// Whether text is well-formed UTF-8.
bool is_utf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

// Text as XML character data. A name that is no UTF-8 (spot colour names are
// bytes in a document) is read as Latin-1; control characters XML cannot
// hold become "?".
std::string escaped(const std::string& raw) {
  std::string text;
  if (is_utf8(raw)) {
    text = raw;
  } else {
    for (unsigned char c : raw) {
      if (c < 0x80) {
        text += static_cast<char>(c);
      } else {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
  }
  std::string out;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') {
      out += '?';
      continue;
    }
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// A number in the "C" locale, whatever the process locale.
std::string number(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 12);
  return std::string(text, result.ptr);
}

std::string element(const char* name, const std::string& text) {
  return std::string("<") + name + ">" + text + "</" + name + ">";
}

std::string plate_names(const std::vector<PlateInk>& inks) {
  std::string out = "   <xmpTPg:PlateNames>\n    <rdf:Seq>\n";
  for (const PlateInk& ink : inks) out += "     " + element("rdf:li", escaped(ink.name)) + "\n";
  return out + "    </rdf:Seq>\n   </xmpTPg:PlateNames>\n";
}

std::string spot_swatches(const std::vector<PlateInk>& inks) {
  std::string colorants;
  for (const PlateInk& ink : inks) {
    if (ink.process) continue;
    colorants += "        <rdf:li rdf:parseType=\"Resource\">" + element("xmpG:swatchName", escaped(ink.name)) +
                 element("xmpG:mode", "CMYK") + element("xmpG:type", "SPOT") +
                 element("xmpG:cyan", number(ink.cmyk[0] * 100.0)) +
                 element("xmpG:magenta", number(ink.cmyk[1] * 100.0)) +
                 element("xmpG:yellow", number(ink.cmyk[2] * 100.0)) +
                 element("xmpG:black", number(ink.cmyk[3] * 100.0)) + "</rdf:li>\n";
  }
  if (colorants.empty()) return {};
  return "   <xmpTPg:SwatchGroups>\n    <rdf:Seq>\n     <rdf:li rdf:parseType=\"Resource\">\n"
         "      <xmpG:groupName>Default Swatch Group</xmpG:groupName>\n"
         "      <xmpG:groupType>0</xmpG:groupType>\n      <xmpG:Colorants>\n       <rdf:Seq>\n" +
         colorants + "       </rdf:Seq>\n      </xmpG:Colorants>\n     </rdf:li>\n    </rdf:Seq>\n"
                     "   </xmpTPg:SwatchGroups>\n";
}

std::string ink_list(const std::vector<PlateInk>& inks) {
  std::string out = "   <dravInk:Inks>\n    <rdf:Seq>\n";
  for (const PlateInk& ink : inks) {
    out += "     <rdf:li rdf:parseType=\"Resource\">" + element("dravInk:name", escaped(ink.name)) +
           element("dravInk:type", ink.process ? "PROCESS" : "SPOT") +
           (ink.process ? element("dravInk:group", kProcessGroup) : std::string()) +
           element("dravInk:frequency", number(ink.frequency)) + element("dravInk:angle", number(ink.angle)) +
           "</rdf:li>\n";
  }
  return out + "    </rdf:Seq>\n   </dravInk:Inks>\n";
}

// Our description; the standard properties only when the document's packet
// has none of its own (a property may appear once).
std::string description(const std::vector<PlateInk>& inks, bool standard) {
  return "  <rdf:Description rdf:about=\"\"\n    xmlns:xmpTPg=\"http://ns.adobe.com/xap/1.0/t/pg/\"\n"
         "    xmlns:xmpG=\"http://ns.adobe.com/xap/1.0/g/\"\n"
         "    xmlns:dravInk=\"http://ns.dravout.example/inks/1.0/\">\n" +
         (standard ? plate_names(inks) + spot_swatches(inks) : std::string()) + ink_list(inks) +
         "  </rdf:Description>\n";
}

}  // namespace

std::string plate_xmp(const std::vector<PlateInk>& inks, const std::string& document_packet) {
  const std::size_t end = document_packet.rfind("</rdf:RDF>");
  if (end != std::string::npos && document_packet.find("http://ns.dravout.example/inks/1.0/") == std::string::npos) {
    const bool standard = document_packet.find("PlateNames") == std::string::npos &&
                          document_packet.find("SwatchGroups") == std::string::npos;
    return document_packet.substr(0, end) + description(inks, standard) + document_packet.substr(end);
  }
  if (end != std::string::npos) return document_packet;
  return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
         " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n" +
         description(inks, true) + " </rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?>\n";
}

}  // namespace riphost
