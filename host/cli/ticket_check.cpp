// ticket_check.cpp - device file, output folder and option checks.
#include "cli/ticket_check.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <system_error>

#include "dravoututil.h"
#include "common/host_error.h"
#include "driver/driver.h"

namespace riphost {

namespace {

namespace fs = std::filesystem;

// Room for the device check's reason.
constexpr int kDeviceErrorSize = 2048;

// The CONF text a job runs with: the job's, else the ticket's; empty for
// the file's default. False when CONF is no text (the option check reports
// that).
bool job_configuration(const OptionSet& job_options, const OptionSet& ticket_options, std::string& name) {
  const OptionEntry* conf = job_options.find("CONF");
  if (!conf) conf = ticket_options.find("CONF");
  if (!conf) {
    name.clear();
    return true;
  }
  const auto* text = std::get_if<std::string>(&conf->value);
  if (!text) return false;
  name = *text;
  return true;
}

// Appends problem unless it is there already.
void add_once(std::vector<std::string>& problems, std::string problem) {
  if (std::find(problems.begin(), problems.end(), problem) == problems.end()) problems.push_back(std::move(problem));
}

// Why riphost may not make files in folder, or "" when it may.
std::string unwritable_reason(const fs::path& folder) {
  if (access(folder.c_str(), W_OK | X_OK) == 0) return "";
  return std::generic_category().message(errno);
}

}  // namespace

// One check per distinct configuration name.
void check_device(const Ticket& ticket, std::vector<std::string>& problems) {
  if (ticket.device_dir.empty()) return;
  std::vector<std::string> names;
  auto note = [&](const OptionSet& job_options) {
    std::string name;
    if (!job_configuration(job_options, ticket.options, name)) return;
    for (const std::string& seen : names) {
      if (iequals(seen, name)) return;
    }
    names.push_back(std::move(name));
  };
  for (const Job& job : ticket.jobs) note(job.options);
  if (ticket.jobs.empty()) note(OptionSet());
  std::vector<std::string> found;
  for (const std::string& name : names) {
    char error[kDeviceErrorSize] = "";
    int status = dravoututil_checkdevice(ticket.device_dir.c_str(), name.empty() ? nullptr : name.c_str(), error,
                                         static_cast<int>(sizeof error));
    if (status == 0) continue;
    error[sizeof error - 1] = '\0';
    std::string reason = error[0] ? std::string(error)
                                  : "the device file in " + ticket.device_dir.string() + " cannot be used";
    add_once(found, "device: " + reason);
  }
  problems.insert(problems.end(), found.begin(), found.end());
}

// The folder itself when it exists, else its nearest existing parent.
void check_output_folder(const Ticket& ticket, std::vector<std::string>& problems) {
  const fs::path& output = ticket.output_dir;
  if (output.empty()) return;
  std::error_code error;
  fs::file_status status = fs::status(output, error);
  if (fs::exists(status)) {
    if (!fs::is_directory(status)) return;  // reported when the ticket was read
    std::string why = unwritable_reason(output);
    if (!why.empty()) problems.push_back("output: cannot write into " + output.string() + ": " + why);
    return;
  }
  fs::path parent = output.parent_path();
  while (!parent.empty() && parent != parent.root_path() && !fs::exists(fs::status(parent, error))) {
    parent = parent.parent_path();
  }
  if (parent.empty()) return;
  if (!fs::is_directory(fs::status(parent, error))) {
    problems.push_back("output: cannot create " + output.string() + ": " + parent.string() + " is not a folder");
    return;
  }
  std::string why = unwritable_reason(parent);
  if (!why.empty()) {
    problems.push_back("output: cannot create " + output.string() + " in " + parent.string() + ": " + why);
  }
}

// The driver's check: the plug-in through every job and page, no file.
void check_plugin_options(const PluginApi& api, const Ticket& ticket, MessageSink& sink,
                          std::vector<std::string>& problems) {
  // The jobs are driven only for a ticket that passed the earlier checks.
  const bool drive_jobs = problems.empty();
  Driver driver(api, ticket, sink, false);
  driver.check(problems, drive_jobs);
}

// create_directories, with the reason in the error.
void create_output_folder(const Ticket& ticket) {
  std::error_code error;
  fs::create_directories(ticket.output_dir, error);
  if (error) throw HostError("output: cannot create folder " + ticket.output_dir.string() + ": " + error.message());
}

}  // namespace riphost
