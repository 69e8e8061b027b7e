// tavinfo_pbm.h - writes the pixels of a TAV file as a binary PBM image.
#ifndef TAVINFO_PBM_H
#define TAVINFO_PBM_H

#include <string>
#include <vector>

#include "tav.h"

namespace tavinfo {

// Checks that out may be written: it does not exist yet or is a regular
// file. A symbolic link, a device, a FIFO, a socket or a folder is refused
// (replacing /dev/null, say, would be a disaster). Returns false with the
// reason in error.
bool OutputAllowed(const std::string& out, std::string& error);

// Checks that writing to out ("-": standard output) cannot replace or
// damage input, the file the output is made from: out names the same file
// (also through a hard link or a symbolic link; compared by device and
// inode, never by name). Returns false with the reason in error, naming
// what would be written (what, e.g. "the PNG preview").
bool OutputSpares(const std::string& out, const std::string& input, const char* what, std::string& error);

// Writes reader's image to out as a P4 PBM (1 = black = ink; for 8-bit files
// a sample of 128 or more is black), row by row. out "-" is standard output.
// Otherwise out must pass OutputAllowed; the image goes to a temporary file
// beside out that is renamed to out at the end, so a failure leaves no
// partial file under out. OutputSpares(out, input) is checked again just
// before the rename. Returns false with the reason in error.
bool WritePbm(tav::TavReader& reader, const std::string& out, const std::string& input, std::string& error);

// Writes bytes to out as WritePbm writes its picture: "-" is standard
// output; otherwise a regular file, written beside and renamed into place.
bool WriteBytes(const std::vector<uint8_t>& bytes, const std::string& out, const std::string& input,
                std::string& error);

}  // namespace tavinfo

#endif  // TAVINFO_PBM_H
