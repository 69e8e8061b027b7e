// ticket_screens.h - everything of the ticket that names riphost's AM
// screens: the ticket's and the jobs' "screens" and "default_screen", the
// "screen_handles", a separation's "screens" and "uses", its "screen_areas"
// and the "requested_screens" it asks the plug-in to match. Private to
// host/ticket.
#ifndef RIPHOST_TICKET_SCREENS_H
#define RIPHOST_TICKET_SCREENS_H

#include <string>
#include <unordered_map>
#include <vector>

#include "ticket/ticket.h"
#include "ticket/ticket_values.h"

namespace riphost::reading {

// The screens a job's separations choose from, and its default.
struct JobScreens {
  std::vector<ScreenSpec>* screens = nullptr;
  std::unordered_map<std::string, std::size_t> index;  // name -> place in screens
  std::string default_name;   // "default_screen" of the job or the ticket; empty: none given
  std::string default_where;  // where it was given
};

// The ticket's "screens" (into ticket.screens_of_ticket), "default_screen"
// (into defaults) and "screen_handles".
void read_ticket_screens(const Json& root, Ticket& ticket, JobScreens& defaults, Problems& problems);

// A job's screens: the ticket's, replaced or followed by the job's own
// "screens", and its default ("default_screen", else the ticket's). An
// unknown default is one problem; the separations then fall back.
JobScreens read_job_screens(const Json& value, const std::string& where, const Ticket& ticket,
                            const JobScreens& defaults, Job& job, Problems& problems);

// One problem when the last of the job's screen handles does not fit 32 bits.
void check_screen_handles(const Job& job, const Ticket& ticket, Problems& problems);

// A separation's "screens" and "uses"; without "screens", the job's default
// screen used once (added to the job's screens when it is the built-in one).
void read_separation_screens(const Json& object, const std::string& where, JobScreens& job, Separation& separation,
                             Problems& problems);

// A separation's "requested_screens"; without them, the ruling and angle of
// every screen its selection takes, each pair once.
void read_requested_screens(const Json& object, const std::string& where, const JobScreens& job,
                            Separation& separation, Problems& problems);

// A contone separation's "screen_areas": rectangles screened with one of
// the separation's screens (names resolved against them).
void read_screen_areas(const Json& object, const std::string& where, const JobScreens& job, Separation& separation,
                       Problems& problems);

// One problem for each screen a contone separation screens with (its first
// and those of its areas) that cannot be made at the job's ppi.
void check_contone_screens(const std::string& where, const JobScreens& job, double ppi,
                           const Separation& separation, Problems& problems);

}  // namespace riphost::reading

#endif  // RIPHOST_TICKET_SCREENS_H
