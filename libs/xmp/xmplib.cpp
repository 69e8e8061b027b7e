// xmplib.cpp - XMPlib on Exempi: parses a page's XMP packet and lists its inks.
#include "xmplib.h"

#include <exempi/xmp.h>

#include <cstdint>
#include <exception>
#include <string_view>
#include <type_traits>
#include <utility>

#include "xmp_filter.h"
#include "xmp_text.h"

namespace {

constexpr const char* kTPgNamespace = "http://ns.adobe.com/xap/1.0/t/pg/";
constexpr const char* kGraphicsNamespace = "http://ns.adobe.com/xap/1.0/g/";
// The swatch group every document has; its swatches belong to no group.
constexpr std::string_view kDefaultSwatchGroup = "Default Swatch Group";
constexpr const char* kNoGroup = "none";

struct XmpFree {
  void operator()(XmpPtr xmp) const noexcept { xmp_free(xmp); }
};
struct XmpStringFree {
  void operator()(XmpStringPtr s) const noexcept { xmp_string_free(s); }
};
using XmpStringHandle = std::unique_ptr<std::remove_pointer_t<XmpStringPtr>, XmpStringFree>;
using XmpHandle = std::unique_ptr<std::remove_pointer_t<XmpPtr>, XmpFree>;

// Exempi, started once per process. The prefixes are the ones Exempi uses for
// our namespaces ("dravInk:", "xmpTPg:", "xmpG:"): property paths must use
// them whatever prefix a packet chose.
struct ExempiState {
  std::string error;     // empty when Exempi is ready
  std::string ink;       // prefix of XMPlib::kInkNamespace
  std::string tpg;       // prefix of kTPgNamespace
  std::string graphics;  // prefix of kGraphicsNamespace
};

bool RegisterPrefix(const char* uri, const char* suggested, std::string& prefix) {
  const XmpStringHandle registered(xmp_string_new());
  if (!registered || !xmp_register_namespace(uri, suggested, registered.get())) return false;
  prefix = xmp_string_cstr(registered.get());
  return !prefix.empty();
}

ExempiState StartExempi() {
  ExempiState state;
  try {
    if (!xmp_init()) {
      state.error = "Exempi could not start (xmp_init failed, error " +
                    std::to_string(xmp_get_error()) + ")";
    } else if (!RegisterPrefix(XMPlib::kInkNamespace, XMPlib::kInkPrefix, state.ink) ||
               !RegisterPrefix(kTPgNamespace, "xmpTPg", state.tpg) ||
               !RegisterPrefix(kGraphicsNamespace, "xmpG", state.graphics)) {
      state.error = "Exempi could not register the ink namespaces (error " +
                    std::to_string(xmp_get_error()) + ")";
    }
  } catch (const std::exception& e) {
    state.error = std::string("Exempi could not start: ") + e.what();
  }
  return state;
}

// Thread-safe: the first caller starts Exempi, every later one waits for it.
// Exempi is never terminated: other code in the process may still use it.
const ExempiState& Exempi() {
  static const ExempiState state = StartExempi();
  return state;
}

std::string ParseErrorText(int code) {
  switch (code) {
    case -201: return "not well-formed XML";
    case -202: return "not valid RDF";
    case -203: return "not valid XMP";
    case -205: return "not valid Unicode";
    case -15: return "out of memory";
    default: return "Exempi error " + std::to_string(code);
  }
}


}  // namespace

struct XMPlib::Impl {
  const ExempiState& exempi = Exempi();
  std::string not_ready;  // ErrStr()
  std::string last_error;
  XmpHandle xmp;
  XmpStringHandle value;  // reused for every property read

  // Looks up `path` in namespace `ns`: its option bits, and its text when it
  // is a simple value. False when the packet has no such property.
  bool Read(const std::string& path, const char* ns, std::string* text, std::uint32_t* bits) {
    std::uint32_t options = 0;
    if (!xmp_get_property(xmp.get(), ns, path.c_str(), value.get(), &options)) {
      return false;
    }
    if (bits != nullptr) *bits = options;
    if (text != nullptr) text->assign(xmp_string_cstr(value.get()), xmp_string_len(value.get()));
    return true;
  }

