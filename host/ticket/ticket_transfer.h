// ticket_transfer.h - tone keys of the ticket: transfer curves and
// percentages. Private to host/ticket.
#ifndef RIPHOST_TICKET_TRANSFER_H
#define RIPHOST_TICKET_TRANSFER_H

#include <string>

#include "ticket/screen_spec.h"
#include "ticket/ticket_values.h"

namespace riphost::reading {

// A "transfer" curve: a list of [input %, output %] pairs, inputs
// increasing, outputs never falling, all within 0 to 100.
TransferCurve read_transfer_curve(const Json& value, const std::string& where);

// A number from 0 to 100.
double to_percent(const Json& value, const std::string& where);

// A screen's "min_dot", "below_min_dot", "max_dot", "above_max_dot" and
// "transfer".
void read_screen_calibration(const Json& value, const std::string& where, ScreenCalibration& calibration,
                             Problems& problems);

}  // namespace riphost::reading

#endif  // RIPHOST_TICKET_TRANSFER_H
