// xmp_filter.cpp - streams an XMP packet through expat and writes the parts
// that can hold inks as a packet of their own.
#include "xmp_filter.h"

#include <expat.h>

#include <algorithm>
#include <memory>

namespace dravxmp {
namespace {

constexpr std::string_view kRdfUri = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
// Separates URI, local name and prefix in the names expat hands over.
constexpr char kSeparator = '\x01';

// A name as expat hands it with namespace triplets: "uri\1local\1prefix",
// "uri\1local" or "local".
struct Name {
  std::string_view uri;
  std::string_view local;
  std::string_view prefix;
};

Name Split(std::string_view text) {
  Name name;
  const auto first = text.find(kSeparator);
  if (first == std::string_view::npos) {
    name.local = text;
    return name;
  }
  name.uri = text.substr(0, first);
  const auto second = text.find(kSeparator, first + 1);
  name.local = text.substr(first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1);
  if (second != std::string_view::npos) name.prefix = text.substr(second + 1);
  return name;
}

// What the filter does with an element and everything inside it.
enum class Role { Wrapper, Rdf, Description, Kept, Dropped };

struct Filter {
  const std::vector<PropertyName>* keep = nullptr;
  std::size_t max_nodes = 0;
  std::size_t max_bytes = 0;
  XML_Parser parser = nullptr;
  std::string* out = nullptr;
  std::string error;
  std::size_t nodes = 0;
  std::vector<Role> open;     // the role of every open element
  bool had_child = false;     // the innermost open element has a child element
  std::string declarations;   // namespace declarations for the next start tag
  std::string text;           // the text since the last tag, inside kept properties
  bool text_seen = false;

  void Stop(std::string why) {
    if (error.empty()) error = std::move(why);
    XML_StopParser(parser, XML_FALSE);
  }

  // Counts one element, attribute, namespace declaration or text about to be
  // written; false (and stops) past either bound. A text or a value counts
  // with its own size.
  bool Count(std::size_t text_bytes = 0) {
    if (++nodes > max_nodes) {
      Stop("the XMP packet's ink properties hold more than " + std::to_string(max_nodes) +
           " elements, attributes, namespace declarations and texts");
      return false;
    }
    return Fits(text_bytes);
  }

  // False (and stops) when out and bytes more would pass max_bytes.
  bool Fits(std::size_t bytes) {
    if (out->size() + bytes <= max_bytes) return true;
    Stop("the XMP packet's ink properties take more than " + std::to_string(max_bytes >> 20) + " MiB");
    return false;
  }

  bool Kept(const Name& name) const {
    for (const PropertyName& property : *keep) {
      if (property.uri == name.uri && property.local == name.local) return true;
    }
    return false;
  }

  // The role of an element that starts now, from the roles around it.
  Role RoleOf(const Name& name) const {
    if (open.empty() || open.back() == Role::Wrapper) {
      return name.uri == kRdfUri && name.local == "RDF" ? Role::Rdf : Role::Wrapper;
    }
    switch (open.back()) {
      case Role::Rdf: return Role::Description;
      case Role::Description: return Kept(name) ? Role::Kept : Role::Dropped;
      default: return open.back();
    }
  }

