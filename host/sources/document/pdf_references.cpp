// pdf_references.cpp - finding a page's external streams and reference forms.
#include "sources/document/pdf_references.h"

#include <algorithm>
#include <set>
#include <string>

namespace riphost {

namespace {

using Handle = QPDFObjectHandle;

// Most bytes of a file name a warning shows.
constexpr std::size_t kMostNameBytes = 200;

// An object still to look at and the key it was found under.
struct Visit {
  Handle object;
  std::string key;
};

// Keys that lead away from what the page draws: up the page tree, to other
// pages, to actions and to metadata.
bool leads_away(const std::string& key) {
  static const std::set<std::string> keys = {"/Parent", "/P",     "/Dest",     "/A",    "/AA",    "/Thumb",
                                             "/B",      "/PA",    "/Metadata", "/Next", "/Prev",  "/First",
                                             "/Last",   "/Popup", "/IRT",      "/StructTreeRoot", "/PieceInfo"};
  return keys.count(key) > 0;
}

// A file name as a message may show it: printable bytes, at most
// kMostNameBytes of them.
std::string printable(const std::string& text) {
  std::string shown;
  for (char c : text.substr(0, kMostNameBytes)) {
    const auto byte = static_cast<unsigned char>(c);
    shown += byte < 0x20 || byte == 0x7f ? '?' : c;
  }
  return text.size() > kMostNameBytes ? shown + "..." : shown;
}

// The file a file reference names: a string, or a dictionary's
// platform-independent name, else one of its platform names.
std::string file_of(Handle spec) {
  if (spec.isString()) return printable(spec.getUTF8Value());
  if (spec.isDictionary()) {
    for (const char* key : {"/UF", "/F", "/Unix", "/DOS", "/Mac"}) {
      if (Handle name = spec.getKey(key); name.isString()) return printable(name.getUTF8Value());
    }
  }
  return "(a file reference without a file name)";
}

// What a stream found under key is, in words.
std::string stream_kind(Handle dict, const std::string& key) {
  Handle subtype = dict.getKey("/Subtype");
  if (subtype.isNameAndEquals("/Image")) return "an image";
  if (subtype.isNameAndEquals("/Form")) return "a form";
  if (key.rfind("/FontFile", 0) == 0) return "a font";
  if (key == "/Contents") return "the page's content";
  return "a stream";
}

// The external file a stream or form names, if any, into found.
void note_external(Handle dict, bool stream, const std::string& key, std::vector<PdfFileReference>& found) {
  PdfFileReference reference;
  Handle ref = dict.getKey("/Ref");
  if (stream && dict.hasKey("/F")) {
    reference = PdfFileReference{stream_kind(dict, key), file_of(dict.getKey("/F"))};
  } else if (dict.getKey("/Subtype").isNameAndEquals("/Form") && ref.isDictionary()) {
    reference = PdfFileReference{"a reference form", file_of(ref.getKey("/F"))};
  } else {
    return;
  }
  const auto same = [&](const PdfFileReference& other) {
    return other.what == reference.what && other.file == reference.file;
  };
  if (std::none_of(found.begin(), found.end(), same)) found.push_back(std::move(reference));
}

}  // namespace

std::vector<PdfFileReference> external_references(Handle page, Handle resources, long& budget) {
  std::vector<PdfFileReference> found;
  std::set<QPDFObjGen> seen;
  // The page is looked at first; the resources it inherits after it.
  std::vector<Visit> stack;
  if (!resources.isNull() && !page.hasKey("/Resources")) stack.push_back(Visit{resources, "/Resources"});
  stack.push_back(Visit{page, ""});
  bool first = true;
  while (!stack.empty() && budget > 0) {
    Visit visit = std::move(stack.back());
    stack.pop_back();
    Handle object = visit.object;
    if (object.isIndirect() && !seen.insert(object.getObjGen()).second) continue;
    --budget;
    if (object.isArray()) {
      for (Handle item : object.aitems()) stack.push_back(Visit{item, visit.key});
      continue;
    }
    const bool stream = object.isStream();
    if (!stream && !object.isDictionary()) continue;
    Handle dict = stream ? object.getDict() : object;
    // Other pages are not this page's content.
    Handle type = dict.getKey("/Type");
    if (!first && (type.isNameAndEquals("/Page") || type.isNameAndEquals("/Pages"))) continue;
    first = false;
    note_external(dict, stream, visit.key, found);
    for (auto& [key, value] : dict.ditems()) {
      if (!leads_away(key) && (value.isIndirect() || value.isArray() || value.isDictionary())) {
        stack.push_back(Visit{value, key});
      }
    }
  }
  return found;
}

std::string external_file_warning(const std::string& name, int page, const PdfFileReference& reference) {
  return name + ": page " + std::to_string(page) + ": " + reference.what + " refers to the external file " +
         reference.file + ", which is not read";
}

}  // namespace riphost
