// run_report.h - riphost's information lines (-v) in plain words: how the
// plug-in describes its device, and the settings each job runs with, each
// with where it comes from, "(default)" when the ticket does not give it:
//
//   device: dpi_h = 2000 (default; each job runs at its own ppi)
//   jobs[0]: OFORMAT = "FW88B" (jobs[0].options.OFORMAT)
//   jobs[0]: LEFT not set (default): rows are stored mirrored (right-reading
//            when exposed)
#ifndef RIPHOST_RUN_REPORT_H
#define RIPHOST_RUN_REPORT_H

#include <string>
#include <vector>

#include "common/message.h"
#include "drav_dict.h"
#include "driver/option_store.h"
#include "ticket/ticket.h"

namespace riphost {

// Every entry of the plug-in's device description with what it means.
void describe_device(const CDictContainer* devinfo, MessageSink& sink);

// The options the plug-in asked for in the job's settings (asked, in
// order), each with its value and place, or its default.
void describe_job_settings(const Job& job, const OptionStore& options, const std::vector<std::string>& asked,
                           MessageSink& sink);

// The plug-in's value for key when the host does not have it, as a
// message shows it ("\"FW8B\"", "0"); "" when riphost does not know it.
std::string plugin_default(const std::string& key);

}  // namespace riphost

#endif  // RIPHOST_RUN_REPORT_H
