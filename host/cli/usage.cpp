// usage.cpp - the help text and usage errors.
#include "cli/usage.h"

#include "common/nearest_name.h"

namespace riphost {

const char* const kHelpText =
    "Usage: riphost [OPTION]... JOB.json\n"
    "  or:  riphost [OPTION]... -o DIR DOC.pdf|DOC.ps|DOC.eps\n"
    "  or:  riphost --query=KEY[=TEXT]... [OPTION]... [JOB.json]\n"
    "  or:  riphost --clean=OUTDIR\n"
    "Run the jobs of a JSON job ticket through the TAV output plug-in, as a RIP\n"
    "would: each separation of each page becomes a TAV raster file (a 1-bit\n"
    "plate) in the ticket's output folder, and a line per page tells the ink share\n"
    "of each separation. Or render the pages of a document (PDF, PostScript or\n"
    "EPS, with Ghostscript) to screened plates, one TAV file per ink.\n"
    "\n"
    "JOB.json is the job ticket (its format: job-ticket.md, see Documentation\n"
    "below); \"-\" reads it from standard input, and its relative names are then\n"
    "taken against the working folder. riphost tells a document from a ticket\n"
    "by its content; anything else (a photo, an office file, an archive, an empty\n"
    "file) is named for what it is, with exit status 2.\n"
    "\n"
    "Options:\n"
    "  -o, --output=DIR     write into DIR instead of the ticket's \"output\" folder\n"
    "      --check          check the ticket, its device file, its output folder\n"
    "                       and what the plug-in would refuse or warn about; list\n"
    "                       every problem and write nothing\n"
    "  -v, --verbose        also say what riphost does: the device, the settings\n"
    "                       of each job and where they come from (\"(default)\"),\n"
    "                       the ink share of each separation\n"
    "  -vv                  also the plug-in's own information and every call\n"
    "                       between riphost and the plug-in\n"
    "  -q, --quiet          print only errors and warnings\n"
    "      --plugin=PATH    the plug-in to load (default: libdravout.so beside\n"
    "                       riphost, else the installed one)\n"
    "      --confine        for tickets from others: every file and folder the\n"
    "                       ticket names must lie, links followed, in the\n"
    "                       ticket's folder or an --allow folder\n"
    "      --allow=DIR      with --confine: DIR may be named too (repeatable)\n"
    "      --query=KEY      ask the plug-in instead of running the ticket and\n"
    "                       print \"KEY: answer\" (version, gamma, left,\n"
    "                       OutputFileName, outputdevice_resolutionlist);\n"
    "                       KEY=TEXT hands the plug-in TEXT and prints yes or no\n"
    "                       (--query='screeningtechnology=NovaDot|NovaDot'); with\n"
    "                       a ticket its first job is started first\n"
    "      --clean=OUTDIR   remove the temporary files that killed runs left in\n"
    "                       OUTDIR, and their private folders in $TMPDIR (else\n"
    "                       /tmp)\n"
    "  -h, --help           display this help and exit\n"
    "      --version        output version information and exit\n"
    "\n"
    "Options for a document (documents.md):\n"
    "      --device=DIR     the device folder (default: the example's)\n"
    "      --ppi=N          the resolution, pixels per inch (default 2400)\n"
    "      --pages=LIST     the pages to run, e.g. 1-3,7 (default: all)\n"
    "      --screens=LPI    the ruling of the round-dot screens (default 150; C 15,\n"
    "                       M 75, Y 0, K 45 degrees, spot colours 45)\n"
    "      --media-box      a PDF page's size is its media box (the default)\n"
    "      --trim-box       a PDF page's size is its trim box (its media box when\n"
    "                       it has none)\n"
    "      --render-only    write each ink as an 8-bit grey TIFF instead of plates\n"
    "      --password=TEXT  the password that opens an encrypted PDF\n"
    "\n"
    "Limits for every document, of the command line or a ticket (documents.md):\n"
    "      --memory-limit=SIZE  the most memory Ghostscript may take for a\n"
    "                       document, e.g. 4G or 800M (default: half of the\n"
    "                       machine's memory); a page that needs more fails\n"
    "      --page-time-limit=SECONDS  the longest Ghostscript may spend on one\n"
    "                       page (default: no limit); a page that takes longer\n"
    "                       fails and riphost ends at once with status 1\n"
    "\n"
    "Exit status:\n"
    "  0    all fine\n"
    "  1    an operation failed\n"
    "  2    bad usage, a ticket that does not pass the checks, or a plug-in that\n"
    "       cannot be loaded\n"
    "  130  stopped by SIGINT (143 by SIGTERM, 129 by SIGHUP)\n"
    "\n"
    "Documentation:\n"
    "  job-ticket.md        the job ticket: its format, the checks, the messages\n"
    "  device-file.md       the device folder and its device.toml\n"
    "  plugin-options.md    every option the plug-in reads\n"
    "  documents.md         running a PDF, PostScript or EPS document\n"
    "\n"
    "The documents are in share/doc/dravout of the installation and in docs/ of\n"
    "the source tree; share/dravout/examples holds an example ticket with its\n"
    "device folder.\n";

void print_usage_error(std::FILE* err, const std::string& problem) {
  std::fprintf(err, "riphost: error: %s\nTry 'riphost --help' for more information.\n", problem.c_str());
}

std::string nearest_command_option(const std::string& arg) {
  static const char* const kOptions[] = {"--output", "--check",  "--verbose", "--quiet",   "--plugin",
                                         "--confine", "--allow", "--query",   "--clean",   "--help",
                                         "--version", "--device", "--ppi",    "--pages",   "--screens",
                                         "--render-only", "--media-box", "--trim-box", "--password",
                                         "--memory-limit", "--page-time-limit"};
  const std::string name = arg.substr(0, arg.find('='));
  NearestName nearest(name);
  for (const char* option : kOptions) nearest.consider(option);
  return std::string(nearest.best());
}

}  // namespace riphost
