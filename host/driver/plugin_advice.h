// plugin_advice.h - riphost's own line after a terse text of the plug-in:
// the place in the ticket and the fix.
//
// The plug-in's messages are the system's and stay as they are
// ("Invalid format (TIFF) chosen", "Job width too big (80000 > 70392)").
// The plug-in hands riphost each message as its printf format and
// arguments, so riphost knows which message it is from the format alone;
// for the ones a user can fix in the ticket it adds one line, e.g.
//
//   jobs[0].options.OFORMAT: "TIFF" is no TAV format: give "FW8B" (1 bit
//       per pixel, the default), "FW88B" (8 bits per pixel) or "FW16B"
//   jobs[0].pages[0]: the page is 80000 pixels wide, 846.7 mm (33.33 in) at
//       2400 ppi; film Plate-A of configuration CTP-2400 takes at most 70392
//       pixels, 762 mm (30 in)
//
// with the sizes in millimetres and inches, the film's name and the
// resolutions the configuration has, read from the device file.
#ifndef RIPHOST_PLUGIN_ADVICE_H
#define RIPHOST_PLUGIN_ADVICE_H

#include <cstdarg>
#include <filesystem>
#include <optional>
#include <string>

#include "driver/device_facts.h"
#include "driver/option_store.h"
#include "ticket/ticket.h"

namespace riphost {

// What riphost is doing while the plug-in speaks; the driver keeps it up to
// date. Null: not inside such a level.
struct AdviceContext {
  const OptionStore* options = nullptr;
  const Job* job = nullptr;
  const Page* page = nullptr;
  std::filesystem::path device_dir;  // read for the films and resolutions
};

class PluginAdvisor {
 public:
  explicit PluginAdvisor(const AdviceContext& context) noexcept : context_(context) {}

  // The line for a message of the plug-in given as its format and
  // arguments (read here), or "" when riphost has nothing to add.
  std::string advise(const char* format, va_list args);

 private:
  std::string bad_format(va_list args) const;
  std::string bad_compression(va_list args) const;
  std::string unreadable_device();
  std::string missing_resolution(va_list args);
  std::string page_too_big(va_list args, bool width);
  std::string missing_film(va_list args);
  std::string bad_rotation(va_list args) const;
  std::string bad_pair(va_list args, bool scale) const;
  std::string trailing_text(va_list args) const;
  std::string bad_margin(va_list args) const;
  std::string bad_bps(va_list args) const;
  // The option's place, e.g. "jobs[0].options.OFORMAT"; key alone when the
  // ticket does not give it.
  std::string place_of(const char* key) const;
  std::string configuration_name() const;
  const DeviceFacts* facts();

  const AdviceContext& context_;
  std::optional<DeviceFacts> facts_;
  bool facts_read_ = false;
};

// A length of pixels at ppi in millimetres and inches: "846.7 mm (33.33 in)".
std::string describe_length(double pixels, double ppi);

}  // namespace riphost

#endif  // RIPHOST_PLUGIN_ADVICE_H
