// cutting_tags.cpp - transformation, staggered-cutting and CAD cutting tags.
#include "cutting_tags.h"

#include <cstdio>
#include <new>

#include "c_locale.h"

namespace dravout {
namespace {

// Formats the transformation text, then extra, into a buffer of size bytes;
// -1 when it does not fit (nothing is ever written past the buffer).
int format_into(char* buffer, std::size_t size, const PluginState& s, const char* extra) {
  ScopedCLocale c_locale;
  const int n = std::snprintf(buffer, size,
                              "VSHFT=%d HSHFT=%d\nVSCAL=%.6lf HSCAL=%.6lf\nROT=%d\nMIRROR=%d\nVDIST=%.06lf HDIST=%.06lf\n%s",
                              s.vshift, s.hshift, s.vscale, s.hscale, s.rotation, s.tag_mirror, s.vdist, s.hdist,
                              extra);
  if (n < 0 || static_cast<std::size_t>(n) >= size) return -1;
  return n;
}

// Attaches a scrambled text (its bytes, then one zero byte).
int put_scrambled(TavFile* file, const std::string& name, const std::string& text, const std::string& t) {
  const std::string value = scramble(text, t);
  return tav_puttag(file, name.c_str(), static_cast<int>(value.size() + 1), value.c_str());
}

}  // namespace

bool transformation_text(const PluginState& s, std::string* text) {
  char buffer[kTransformationBufferSize];
  const int n = format_into(buffer, sizeof buffer, s, "");
  if (n < 0) return false;
  text->assign(buffer, static_cast<std::size_t>(n));
  return true;
}

std::string scramble(const std::string& text, const std::string& t) {
  std::string out(text);
  if (t.empty()) return out;
  const std::size_t l = t.size();
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char>(static_cast<unsigned char>(out[i]) ^ static_cast<unsigned char>(t[l - 1 - i % l]));
  }
  return out;
}

int write_stagger_tag(PluginState& s) {
  const std::size_t size = static_cast<std::size_t>(s.stagger_all_size) + kTransformationBufferSize;
  char* buffer = new (std::nothrow) char[size]();
  if (buffer == nullptr) {
    report(DRAV_MSG_ERROR, "DRAVOUT: Could not allocate memory for Staggered Cutting info");
    return DRAV_ERR_MEMORY;
  }
  const int n = format_into(buffer, size, s, s.stagger_all != nullptr ? s.stagger_all : "");
  if (n < 0) {
    delete[] buffer;
    report(DRAV_MSG_ERROR, "DRAVOUT: Could not write Staggered Cutting info");
    return DRAV_ERR_OTHER;
  }
  const int result = tav_puttag(s.tavfile, "_KVT_STAGGER", n + 1, buffer);
  delete[] buffer;
  return result;
}

int write_cutting_tags(PluginState& s) {
  std::string t;
  if (!transformation_text(s, &t)) {
    report(DRAV_MSG_ERROR, "DRAVOUT: Could not write transformation info");
    return DRAV_ERR_OTHER;
  }
  int result = tav_puttag(s.tavfile, "_KVT_TRANSFORMATION", static_cast<int>(t.size() + 1), t.c_str());
  try {
    // The staggered cut of the separation's first ink, else the common one.
    // An ink beyond the slots has no text of its own.
    if (!s.sep_inks.empty()) {
      const int32_t k = s.sep_inks.front();
      const std::string* text = nullptr;
      if (k >= 0 && static_cast<std::size_t>(k) < s.stagger_texts.size()) text = &s.stagger_texts[static_cast<std::size_t>(k)];
      if ((text == nullptr || text->empty()) && !s.stagger_texts.empty()) text = &s.stagger_texts[0];
      if (text != nullptr && !text->empty()) result |= put_scrambled(s.tavfile, "_KVT_STAGGEREDCUT", *text, t);
    }
  } catch (const std::bad_alloc&) {
    report(DRAV_MSG_ERROR, "DRAVOUT: Could not allocate memory for Staggered Cutting info");
    return DRAV_ERR_MEMORY;
  }
  for (std::size_t i = 0; i < s.cad_texts.size(); ++i) {
    const std::string& text = s.cad_texts[i];
    if (text.empty()) continue;
    // Ink i is entry i - 1 of the page's inks; a text for an ink the page
    // does not have names no tag.
    if (i == 0 || i > s.xmp_inks.size()) {
      // Said once per job: every separation of the page would repeat it.
      const uint64_t bit = i < 64 ? uint64_t{1} << i : 0;
      if ((s.cad_ignored_reported & bit) == 0) {
        report(DRAV_MSG_WARNING, "CAD cutting text for ink %d ignored: the page has %d inks", static_cast<int>(i),
               static_cast<int>(s.xmp_inks.size()));
        s.cad_ignored_reported |= bit;
      }
      continue;
    }
    std::string name;
    try {
      name = "_KVT_CAD_" + s.xmp_inks[i - 1].cad_name;
      result |= put_scrambled(s.tavfile, name, text, t);
    } catch (const std::bad_alloc&) {
      report(DRAV_MSG_ERROR, "DRAVOUT: Could not allocate memory for CAD info for %s", name.c_str());
      return DRAV_ERR_MEMORY;
    }
  }
  return result;
}

}  // namespace dravout
