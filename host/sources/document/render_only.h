// render_only.h - riphost DOC --render-only: the contone planes as TIFF files.
//
// Instead of plates, riphost writes what it would screen: one 8-bit grey
// TIFF file per ink of each page (Deflate-compressed, the ink value as the
// sample: 0 paper, 255 full ink, shown black), named
// "<document>-p<page>-<ink>.tif" in the output folder (bytes outside
// A-Z a-z 0-9 . _ - as "_"). A file is written under a hidden temporary
// name (".<name>.<host>.<pid>.<n>.tmp", which riphost --clean knows) and
// given its final name when complete; an existing file is never replaced:
// the next free "-2", "-3", ... is taken. The plug-in is not loaded.
#ifndef RIPHOST_RENDER_ONLY_H
#define RIPHOST_RENDER_ONLY_H

#include <filesystem>
#include <vector>

#include "common/message.h"
#include "sources/document/document_facts.h"

namespace riphost {

// Renders the pages into folder (made when missing). Returns 0, 1 when a
// page could not be rendered or written, 128 + the signal's number when a
// stop signal ended it (nothing is left under a temporary name).
int render_only(const DocumentFacts& facts, const std::vector<int>& pages, double ppi, PageBoxChoice box,
                const std::filesystem::path& folder, MessageSink& sink, bool terminal);

}  // namespace riphost

#endif  // RIPHOST_RENDER_ONLY_H
