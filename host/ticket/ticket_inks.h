// ticket_inks.h - what the ticket tells the plug-in about inks: the XMP
// packets of pages and separations, a separation's colours ("inks") and a
// job's cutting texts. Private to host/ticket.
#ifndef RIPHOST_TICKET_INKS_H
#define RIPHOST_TICKET_INKS_H

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ticket/ticket.h"
#include "ticket/ticket_values.h"

namespace riphost::reading {

// The XMP files read so far, by their full name: a file that several pages
// or separations name is read and kept once.
using XmpFiles = std::map<std::string, XmpText>;

// A page's "xmp": the packet in the file it names (against folder).
void read_page_xmp(const Json& object, const std::string& where, const std::filesystem::path& folder,
                   XmpFiles& files, Page& page, Problems& problems);

// A separation's XMP packet: "xmp" (the text itself) or "xmp_file" (a file).
void read_separation_xmp(const Json& object, const std::string& where, const std::filesystem::path& folder,
                         XmpFiles& files, Separation& separation, Problems& problems);

// A separation's "inks": colours {"ink": name, "group": name}.
void read_inks(const Json& object, const std::string& where, Separation& separation, Problems& problems);

// A job's "cutting": {"SCPAll": text, "SCP<n>": text, "CCP<n>": text}.
std::vector<CuttingText> read_cutting(const Json& object, const std::string& where, Problems& problems);

}  // namespace riphost::reading

#endif  // RIPHOST_TICKET_INKS_H
