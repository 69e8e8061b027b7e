// run_report.cpp - the device description and job settings in words.
#include "driver/run_report.h"

#include <cmath>
#include <cstring>

#include "driver/containers.h"

namespace riphost {

namespace {

// What a device description entry means; value is its number (0 when it
// has none).
std::string device_note(const std::string& key, double value, bool several_resolutions) {
  if (key == "dpi_h" || key == "dpi_v") {
    return several_resolutions ? "default; each job runs at its own ppi" : "the only resolution";
  }
  if (key == "multiple_dpi") return value != 0.0 ? "jobs may choose their resolution" : "one resolution only";
  if (key == "maxwidth" || key == "maxheigth") {
    return value >= 1e300 ? "no limit of its own: the film of the job's configuration limits the page" : "pixels";
  }
  if (key == "maxbps" || key == "bps") return "bits per pixel of the rows it takes";
  if (key == "nplanes") return "separations are sent one at a time, each to a file of its own";
  if (key == "multiple_copies") return value != 0.0 ? "it makes the copies itself" : "";
  return "";
}

// The number an entry holds, 0 for any other kind.
double number_of(const CUnivType& value) {
  if (value.GetKind() == CUnivType::Kind::Integer) return value.AsInt();
  if (value.GetKind() == CUnivType::Kind::Real) return value.AsReal();
  return 0.0;
}

// What a setting means for the output, where riphost can say it in words.
std::string setting_note(const std::string& key, const OptionValue* value) {
  const auto* integer = value ? std::get_if<std::int64_t>(value) : nullptr;
  if (iequals(key, "LEFT")) {
    return integer && *integer != 0 ? "rows are stored as rendered"
                                    : "rows are stored mirrored (right-reading when exposed)";
  }
  if (iequals(key, "REVERSE") && integer && *integer != 0) return "ink and paper are swapped";
  if (iequals(key, "CONF") && !value) return "the device file's default configuration";
  if (iequals(key, "dravout_addpngpreview")) return integer && *integer != 0 ? "with a PNG preview" : "no preview";
  return "";
}

}  // namespace

std::string plugin_default(const std::string& key) {
  static const char* const kDefaults[][2] = {
      {"RES", "1000"},          {"REVERSE", "0"},
      {"OFORMAT", "\"FW8B\""},  {"OCOMPRESS", "\"FLATE\""},
      {"dravout_addpngpreview", "0"}, {"dravout_outputpagepngpreview", "0"},
      {"dravout_resolutionpngpreview", "1000"}, {"JOB_MBOT", "0"},
      {"JOB_MLFT", "0"},        {"SCALE", "\"1.0, 1.0\""},
      {"ROT", "0"},             {"SHREXP", "\"10000, 10000\""},
      {"outputpage", "1"},      {"JOBNAME", "\"job\""},
      {"OUTDIR", "\".\""},
  };
  for (const auto& entry : kDefaults) {
    if (iequals(entry[0], key)) return entry[1];
  }
  return "";
}

void describe_device(const CDictContainer* devinfo, MessageSink& sink) {
  if (!devinfo) {
    sink.warning("the plug-in gave no device description");
    return;
  }
  try {
    const auto& entries = devinfo->GetDict().Entries();
    bool several_resolutions = false;
    for (const auto& [key, value] : entries) {
      if (key == "multiple_dpi") several_resolutions = number_of(value) != 0.0;
    }
    sink.info("the plug-in describes its device as follows (its own description, which the device file does not change):");
    for (const auto& [key, value] : entries) {
      const std::string note = device_note(key, number_of(value), several_resolutions);
      sink.info("device: %s = %s%s%s%s", key.c_str(), describe_value(value).c_str(), note.empty() ? "" : " (",
                note.c_str(), note.empty() ? "" : ")");
    }
  } catch (const CUnivBaseException& error) {
    sink.warning("cannot list the device description: %s", error.GetMessage().c_str());
  }
}

void describe_job_settings(const Job& job, const OptionStore& options, const std::vector<std::string>& asked,
                           MessageSink& sink) {
  for (const std::string& key : asked) {
    const OptionEntry* entry = options.find_entry(key);
    const std::string note = setting_note(key, entry ? &entry->value : nullptr);
    const std::string meaning = note.empty() ? "" : ": " + note;
    if (entry) {
      const bool own = entry->where == "riphost";
      sink.info("%s: %s = %s (%s)%s", job.where.c_str(), key.c_str(), format_value(entry->value).c_str(),
                own ? "set by riphost" : entry->where.c_str(), meaning.c_str());
      continue;
    }
    const std::string fallback = plugin_default(key);
    if (fallback.empty()) {
      sink.info("%s: %s not set (default)%s", job.where.c_str(), key.c_str(), meaning.c_str());
    } else {
      sink.info("%s: %s = %s (default)%s", job.where.c_str(), key.c_str(), fallback.c_str(), meaning.c_str());
    }
  }
}

}  // namespace riphost