  // The text of a simple field of a struct; empty when missing or not simple.
  std::string Field(const std::string& item, const std::string& prefix, const char* field,
                    const char* ns) {
    std::string text;
    std::uint32_t bits = 0;
    if (!Read(item + "/" + prefix + field, ns, &text, &bits) || !XMP_IS_PROP_SIMPLE(bits)) {
      text.clear();
    }
    return text;
  }

  // True when `path` is an array.
  bool IsArray(const std::string& path, const char* ns) {
    std::uint32_t bits = 0;
    return Read(path, ns, nullptr, &bits) && XMP_IS_PROP_ARRAY(bits);
  }

  // The properties that can give inks, as a packet of their own; false, with
  // last_error set, when the packet is refused.
  bool InkProperties(const std::string& packet, std::string& kept) {
    if (!dravxmp::NestingWithin(packet, XMPlib::kMaxNesting)) {
      last_error = "the XMP packet nests deeper than " + std::to_string(XMPlib::kMaxNesting) +
                   " levels";
      return false;
    }
    const std::vector<dravxmp::PropertyName> properties = {
        {XMPlib::kInkNamespace, "Inks"}, {kTPgNamespace, "SwatchGroups"}, {kTPgNamespace, "PlateNames"}};
    return dravxmp::KeepProperties(packet, properties, dravxmp::kMaxInkNodes, dravxmp::kMaxInkBytes, kept,
                                   last_error);
  }

  // The packet parsed by Exempi; null, with last_error set, when refused.
  XmpHandle Parse(const std::string& text) {
    XmpHandle parsed(xmp_new_empty());
    if (!parsed) {
      last_error = "Exempi could not create a packet (" + ParseErrorText(xmp_get_error()) + ")";
      return nullptr;
    }
    if (!xmp_parse(parsed.get(), text.data(), text.size())) {
      last_error = "Exempi refused the XMP packet (" + ParseErrorText(xmp_get_error()) + ")";
      return nullptr;
    }
    return parsed;
  }

  static std::string Item(const std::string& array, int index) {
    return array + "[" + std::to_string(index) + "]";
  }

  // dravInk:Inks, a Seq of structs with name, type, group, cadName,
  // frequency and angle fields.
  void OwnInks(std::vector<XMPlInk>& out) {
    const std::string& p = exempi.ink;
    const char* ns = XMPlib::kInkNamespace;
    const std::string array = p + "Inks";
    if (!IsArray(array, ns)) return;
    std::uint32_t bits = 0;
    for (int i = 1;; ++i) {
      const std::string item = Item(array, i);
      if (!Read(item, ns, nullptr, &bits)) break;
      if (!XMP_IS_PROP_STRUCT(bits)) continue;
      XMPlInk ink;
      ink.name = Field(item, p, "name", ns);
      if (ink.name.empty()) continue;
      ink.type = Field(item, p, "type", ns);
      ink.group = Field(item, p, "group", ns);
      if (ink.group.empty()) ink.group = kNoGroup;
      ink.cad_name = Field(item, p, "cadName", ns);
      ink.frequency = dravxmp::ReadNumber(Field(item, p, "frequency", ns));
      ink.angle = dravxmp::ReadNumber(Field(item, p, "angle", ns));
      out.push_back(std::move(ink));
    }
  }

  // xmpTPg:SwatchGroups, a Seq of swatch groups (xmpG:groupName,
  // xmpG:Colorants: a Seq of colorants with xmpG:swatchName and xmpG:type).
  void SwatchInks(std::vector<XMPlInk>& out) {
    const char* ns = kTPgNamespace;
    const std::string array = exempi.tpg + "SwatchGroups";
    if (!IsArray(array, ns)) return;
    const std::string& g = exempi.graphics;
    std::uint32_t bits = 0;
    for (int i = 1;; ++i) {
      const std::string group_item = Item(array, i);
      if (!Read(group_item, ns, nullptr, &bits)) break;
      if (!XMP_IS_PROP_STRUCT(bits)) continue;
      std::string group = Field(group_item, g, "groupName", ns);
      if (group.empty() || group == kDefaultSwatchGroup) group = kNoGroup;
      const std::string colorants = group_item + "/" + g + "Colorants";
      if (!IsArray(colorants, ns)) continue;
      for (int c = 1;; ++c) {
        const std::string colorant = Item(colorants, c);
        if (!Read(colorant, ns, nullptr, &bits)) break;
        if (!XMP_IS_PROP_STRUCT(bits)) continue;
        XMPlInk ink;
        ink.name = Field(colorant, g, "swatchName", ns);
        if (ink.name.empty()) continue;
        ink.type = Field(colorant, g, "type", ns);
        ink.group = group;
        out.push_back(std::move(ink));
      }
    }
  }

