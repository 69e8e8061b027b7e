// cutting_tags.h - the transformation and cutting tags of a separation file.
//
// "_KVT_STAGGER": the job's transformation text followed by its common
// staggered-cutting text. "_KVT_TRANSFORMATION": the transformation text.
// "_KVT_STAGGEREDCUT": the staggered-cutting text of the separation's first
// ink, scrambled with the transformation text. "_KVT_CAD_<cad name>": each
// ink's CAD cutting text, scrambled likewise.
#ifndef TAGS_CUTTING_TAGS_H
#define TAGS_CUTTING_TAGS_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "plugin_state.h"

namespace dravout {

// Size of the buffer the transformation text is formatted into.
inline constexpr std::size_t kTransformationBufferSize = 1024;

// The transformation text of the job settings ("VSHFT=... HDIST=...\n"),
// formatted in the "C" locale. False when it does not fit its 1024 bytes.
bool transformation_text(const PluginState& s, std::string* text);

// Scrambles text with the transformation text t: byte i is text[i] XOR
// t[L - 1 - (i mod L)]. The same call unscrambles.
std::string scramble(const std::string& text, const std::string& t);

// "_KVT_STAGGER": the result of tav_puttag, 9 without memory, 17 when the
// text cannot be formatted.
int write_stagger_tag(PluginState& s);

// "_KVT_TRANSFORMATION", "_KVT_STAGGEREDCUT" and the "_KVT_CAD_" tags: the
// bitwise OR of the tav_puttag results, 17 when the transformation text
// cannot be formatted, 9 without memory.
int write_cutting_tags(PluginState& s);

}  // namespace dravout

#endif  // TAGS_CUTTING_TAGS_H