  void FlushText(bool before_end_tag);
  void StartTag(const Name& name, const XML_Char** attributes, Role role);
};

void AppendQualified(std::string& out, const Name& name) {
  if (!name.prefix.empty()) out.append(name.prefix).push_back(':');
  out.append(name.local);
}

// An attribute value in the quote that it holds least often.
void AppendAttributeValue(std::string& out, std::string_view value) {
  const auto doubles = std::count(value.begin(), value.end(), '"');
  const auto singles = std::count(value.begin(), value.end(), '\'');
  const char quote = doubles <= singles ? '"' : '\'';
  out.push_back(quote);
  for (const char c : value) {
    switch (c) {
      case '&': out.append("&amp;"); break;
      case '<': out.append("&lt;"); break;
      case '\t': out.append("&#9;"); break;
      case '\n': out.append("&#10;"); break;
      case '\r': out.append("&#13;"); break;
      default:
        if (c == quote) {
          out.append(quote == '"' ? "&quot;" : "&apos;");
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back(quote);
}

// Text as it stands, in a CDATA section when it holds markup characters
// (a "]]>" in it ends one section and starts the next).
void AppendText(std::string& out, std::string_view text) {
  if (text.find_first_of("<&>") == std::string_view::npos) {
    out.append(text);
    return;
  }
  out.append("<![CDATA[");
  std::string_view::size_type from = 0;
  for (auto end = text.find("]]>"); end != std::string_view::npos; end = text.find("]]>", from)) {
    out.append(text.substr(from, end + 2 - from)).append("]]><![CDATA[");
    from = end + 2;
  }
  out.append(text.substr(from)).append("]]>");
}

// Writes the text since the last tag. Blanks between elements are left out
// (Exempi would keep a node for each); blanks that are an element's whole
// value stay.
void Filter::FlushText(bool before_end_tag) {
  const bool blank = text.find_first_not_of(" \t\r\n") == std::string::npos;
  if (text_seen && !(blank && (had_child || !before_end_tag)) && Count(text.size())) AppendText(*out, text);
  // A long text's room is given back: only out keeps a copy.
  if (text.capacity() > (std::size_t{1} << 16)) {
    std::string().swap(text);
  } else {
    text.clear();
  }
  text_seen = false;
}

// A kept element's start tag: its namespace declarations and attributes
// (for a description only rdf:about, for a wrapper or rdf:RDF none).
void Filter::StartTag(const Name& name, const XML_Char** attributes, Role role) {
  out->push_back('<');
  AppendQualified(*out, name);
  out->append(declarations);
  for (std::size_t i = 0; attributes[i] != nullptr; i += 2) {
    const Name attribute = Split(attributes[i]);
    const bool about = attribute.uri == kRdfUri && attribute.local == "about";
    const std::size_t bytes = std::char_traits<char>::length(attributes[i + 1]);
    if (role == Role::Kept ? !Count(bytes) : !(role == Role::Description && about)) continue;
    out->push_back(' ');
    AppendQualified(*out, attribute);
    out->push_back('=');
    AppendAttributeValue(*out, attributes[i + 1]);
  }
  out->push_back('>');
}

Filter& Of(void* data) { return *static_cast<Filter*>(data); }

void XMLCALL OnStart(void* data, const XML_Char* raw, const XML_Char** attributes) {
  Filter& f = Of(data);
  const Name name = Split(raw);
  const Role role = f.RoleOf(name);
  f.open.push_back(role);
  if (role == Role::Dropped) {
    f.declarations.clear();
    return;
  }
  f.FlushText(false);
  f.had_child = false;
  if (!f.Count()) return;
  f.StartTag(name, attributes, role);
  f.declarations.clear();
}

void XMLCALL OnEnd(void* data, const XML_Char* raw) {
  Filter& f = Of(data);
  const Role role = f.open.back();
  f.open.pop_back();
  if (role == Role::Dropped) return;
  f.FlushText(true);
  f.had_child = true;  // for the element around this one
  f.out->append("</");
  AppendQualified(*f.out, Split(raw));
  f.out->push_back('>');
}

void XMLCALL OnText(void* data, const XML_Char* text, int length) {
  Filter& f = Of(data);
  if (f.open.empty() || f.open.back() != Role::Kept) return;
  if (!f.Fits(f.text.size() + static_cast<std::size_t>(length))) return;
  f.text.append(text, static_cast<std::size_t>(length));
  f.text_seen = true;
}

void XMLCALL OnNamespace(void* data, const XML_Char* prefix, const XML_Char* uri) {
  Filter& f = Of(data);
  if (!f.open.empty() && f.open.back() == Role::Dropped) return;
  // Each declaration is a node: Exempi registers every namespace it meets.
  if (!f.Count(uri == nullptr ? 0 : std::char_traits<char>::length(uri))) return;
  f.declarations.append(prefix == nullptr ? " xmlns" : std::string(" xmlns:") + prefix).push_back('=');
  AppendAttributeValue(f.declarations, uri == nullptr ? "" : uri);
}

void XMLCALL OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  Of(data).Stop("the XMP packet holds a document type declaration (DOCTYPE)");
}

struct ParserFree {
  void operator()(XML_Parser parser) const noexcept { XML_ParserFree(parser); }
};

}  // namespace

bool KeepProperties(std::string_view packet, const std::vector<PropertyName>& keep, std::size_t max_nodes,
                    std::size_t max_bytes, std::string& out, std::string& error) {
  out.clear();
  error.clear();
  std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreateNS(nullptr, kSeparator));
  if (!parser) {
    error = "the XML parser could not start (out of memory)";
    return false;
  }
  Filter filter;
  filter.keep = &keep;
  filter.max_nodes = max_nodes;
  filter.max_bytes = max_bytes;
  filter.parser = parser.get();
  filter.out = &out;
  XML_SetReturnNSTriplet(parser.get(), 1);
  XML_SetUserData(parser.get(), &filter);
  XML_SetElementHandler(parser.get(), OnStart, OnEnd);
  XML_SetCharacterDataHandler(parser.get(), OnText);
  XML_SetStartNamespaceDeclHandler(parser.get(), OnNamespace);
  XML_SetStartDoctypeDeclHandler(parser.get(), OnDoctype);
  // Pieces: expat copies what it is given into its own buffer, which then
  // holds a piece and the token that crosses its end. It reads a token that
  // spans pieces again from its start with every piece, so a piece is large
  // enough for a token of the packet's size (a 16 MiB comment) to take a
  // small part of a second.
  constexpr std::size_t kPiece = std::size_t{1} << 20;
  for (std::size_t at = 0;;) {
    const std::size_t size = std::min(kPiece, packet.size() - at);
    const bool last = at + size == packet.size();
    if (XML_Parse(parser.get(), packet.data() + at, static_cast<int>(size), last) != XML_STATUS_OK) {
      error = !filter.error.empty() ? filter.error
                                    : "the XMP packet is not well-formed XML (line " +
                                          std::to_string(XML_GetCurrentLineNumber(parser.get())) + ": " +
                                          XML_ErrorString(XML_GetErrorCode(parser.get())) + ")";
      out.clear();
      return false;
    }
    if (last) return true;
    at += size;
  }
}

}  // namespace dravxmp
