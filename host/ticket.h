// ticket.h - the job ticket: what riphost sends through the plug-in.
//
// The ticket is a JSON file (docs/job-ticket.md). load_ticket reads and
// checks all of it, opens the header of every image, resolves the folders and
// creates the output folder, so that a ticket that loads runs without
// surprises. Every error names the place in the ticket.
#ifndef RIPHOST_TICKET_H
#define RIPHOST_TICKET_H

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "option_value.h"
#include "content_source.h"

namespace riphost {

struct Separation {
  std::string where;  // "jobs[0].pages[1].separations[2]"
  std::string name;
  ContentSource source;
  OptionSet options;  // includes "outputpage" when the separation gives it
};

struct Page {
  std::string where;
  int width = 0;
  int height = 0;
  int ncopies = 1;
  OptionSet options;
  std::vector<Separation> separations;
};

// Resolution of a job that gives neither "ppi" nor a "RES" option.
inline constexpr double kDefaultPpi = 2400.0;

// Highest resolution a job may give, as "ppi" or through "RES".
inline constexpr double kMaxPpi = 1e6;

struct Job {
  std::string where;
  std::string name;
  double ppi = kDefaultPpi;
  int bps = 1;
  OptionSet options;
  std::vector<Page> pages;
};

struct Ticket {
  std::filesystem::path device_dir;  // absolute
  std::filesystem::path output_dir;  // absolute
  OptionSet options;
  std::vector<Job> jobs;
};

// Option keys that riphost sets itself and a ticket may not give.
inline constexpr const char* kDeviceDirKey = "DEVICEDIR";
inline constexpr const char* kOutDirKey = "OUTDIR";
inline constexpr const char* kJobNameKey = "JOBNAME";

// Reads and checks a ticket file and creates its output folder. Throws
// HostError: a syntax error as "line L, column C: ...", any other error as
// "<place>: ..." (e.g. "jobs[0].pages[1].separations[2].image: file not
// found: x.png"), also when the working folder is gone or memory runs out.
Ticket load_ticket(const std::filesystem::path& file);

// Checks a ticket given as text; folders and images are resolved against
// folder. Creates no folder: a missing output folder is left for load_ticket.
Ticket parse_ticket(std::string_view text, const std::filesystem::path& folder);

}  // namespace riphost

#endif  // RIPHOST_TICKET_H
