// xmp_text.h - the text checks of the XMP library that do not need Exempi:
// the nesting guard run before a packet is parsed, and the reading of numbers.
#ifndef DRAV_XMP_TEXT_H
#define DRAV_XMP_TEXT_H

#include <string>
#include <string_view>

namespace dravxmp {

// True when no XML element of the text nests deeper than `limit` levels.
// Comments, CDATA sections, processing instructions and quoted attribute
// values are skipped, so a '<' inside them does not count. The text is read
// as UTF-8 (or another ASCII-compatible encoding), where no byte of a
// multi-byte character can be taken for markup. Malformed markup may be
// counted too deep (the packet is then refused), never too shallow before the
// point where an XML parser would stop.
bool NestingWithin(std::string_view text, int limit) noexcept;

// The packet inside an x:xmpmeta element of ours, for a packet that is an
// rdf:RDF element without one: Exempi reads only what an x:xmpmeta element
// holds. A leading byte order mark and XML declaration stay in front.
std::string WrapInXmpMeta(std::string_view packet);

// The number in `text`, read in the "C" locale whatever the process or thread
// locale: optional blanks around, an optional sign, decimal point, optional
// exponent ("150", " -45.5 ", "+1e2"). Anything else, a value out of range,
// infinity or NaN gives 0.0.
double ReadNumber(std::string_view text) noexcept;

}  // namespace dravxmp

#endif  // DRAV_XMP_TEXT_H
