// ticket.cpp - the walk through the ticket: its top level, jobs, pages and
// separations, each read by the concern files (values, options, screens,
// inks, content, paths) and every problem collected.
#include "ticket/ticket.h"

#include <new>

#include "sources/image_reader.h"
#include "ticket/ticket_content.h"
#include "ticket/ticket_document.h"
#include "ticket/ticket_inks.h"
#include "ticket/ticket_json.h"
#include "ticket/ticket_options.h"
#include "ticket/ticket_paths.h"
#include "ticket/ticket_screens.h"
#include "ticket/ticket_values.h"

namespace riphost {

namespace fs = std::filesystem;
using namespace reading;

namespace {

// What the pages of one job are read with.
struct JobContext {
  const Places* places = nullptr;  // where input files are taken from
  JobScreens screens;              // the job's screens and default
  XmpFiles* xmp_files = nullptr;   // the ticket's XMP files, each read once
  double ppi = 0.0;                 // the job's resolution, where contone images are placed
};

// A separation's "options", with its "outputpage".
void read_separation_options(const Json& value, const std::string& where, Separation& separation,
                             Problems& problems) {
  if (const Json* options = member(value, "options")) {
    separation.options = read_options(*options, place(where, "options"), problems);
  }
  if (const Json* outputpage = member(value, "outputpage")) {
    problems.attempt([&] {
      std::string at = place(where, "outputpage");
      separation.options.add("outputpage", static_cast<std::int64_t>(to_int(*outputpage, at, 0, 1)), at);
    });
  }
}

// One separation; image_width/height receive the image's size (0 for a
// pattern, kUnknownSide when the content could not be read).
Separation read_separation(const Json& value, const std::string& where, JobContext& job, int& image_width,
                           int& image_height, Problems& problems) {
  Separation separation;
  separation.where = where;
  image_width = kUnknownSide;
  image_height = kUnknownSide;
  if (!problems.attempt([&] { require_object(value, where); })) return separation;
  std::vector<std::string> allowed = {"name", "outputpage", "options", "screens", "uses",
                                      "xmp", "xmp_file", "inks", "requested_screens", kCommentKey};
  problems.attempt([&] { separation.name = to_text(required(value, where, "name"), place(where, "name")); });
  bool source_read =
      problems.attempt([&] { separation.source = read_source(value, where, *job.places, allowed, problems); });
  // The keys allowed depend on the kind of content: unknown without one.
  if (source_read) check_keys(value, where, allowed, problems);
  read_separation_options(value, where, separation, problems);
  read_separation_screens(value, where, job.screens, separation, problems);
  read_separation_xmp(value, where, *job.places, *job.xmp_files, separation, problems);
  read_inks(value, where, separation, problems);
  read_requested_screens(value, where, job.screens, separation, problems);
  if (!source_read) return separation;
  read_screen_areas(value, where, job.screens, separation, problems);
  check_contone_screens(where, job.screens, job.ppi, separation, problems);
  content_size(separation.source, where, job.ppi, image_width, image_height, problems);
  return separation;
}

// One side of a page: given, else the first separation's image size (0 when
// that separation's content is unknown: its problem is reported already).
int page_side(const Json& page, const std::string& where, const char* key, int image_side) {
  if (const Json* value = member(page, key)) return to_int(*value, place(where, key), 1, kMaxImageSide);
  if (image_side > 0) return image_side;
  if (image_side == kUnknownSide) return 0;
  throw HostError(place(where, key) + ": missing (it defaults to the size of the first separation's image, "
                  "but the first separation is a pattern or a gradient)");
}

// The separations of a page; first_width/height receive the first one's
// image size.
void read_separations(const Json& value, const std::string& where, JobContext& job, Page& page, int& first_width,
                      int& first_height, Problems& problems) {
  const Json* separations = member(value, "separations");
  if (!separations) {
    problems.add(place(where, "separations") + ": missing");
    return;
  }
  read_list(*separations, place(where, "separations"), "separations", kMaxSeparations, false, problems,
            [&](const Json& item, const std::string& at) {
              int image_width = 0;
              int image_height = 0;
              page.separations.push_back(read_separation(item, at, job, image_width, image_height, problems));
              if (page.separations.size() == 1) {
                first_width = image_width;
                first_height = image_height;
              }
            });
}

// One page with its separations.
Page read_page(const Json& value, const std::string& where, JobContext& job, Problems& problems) {
  Page page;
  page.where = where;
  if (!problems.attempt([&] { require_object(value, where); })) return page;
  check_keys(value, where, {"width", "height", "ncopies", "options", "xmp", "separations", kCommentKey}, problems);
  read_page_xmp(value, where, *job.places, *job.xmp_files, page, problems);
  int first_width = kUnknownSide;
  int first_height = kUnknownSide;
  read_separations(value, where, job, page, first_width, first_height, problems);
  problems.attempt([&] { page.width = page_side(value, where, "width", first_width); });
  problems.attempt([&] { page.height = page_side(value, where, "height", first_height); });
  if (const Json* ncopies = member(value, "ncopies")) {
    problems.attempt([&] { page.ncopies = to_int(*ncopies, place(where, "ncopies"), 1, 9999); });
  }
  if (const Json* options = member(value, "options")) page.options = read_options(*options, place(where, "options"), problems);
  return page;
}

// A job's "name", "options", "ppi" and "bps". A job for which neither it
// nor the ticket sets RES gets RES = its resolution, so that the plug-in,
// which takes the resolution from RES, works at the job's "ppi".
void read_job_settings(const Json& value, const std::string& where, const OptionSet& ticket_options, Job& job,
                       Problems& problems) {
  problems.attempt([&] { job.name = to_text(required(value, where, "name"), place(where, "name")); });
  if (const Json* options = member(value, "options")) job.options = read_options(*options, place(where, "options"), problems);
  problems.attempt([&] {
    if (const Json* ppi = member(value, "ppi")) {
      job.ppi = to_positive_real(*ppi, place(where, "ppi"), kMaxPpi);
    } else {
      job.ppi = default_ppi(job.options, ticket_options, where);
    }
  });
  if (const Json* bps = member(value, "bps")) {
    problems.attempt([&] { job.bps = to_int(*bps, place(where, "bps"), 1, 32); });
  }
  if (!job.options.find("RES") && !ticket_options.find("RES")) job.options.add("RES", job.ppi, place(where, "ppi"));
}

// One job with its pages.
Job read_job(const Json& value, const std::string& where, const Places& places, const Ticket& ticket,
             const JobScreens& ticket_screens, XmpFiles& xmp_files, Problems& problems) {
  Job job;
  job.where = where;
  if (!problems.attempt([&] { require_object(value, where); })) return job;
  std::vector<std::string> keys = {"name", "ppi", "bps", "options", "screens", "default_screen", "cutting", "pages",
                                   kCommentKey};
  if (names_document(value)) keys.insert(keys.end(), kDocumentJobKeys.begin(), kDocumentJobKeys.end());
  check_keys(value, where, keys, problems);
  JobContext context{&places, read_job_screens(value, where, ticket, ticket_screens, job, problems), &xmp_files};
  read_job_settings(value, where, ticket.options, job, problems);
  context.ppi = job.ppi;
  job.cutting = read_cutting(value, where, problems);
  const Json* pages = member(value, "pages");
  if (names_document(value)) {
    // The job's pages are the document's ("pages" is then a page list).
    read_document_pages(value, where, places, context.screens, xmp_files, false, job.pages, problems);
  } else if (!pages) {
    problems.add(place(where, "pages") + ": missing");
  } else {
    read_list(*pages, place(where, "pages"), "pages", kMaxPages, false, problems, [&](const Json& item, const std::string& at) {
      if (names_document(item)) {
        check_keys(item, at, {"document", "pages", "box", "password", "ink_screens", "ncopies", "options", "xmp", kCommentKey},
                   problems);
        read_document_pages(item, at, places, context.screens, xmp_files, true, job.pages, problems);
      } else {
        job.pages.push_back(read_page(item, at, context, problems));
      }
    });
  }
  check_screen_handles(job, ticket, problems);
  return job;
}

// The ticket's "jobs".
void read_jobs(const Json& root, const Places& places, const JobScreens& ticket_screens, Ticket& ticket,
               Problems& problems) {
  XmpFiles xmp_files;
  const Json* jobs = member(root, "jobs");
  if (!jobs) {
    problems.add("jobs: missing");
    return;
  }
  read_list(*jobs, "jobs", "jobs", kMaxJobs, false, problems, [&](const Json& item, const std::string& at) {
    ticket.jobs.push_back(read_job(item, at, places, ticket, ticket_screens, xmp_files, problems));
  });
}

}  // namespace

// Every level in turn; a part with a problem is skipped, the rest is read.
// Past kMaxProblems the check stops.
Ticket check_ticket_text(std::string_view text, const fs::path& folder, const TicketOptions& options,
                         std::vector<std::string>& list) {
  Problems problems(list, kMaxProblems);
  Ticket ticket;
  Json root;
  if (!problems.attempt([&] { root = parse_json(text); })) return ticket;
  try {
    if (!problems.attempt([&] { require_object(root, "the ticket"); })) return ticket;
    check_keys(root, "", {"device", "output", "options", "screens", "default_screen", "screen_handles", "jobs",
                          kCommentKey},
               problems);
    const Places places = make_places(folder, options, problems);
    problems.attempt([&] { ticket.device_dir = read_device(root, places); });
    problems.attempt([&] { ticket.output_dir = read_output(root, places, options); });
    if (const Json* options_json = member(root, "options")) ticket.options = read_options(*options_json, "options", problems);
    JobScreens ticket_screens;
    read_ticket_screens(root, ticket, ticket_screens, problems);
    read_jobs(root, places, ticket_screens, ticket, problems);
  } catch (const ProblemLimit&) {
    // The list ends with the line that says so.
  }
  return ticket;
}

// The file's text, then the check.
Ticket check_ticket_file(const fs::path& file, const TicketOptions& options, std::vector<std::string>& list) {
  Problems problems(list, kMaxProblems);
  std::string text;
  fs::path folder;
  if (!read_file_text(file, text, folder, problems)) return Ticket();
  return check_ticket_text(text, folder, options, list);
}

// Checks a ticket given as text; all problems in one TicketError.
Ticket parse_ticket(std::string_view text, const fs::path& folder, const TicketOptions& options) {
  std::vector<std::string> problems;
  Ticket ticket;
  try {
    ticket = check_ticket_text(text, folder, options, problems);
  } catch (const std::bad_alloc&) {
    throw HostError("not enough memory to check the ticket");
  }
  if (!problems.empty()) throw TicketError(std::move(problems));
  return ticket;
}

// Reads and checks a ticket file; all problems in one TicketError.
Ticket load_ticket(const fs::path& file, const TicketOptions& options) {
  std::vector<std::string> problems;
  Ticket ticket;
  try {
    ticket = check_ticket_file(file, options, problems);
  } catch (const std::bad_alloc&) {
    throw HostError("not enough memory to check the ticket");
  }
  if (!problems.empty()) throw TicketError(std::move(problems));
  return ticket;
}

}  // namespace riphost
