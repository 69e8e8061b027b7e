// cutting_tags.cpp - transformation, staggered-cutting and CAD cutting tags.
#include "cutting_tags.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "c_locale.h"
#include "tag_vocabulary.h"

namespace dravout {
namespace {

// Formats the transformation text, then extra, into a buffer of size bytes;
// -1 when it does not fit (nothing is ever written past the buffer).
int format_into(char* buffer, std::size_t size, const Transformation& t, const char* extra) {
  textutil::ScopedCLocale c_locale;
  const int n = std::snprintf(buffer, size,
                              "VSHFT=%d HSHFT=%d\nVSCAL=%.6lf HSCAL=%.6lf\nROT=%d\nMIRROR=%d\nVDIST=%.06lf HDIST=%.06lf\n%s",
                              t.vshift, t.hshift, t.vscale, t.hscale, t.rotation, t.mirror, t.vdist, t.hdist, extra);
  if (n < 0 || static_cast<std::size_t>(n) >= size) return -1;
  return n;
}

// Attaches a scrambled text (its bytes, then one zero byte).
int put_scrambled(TagSink& sink, const std::string& name, const std::string& text, const std::string& t) {
  const std::string value = tagvocab::scramble(text, t);
  return sink.put(name.c_str(), static_cast<int>(value.size() + 1), value.c_str());
}

// The staggered cut of the separation's first ink, else the common one
// (slot 0); null when neither is given. An ink beyond the slots has no text
// of its own.
const std::string* staggered_cut_text(const CuttingTexts& texts) {
  if (texts.sep_inks.empty()) return nullptr;
  const int32_t k = texts.sep_inks.front();
  const std::string* text = nullptr;
  if (k >= 0 && static_cast<std::size_t>(k) < texts.stagger_texts.size()) {
    text = &texts.stagger_texts[static_cast<std::size_t>(k)];
  }
  if ((text == nullptr || text->empty()) && !texts.stagger_texts.empty()) text = &texts.stagger_texts[0];
  return text != nullptr && !text->empty() ? text : nullptr;
}

// True when ink i has a CAD name on this page. A text for an ink the page
// does not have names no tag; that is said once per job, since every
// separation of the page would repeat it.
bool cad_ink_exists(const TagOutput& out, const CuttingTexts& texts, std::size_t i) {
  if (i != 0 && i <= texts.xmp_inks.size()) return true;
  const uint64_t bit = i < 64 ? uint64_t{1} << i : 0;
  if ((texts.cad_ignored_reported & bit) == 0) {
    drav_message(out.message, DRAV_MSG_WARNING, "CAD cutting text for ink %d ignored: the page has %d inks",
               static_cast<int>(i), static_cast<int>(texts.xmp_inks.size()));
    texts.cad_ignored_reported |= bit;
  }
  return false;
}

// The "_KVT_CAD_" tags of every ink with a CAD text, OR-ed into result; 9
// when a scrambled text cannot be made (the tags before it stay written).
int write_cad_tags(const TagOutput& out, const CuttingTexts& texts, const std::string& t, int result) {
  for (std::size_t i = 0; i < texts.cad_texts.size(); ++i) {
    const std::string& text = texts.cad_texts[i];
    if (text.empty() || !cad_ink_exists(out, texts, i)) continue;
    std::string name;
    try {
      name = tagvocab::cad_tag_name(texts.xmp_inks[i - 1].cad_name);
      result |= put_scrambled(out.sink, name, text, t);
    } catch (const std::bad_alloc&) {
      drav_message(out.message, DRAV_MSG_ERROR, "DRAVOUT: Could not allocate memory for CAD info for %s", name.c_str());
      return DRAV_ERR_MEMORY;
    }
  }
  return result;
}

}  // namespace

bool transformation_text(const Transformation& t, std::string* text) {
  char buffer[kTransformationBufferSize];
  const int n = format_into(buffer, sizeof buffer, t, "");
  if (n < 0) return false;
  text->assign(buffer, static_cast<std::size_t>(n));
  return true;
}

int write_stagger_tag(const TagOutput& out, const Transformation& t, const char* stagger_all) {
  if (stagger_all == nullptr) stagger_all = "";
  const std::size_t size = std::strlen(stagger_all) + 1 + kTransformationBufferSize;
  char* buffer = new (std::nothrow) char[size]();
  if (buffer == nullptr) {
    drav_message(out.message, DRAV_MSG_ERROR, "DRAVOUT: Could not allocate memory for Staggered Cutting info");
    return DRAV_ERR_MEMORY;
  }
  const int n = format_into(buffer, size, t, stagger_all);
  if (n < 0) {
    delete[] buffer;
    drav_message(out.message, DRAV_MSG_ERROR, "DRAVOUT: Could not write Staggered Cutting info");
    return DRAV_ERR_OTHER;
  }
  const int result = out.sink.put(tagvocab::kStaggerTag, n + 1, buffer);
  delete[] buffer;
  return result;
}

int write_cutting_tags(const TagOutput& out, const Transformation& t, const CuttingTexts& texts) {
  std::string transformation;
  if (!transformation_text(t, &transformation)) {
    drav_message(out.message, DRAV_MSG_ERROR, "DRAVOUT: Could not write transformation info");
    return DRAV_ERR_OTHER;
  }
  int result = out.sink.put(tagvocab::kTransformationTag, static_cast<int>(transformation.size() + 1),
                            transformation.c_str());
  try {
    if (const std::string* text = staggered_cut_text(texts)) {
      result |= put_scrambled(out.sink, tagvocab::kStaggeredCutTag, *text, transformation);
    }
  } catch (const std::bad_alloc&) {
    drav_message(out.message, DRAV_MSG_ERROR, "DRAVOUT: Could not allocate memory for Staggered Cutting info");
    return DRAV_ERR_MEMORY;
  }
  return write_cad_tags(out, texts, transformation, result);
}

}  // namespace dravout
