// ticket.h - the job ticket: what riphost sends through the plug-in.
//
// Room host/ticket/: reading and checking the job ticket into the Ticket
// below, one file per concern behind this header (ticket_values, _options,
// _screens, _inks, _content, _paths, the walk in ticket.cpp, the JSON parser
// in ticket_json). It may call common and, to open an image's header or
// know a pattern's parameters, sources; it never loads or calls the
// plug-in, and it creates nothing.
//
// The ticket is a JSON file (docs/job-ticket.md). Reading it checks all of
// it, opens the header of every image and resolves the folders, so that a
// ticket that loads runs without surprises. Every problem is collected, not
// only the first, each as "<place>: <problem>". Reading creates nothing: the
// output folder is made by create_output_folder (ticket_check.h) once every
// check has passed.
#ifndef RIPHOST_TICKET_H
#define RIPHOST_TICKET_H

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ticket/option_value.h"
#include "ticket/content_source.h"
#include "ticket/document_spec.h"
#include "ticket/screen_spec.h"
#include "sources/document/document_limits.h"

namespace riphost {

// A colour of a separation: an ink name and its group ("" = no group).
struct InkName {
  std::string ink;
  std::string group;
};

// A screen a separation asks the plug-in to match against the page's inks:
// frequency (lines per inch) and angle (degrees). Not riphost's own screen.
struct RequestedScreen {
  double frequency = 0.0;
  double angle = 0.0;
};

// An XMP packet's text, shared by every page or separation that names the
// same file.
using XmpText = std::shared_ptr<const std::string>;

struct Separation {
  std::string where;  // "jobs[0].pages[1].separations[2]"
  std::string name;
  ContentSource source;
  OptionSet options;  // includes "outputpage" when the separation gives it
  // The screens of the separation's selection (indexes into the job's
  // screens, duplicates allowed) and their use counts (0: not taken). A
  // separation that names none has the job's default screen, used once.
  std::vector<std::size_t> screens;
  std::vector<std::int32_t> uses;
  // The separation's XMP packet ("xmp" or "xmp_file"); null: none.
  XmpText xmp;
  // Its colours and the screens it asks for, handed to the plug-in as
  // "colorinfo", "screens" and "screenidx".
  std::vector<InkName> inks;
  std::vector<RequestedScreen> requested_screens;
};

struct Page {
  std::string where;
  int width = 0;
  int height = 0;
  int ncopies = 1;
  OptionSet options;
  XmpText xmp;  // the page's XMP packet ("xmp"); null: none
  std::vector<Separation> separations;
  // A page of a document (docs/documents.md): its size, separations and XMP
  // packet come from the rendered page; null for other pages.
  std::shared_ptr<const DocumentPageRef> document;
};

// Resolution of a job that gives neither "ppi" nor a "RES" option. A job
// whose ticket sets "RES" neither for the whole ticket nor for the job gets
// a "RES" option with its resolution, placed at "<job>.ppi": the plug-in
// takes the resolution from RES and must agree with the job's "ppi".
inline constexpr double kDefaultPpi = 2400.0;

// Highest resolution a job may give, as "ppi" or through "RES".
inline constexpr double kMaxPpi = 1e6;

// A cutting text of a job: "SCPAll", "SCP<n>" or "CCP<n>" (n from 1 to
// kMaxInkNumber), handed to the plug-in through dravout_get_param.
struct CuttingText {
  std::string where;  // "jobs[0].cutting.SCP3"
  std::string key;
  std::string text;
};

// Highest ink number a cutting text may name.
inline constexpr int kMaxInkNumber = 63;
// Longest cutting text, and longest XMP packet, in bytes.
inline constexpr std::size_t kMaxCuttingBytes = 1u << 20;
inline constexpr std::uintmax_t kMaxXmpBytes = 16u << 20;

struct Job {
  std::string where;
  std::string name;
  double ppi = kDefaultPpi;
  int bps = 1;
  OptionSet options;
  // The ticket's screens and the job's own (a job's screen replaces a ticket
  // screen of the same name), with the built-in default screen added when a
  // separation needs it and the ticket defines none.
  std::vector<ScreenSpec> screens;
  // "cutting", in the ticket's order.
  std::vector<CuttingText> cutting;
  std::vector<Page> pages;
};

// Largest number of screens of a job and of a separation's selection, of
// a separation's screen areas, colours and requested screens.
inline constexpr std::size_t kMaxScreens = 4096;

// Largest lists a ticket may give, well beyond what a job needs: jobs of a
// ticket, pages of a job, separations of a page, options of one level.
inline constexpr std::size_t kMaxJobs = 4096;
inline constexpr std::size_t kMaxPages = 65536;
inline constexpr std::size_t kMaxSeparations = 1024;
inline constexpr std::size_t kMaxOptions = 1024;

// Most problems a check lists; the check of the ticket stops at the next one
// with a last line saying so.
inline constexpr std::size_t kMaxProblems = 1000;

struct Ticket {
  std::filesystem::path device_dir;  // absolute
  std::filesystem::path output_dir;  // absolute
  OptionSet options;
  std::vector<Job> jobs;
  // Handles of a job's screens: base + index * step ("screen_handles").
  std::uint32_t screen_handle_base = kScreenHandleBase;
  std::uint32_t screen_handle_step = kScreenHandleStep;
  // The ticket's own "screens", which every job starts from.
  std::vector<ScreenSpec> screens_of_ticket;
};

// Option keys that riphost sets itself and a ticket may not give.
inline constexpr const char* kDeviceDirKey = "DEVICEDIR";
inline constexpr const char* kOutDirKey = "OUTDIR";
inline constexpr const char* kJobNameKey = "JOBNAME";

// What the command line changes in a ticket.
struct TicketOptions {
  // Replaces the ticket's "output" (which may then be left out); a relative
  // name is taken against the working folder. Empty: the ticket's.
  std::string output;
  // --confine: every file and folder the ticket names (images, contone and
  // copydot images, XMP files, the device folder and its output folder,
  // unless output replaces it) must resolve, links followed, inside the
  // ticket's folder or one of allowed (--allow; against the working folder).
  // Input files are then opened by the names they resolve to.
  bool confine = false;
  std::vector<std::string> allowed;
  // What Ghostscript may spend on the ticket's documents.
  DocumentLimits document_limits;
};

// Name of the ticket file that stands for standard input.
inline constexpr const char* kStandardInput = "-";

// Largest ticket read, from a file or from standard input.
inline constexpr std::uintmax_t kMaxTicketBytes = 16u << 20;

// Reads a whole ticket from in, refusing more than kMaxTicketBytes. Throws
// HostError when it cannot be read or is too large.
std::string read_ticket_text(std::FILE* in);

// Checks a ticket given as text; folders and images are resolved against
// folder. Every problem is appended to problems ("line L, column C: ..." for
// a syntax error, which ends the check, else "<place>: ..."). Returns what
// could be read: with problems, parts may be missing.
Ticket check_ticket_text(std::string_view text, const std::filesystem::path& folder, const TicketOptions& options,
                         std::vector<std::string>& problems);

// Reads and checks a ticket file; kStandardInput reads standard input, whose
// relative names are taken against the working folder. A file that cannot be
// read is one problem. Otherwise as check_ticket_text.
Ticket check_ticket_file(const std::filesystem::path& file, const TicketOptions& options,
                         std::vector<std::string>& problems);

// As check_ticket_text, but throws TicketError with every problem found.
Ticket parse_ticket(std::string_view text, const std::filesystem::path& folder, const TicketOptions& options = {});

// As check_ticket_file, but throws TicketError with every problem found.
// Creates nothing.
Ticket load_ticket(const std::filesystem::path& file, const TicketOptions& options = {});

}  // namespace riphost

#endif  // RIPHOST_TICKET_H
