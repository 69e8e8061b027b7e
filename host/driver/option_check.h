// option_check.h - checking the ticket's options against what is declared.
//
// After dravout_open, every option of the ticket, its jobs, pages and
// separations must be known, by name without regard to case, either to the
// plug-in's merged option list or to riphost's own parameter table, and its
// value must suit the declared type: a real takes an integer or a real, an
// integer takes an integer (or an integral real), a string takes a text.
#ifndef RIPHOST_OPTION_CHECK_H
#define RIPHOST_OPTION_CHECK_H

#include <string>
#include <string_view>
#include <vector>

#include "drav_host.h"
#include "ticket/ticket.h"

namespace riphost {

// riphost's own parameter table: options the plug-in reads without declaring
// them, and the ones riphost sets itself. Ends with a null key.
extern const DravOptionDecl kHostParameters[];

// One message per unknown or ill-typed option, in ticket order, e.g.
// "jobs[0].options.LEFT: LEFT expects an integer, found a text" or
// "jobs[0].options: unknown option \"OFORMT\" (did you mean OFORMAT?)".
// merged may be null (no list).
std::vector<std::string> check_options(const Ticket& ticket, const DravOptionDecl* merged);

// The known option (merged list, then the host's table) nearest to key when
// it is close enough to be a likely slip of the keyboard, else "". Compared
// without regard to case.
std::string nearest_option(std::string_view key, const DravOptionDecl* merged);

}  // namespace riphost

#endif  // RIPHOST_OPTION_CHECK_H