  // xmpTPg:PlateNames, a Seq of plate names: inks of no group.
  void PlateInks(std::vector<XMPlInk>& out) {
    const char* ns = kTPgNamespace;
    const std::string array = exempi.tpg + "PlateNames";
    if (!IsArray(array, ns)) return;
    std::uint32_t bits = 0;
    std::string name;
    for (int i = 1;; ++i) {
      if (!Read(Item(array, i), ns, &name, &bits)) break;
      if (!XMP_IS_PROP_SIMPLE(bits) || name.empty()) continue;
      XMPlInk ink;
      ink.name = name;
      ink.group = kNoGroup;
      out.push_back(std::move(ink));
    }
  }
};

XMPlib::XMPlib() : impl_(std::make_unique<Impl>()) {
  if (!impl_->exempi.error.empty()) {
    impl_->not_ready = impl_->exempi.error;
    return;
  }
  impl_->value.reset(xmp_string_new());
  if (!impl_->value) impl_->not_ready = "Exempi could not allocate a string";
}

XMPlib::~XMPlib() = default;

const std::string& XMPlib::ErrStr() const noexcept { return impl_->not_ready; }

const std::string& XMPlib::LastError() const noexcept { return impl_->last_error; }

bool XMPlib::SetXML(const std::string& packet) {
  Impl& m = *impl_;
  m.xmp.reset();
  try {
    m.last_error.clear();
    if (!ErrStr().empty()) {
      m.last_error = ErrStr();
      return false;
    }
    if (packet.empty()) {
      m.last_error = "the XMP packet is empty";
      return false;
    }
    if (packet.size() > kMaxPacketBytes) {
      m.last_error = "the XMP packet is larger than " + std::to_string(kMaxPacketBytes >> 20) +
                     " MiB";
      return false;
    }
    if (packet.find('\0') != std::string::npos) {
      m.last_error = "the XMP packet is not UTF-8 text (it holds NUL bytes)";
      return false;
    }
    // Exempi parses only the properties that can give inks.
    std::string kept;
    if (!m.InkProperties(packet, kept)) return false;
    XmpHandle xmp = m.Parse(kept);
    // Exempi takes a packet without an x:xmpmeta element for an empty one;
    // XMP allows a bare rdf:RDF element, so read that inside one of ours.
    if (xmp && kept.find("xmpmeta") == std::string::npos) {
      xmp = m.Parse(dravxmp::WrapInXmpMeta(kept));
    }
    if (!xmp) return false;
    m.xmp = std::move(xmp);
    return true;
  } catch (const std::exception& e) {
    m.xmp.reset();
    m.last_error.assign("the XMP packet could not be read: ").append(e.what());
    return false;
  }
}

int XMPlib::GetInks(std::vector<XMPlInk>& inks) {
  Impl& m = *impl_;
  try {
    m.last_error.clear();
    if (!m.xmp) {
      m.last_error = "no XMP packet was accepted";
      return 0;
    }
    std::vector<XMPlInk> found;
    m.OwnInks(found);
    if (found.empty()) m.SwatchInks(found);
    if (found.empty()) m.PlateInks(found);
    // All or nothing: the inks go to the caller only once every one is read.
    inks.reserve(inks.size() + found.size());
    for (XMPlInk& ink : found) inks.push_back(std::move(ink));
    return static_cast<int>(found.size());
  } catch (const std::exception& e) {
    m.last_error.assign("the inks could not be read: ").append(e.what());
    return 0;
  }
}
