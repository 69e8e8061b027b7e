// xmp_filter.h - the part of an XMP packet that can hold inks, written as a
// small packet of its own before Exempi parses it.
//
// Exempi keeps a node of a few hundred bytes for every element, attribute
// and text of a packet, twice over while it parses: a 16 MiB packet of plate
// names took 500 MB. A page's packet mostly holds other things (history,
// thumbnails, fonts), so the packet is first streamed through expat, which
// holds nothing of what it has passed, and only the properties that can
// give inks go on to Exempi, with a bound on their nodes.
#ifndef DRAV_XMP_FILTER_H
#define DRAV_XMP_FILTER_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dravxmp {

// Most elements, attributes, namespace declarations and texts of the ink
// properties Exempi is given (some 9,000 inks of our namespace, 20,000
// swatches or 30,000 plate names), and most bytes they may take as written
// for it. Exempi needs about 300
// bytes a node and four times the bytes: at most some 40 MiB.
inline constexpr std::size_t kMaxInkNodes = 65536;
inline constexpr std::size_t kMaxInkBytes = std::size_t{4} << 20;

// A top-level XMP property by its namespace URI and local name.
struct PropertyName {
  std::string_view uri;
  std::string_view local;
};

// Writes to out, in UTF-8, a packet holding only
//   - the elements around the rdf:RDF element (their tags and namespace
//     declarations, not their attributes, texts or other children),
//   - rdf:RDF and its descriptions (their namespace declarations and
//     rdf:about; not their other attributes, which are properties),
//   - the properties of the descriptions named in keep, whole, each text in
//     one piece;
// comments, processing instructions, the XML and document type declarations
// and every other property are left out.
//
// Refused (false, with error saying why): not well-formed XML, a document
// type declaration, more than max_nodes elements, attributes, namespace
// declarations and texts or more than max_bytes in what is written. Memory: out, one text and one tag
// of the packet at a time.
bool KeepProperties(std::string_view packet, const std::vector<PropertyName>& keep, std::size_t max_nodes,
                    std::size_t max_bytes, std::string& out, std::string& error);

}  // namespace dravxmp

#endif  // DRAV_XMP_FILTER_H
