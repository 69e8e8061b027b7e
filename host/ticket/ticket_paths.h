// ticket_paths.h - the files and folders a ticket names: the ticket file
// itself, the device and output folders, and the input files of its
// separations and pages. Private to host/ticket.
#ifndef RIPHOST_TICKET_PATHS_H
#define RIPHOST_TICKET_PATHS_H

#include <filesystem>
#include <string>

#include "ticket/ticket.h"
#include "ticket/ticket_values.h"

namespace riphost::reading {

// The whole text of a ticket file and the folder its names are taken
// against; kStandardInput reads standard input against the working folder.
// False, with one problem, when it cannot be read.
bool read_file_text(const std::filesystem::path& file, std::string& text, std::filesystem::path& folder,
                    Problems& problems);

// The device folder; refused when it is no folder.
std::filesystem::path read_device(const Json& root, const std::filesystem::path& folder);

// The output folder: the ticket's, or the one given on the command line
// (against the working folder). Refused when it names something else than a
// folder; a missing one is made before the run.
std::filesystem::path read_output(const Json& root, const std::filesystem::path& folder,
                                  const TicketOptions& options);

// An input file a separation or page names, resolved against the ticket's
// folder; refused when it is missing or no regular file. at is the place of
// the name in the ticket.
std::filesystem::path existing_file(const std::filesystem::path& folder, const std::string& text,
                                    const std::string& at);

}  // namespace riphost::reading

#endif  // RIPHOST_TICKET_PATHS_H
