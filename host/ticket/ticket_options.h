// ticket_options.h - the "options" objects of the ticket's levels, and the
// resolution a job takes from its RES option. Private to host/ticket.
#ifndef RIPHOST_TICKET_OPTIONS_H
#define RIPHOST_TICKET_OPTIONS_H

#include <string>

#include "ticket/option_value.h"
#include "ticket/ticket_values.h"

namespace riphost::reading {

// The option values of one level. Texts are refused beyond kMaxText bytes
// rather than cut later; keys that riphost sets itself are refused; a
// "comment" is no option. Each bad option is one problem.
OptionSet read_options(const Json& value, const std::string& where, Problems& problems);

// The resolution a job runs at when it gives no "ppi": its RES option, else
// the ticket's, else kDefaultPpi. A RES given as text is left to the option
// check, which refuses it; a RES number that is no usable resolution throws.
double default_ppi(const OptionSet& job_options, const OptionSet& ticket_options, const std::string& where);

}  // namespace riphost::reading

#endif  // RIPHOST_TICKET_OPTIONS_H
