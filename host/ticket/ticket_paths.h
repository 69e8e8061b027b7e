// ticket_paths.h - the files and folders a ticket names: the ticket file
// itself, the device and output folders, and the input files of its
// separations and pages. Private to host/ticket.
#ifndef RIPHOST_TICKET_PATHS_H
#define RIPHOST_TICKET_PATHS_H

#include <filesystem>
#include <string>
#include <vector>

#include "ticket/ticket.h"
#include "ticket/ticket_values.h"

namespace riphost::reading {

// Where the ticket's names are taken against, and, for a confined ticket,
// the folders they must resolve into.
struct Places {
  std::filesystem::path folder;  // relative names are taken against it
  bool confined = false;
  std::vector<std::filesystem::path> roots;  // resolved: the ticket's folder and the allowed ones
  DocumentLimits document_limits;             // for the documents it names
};

// The places of a ticket read from folder. A folder of --allow that cannot
// be resolved is one problem each.
Places make_places(const std::filesystem::path& folder, const TicketOptions& options, Problems& problems);

// The whole text of a ticket file and the folder its names are taken
// against; kStandardInput reads standard input against the working folder.
// False, with one problem, when it cannot be read.
bool read_file_text(const std::filesystem::path& file, std::string& text, std::filesystem::path& folder,
                    Problems& problems);

// The device folder; refused when it is no folder (or, confined, lies
// outside the places' roots).
std::filesystem::path read_device(const Json& root, const Places& places);

// The output folder: the ticket's, or the one given on the command line
// (against the working folder). Refused when it names something else than a
// folder or, the ticket's and confined, lies outside the places' roots; a
// missing one is made before the run.
std::filesystem::path read_output(const Json& root, const Places& places, const TicketOptions& options);

// An input file a separation or page names, resolved against the ticket's
// folder; refused when it is missing or no regular file, or, confined, lies
// outside the places' roots (then the name it resolves to is returned). at
// is the place of the name in the ticket.
std::filesystem::path existing_file(const Places& places, const std::string& text, const std::string& at);

}  // namespace riphost::reading

#endif  // RIPHOST_TICKET_PATHS_H
