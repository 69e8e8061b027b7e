// pdf_object_streams.h - the text of a PDF's compressed object streams.
//
// Since PDF 1.5 most objects of a file, graphics states among them, may sit
// in Flate-compressed object streams (/Type /ObjStm), where a look at the
// file's bytes does not see them. This inflates one such stream, found by
// the place of its /ObjStm key, so that it can be looked at the same way.
#ifndef RIPHOST_PDF_OBJECT_STREAMS_H
#define RIPHOST_PDF_OBJECT_STREAMS_H

#include <cstdio>
#include <optional>
#include <string>

namespace riphost {

// The most an object stream may take inflated; a larger one is not read.
constexpr std::size_t kMostObjectStreamBytes = std::size_t{64} << 20;

// The inflated content of the object stream whose dictionary has its /ObjStm
// key at offset of file. Nothing when it is not a Flate stream that inflates
// within kMostObjectStreamBytes.
std::optional<std::string> inflate_object_stream(std::FILE* file, long offset);

}  // namespace riphost

#endif  // RIPHOST_PDF_OBJECT_STREAMS_H
