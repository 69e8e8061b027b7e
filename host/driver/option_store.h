// option_store.h - the job options as the plug-in asks for them.
//
// A key is looked up without regard to case in the current separation's
// options, then the page's, the job's, the ticket's, and last among the
// values riphost sets itself (DEVICEDIR, OUTDIR, JOBNAME).
#ifndef RIPHOST_OPTION_STORE_H
#define RIPHOST_OPTION_STORE_H

#include <string>
#include <string_view>

#include "ticket/option_value.h"

namespace riphost {

class OptionStore {
 public:
  // The levels in use; null for a level not entered (yet). The sets must
  // outlive their use here.
  void set_ticket(const OptionSet* options) noexcept { ticket_ = options; }
  void set_job(const OptionSet* options) noexcept { job_ = options; }
  void set_page(const OptionSet* options) noexcept { page_ = options; }
  void set_separation(const OptionSet* options) noexcept { separation_ = options; }
  // Sets or replaces a text that riphost provides itself.
  void set_host_text(std::string_view key, std::string value);

  // The value of key at the innermost level that has it, or null.
  const OptionValue* find(std::string_view key) const noexcept;
  // The same option with its place in the ticket, or null.
  const OptionEntry* find_entry(std::string_view key) const noexcept;

  // An integer option; a real is taken only when integral and within the
  // range of int. False (value untouched) when absent or unusable.
  bool get_int(std::string_view key, int& value) const noexcept;
  // A real option; an integer is converted. False when absent or a text.
  bool get_real(std::string_view key, double& value) const noexcept;
  // A text option copied with its zero into buffer, which holds
  // DRAV_OPTION_TEXT_SIZE bytes. A longer text is refused, never cut. False
  // (buffer untouched) when absent, a number or too long.
  bool get_string(std::string_view key, char* buffer) const noexcept;

 private:
  const OptionSet* separation_ = nullptr;
  const OptionSet* page_ = nullptr;
  const OptionSet* job_ = nullptr;
  const OptionSet* ticket_ = nullptr;
  OptionSet host_;
};

}  // namespace riphost

#endif  // RIPHOST_OPTION_STORE_H
