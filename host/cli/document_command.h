// document_command.h - riphost DOC.pdf -o OUTDIR: a document to plates.
//
//   riphost DOC -o DIR [--device DIR] [--ppi N] [--pages LIST] [--screens LPI]
//           [--media-box | --trim-box] [--render-only] [--check]
//           [--plugin PATH] [-v | --quiet]
//
// DOC is a PDF, PostScript or EPS file (told by its content). riphost makes
// one job of it, named after the file: every page asked for (all by
// default), at --ppi (2400), with the device folder's default
// configuration (--device, else the example device folder), each ink
// screened with round dots at --screens lines per inch (150) and C 15,
// M 75, Y 0, K 45 degrees, spot colours 45 degrees; a PDF page's size is
// its media box, or its trim box with --trim-box. The document is checked
// first (Ghostscript reads it, the pages exist): a problem there is exit
// status 2 with nothing written.
#ifndef RIPHOST_DOCUMENT_COMMAND_H
#define RIPHOST_DOCUMENT_COMMAND_H

#include <filesystem>
#include <string>

#include "cli/cli.h"

namespace riphost {

// Whether the command line's file is a document rather than a ticket.
bool is_document_command(const CommandLine& line);

// What is wrong when options of a document come with a ticket; empty when
// nothing is.
std::string document_options_problem(const CommandLine& line);

// Checks the document and runs it (or only checks it, or renders its
// contone planes); the exit status as run_riphost's.
int run_document(const CommandLine& line, MessageSink& sink, bool terminal);

// The example device folder: installed beside riphost's share folder, else
// the source tree's. Empty when neither exists.
std::filesystem::path default_device_folder();

}  // namespace riphost

#endif  // RIPHOST_DOCUMENT_COMMAND_H
