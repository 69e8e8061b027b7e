// ticket_check.h - the checks of a ticket beyond its own text: the device
// file, the output folder and the plug-in's options; and the making of the
// output folder once they all passed.
//
// Every problem is one line "<place>: <problem>", e.g.
// "device: device.toml, line 12: ..." or "output: cannot create
// /srv/out/a: /srv/out is not writable". Nothing here creates anything but
// create_output_folder.
#ifndef RIPHOST_TICKET_CHECK_H
#define RIPHOST_TICKET_CHECK_H

#include <string>
#include <vector>

#include "common/message.h"
#include "driver/plugin_loader.h"
#include "ticket/ticket.h"

namespace riphost {

// Checks the device folder's "device.toml" (dravoututil_checkdevice) with
// the configuration each job would get (its CONF, else the ticket's, else
// the file's default). Each distinct problem is reported once. Nothing is
// checked when the ticket has no usable device folder.
void check_device(const Ticket& ticket, std::vector<std::string>& problems);

// Checks that the output folder can take files: it is a folder riphost may
// write into, or it is missing and its nearest existing parent is such a
// folder, so that it can be made.
void check_output_folder(const Ticket& ticket, std::vector<std::string>& problems);

// Drives the plug-in as a run would, but without separations (Driver::check):
// its option list against the ticket's options (check_options), then every
// job's settings and start and every page's start and end, so that what the
// plug-in refuses or warns about (an unknown OFORMAT, a page wider than the
// film, a resolution the configuration lacks) is a problem, with riphost's
// advice after it. Nothing is written. The plug-in's information goes to
// sink (-vv). The jobs and pages are driven only when problems is empty on
// entry (the earlier checks passed); else only the options are checked.
void check_plugin_options(const PluginApi& api, const Ticket& ticket, MessageSink& sink,
                          std::vector<std::string>& problems);

// Makes the output folder with its missing parents. Throws HostError naming
// the folder and the reason.
void create_output_folder(const Ticket& ticket);

}  // namespace riphost

#endif  // RIPHOST_TICKET_CHECK_H
