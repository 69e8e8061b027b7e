// ticket_transfer.cpp - reading transfer curves and dot limits.
#include "ticket/ticket_transfer.h"

#include "screening/transfer_curve.h"

namespace riphost::reading {

namespace {

// Most points a curve may have.
constexpr std::size_t kMaxCurvePoints = 256;

}  // namespace

double to_percent(const Json& value, const std::string& where) {
  if (!value.is_number()) throw HostError(where + ": expected a number, found " + json_kind(value));
  const double percent = value.get<double>();
  if (!(percent >= 0.0 && percent <= 100.0)) throw HostError(where + ": must be between 0 and 100 (%)");
  return percent;
}

TransferCurve read_transfer_curve(const Json& value, const std::string& where) {
  require_list(value, where);
  if (value.size() > kMaxCurvePoints) {
    throw HostError(where + ": more than " + std::to_string(kMaxCurvePoints) + " points");
  }
  TransferCurve curve;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const std::string at = where + "[" + std::to_string(i) + "]";
    const Json& pair = value[i];
    if (!pair.is_array() || pair.size() != 2) {
      throw HostError(at + ": expected a pair [input %, output %], found " + json_kind(pair));
    }
    curve.push_back({to_percent(pair[0], at + "[0]"), to_percent(pair[1], at + "[1]")});
  }
  check_transfer_curve(curve, where);
  return curve;
}

void read_screen_calibration(const Json& value, const std::string& where, ScreenCalibration& calibration,
                             Problems& problems) {
  if (const Json* curve = member(value, "transfer")) {
    problems.attempt([&] { calibration.transfer = read_transfer_curve(*curve, place(where, "transfer")); });
  }
  if (const Json* least = member(value, "min_dot")) {
    problems.attempt([&] { calibration.min_dot = to_percent(*least, place(where, "min_dot")); });
  }
  if (const Json* most = member(value, "max_dot")) {
    problems.attempt([&] { calibration.max_dot = to_percent(*most, place(where, "max_dot")); });
  }
  if (const Json* below = member(value, "below_min_dot")) {
    problems.attempt([&] {
      const std::string text = to_text(*below, place(where, "below_min_dot"));
      if (text != "paper" && text != "min_dot") {
        throw HostError(place(where, "below_min_dot") + ": expected \"paper\" or \"min_dot\", found \"" + text + "\"");
      }
      calibration.below_min = text == "paper" ? BelowMinDot::Paper : BelowMinDot::MinDot;
    });
  }
  if (const Json* above = member(value, "above_max_dot")) {
    problems.attempt([&] {
      const std::string text = to_text(*above, place(where, "above_max_dot"));
      if (text != "max_dot" && text != "solid") {
        throw HostError(place(where, "above_max_dot") + ": expected \"max_dot\" or \"solid\", found \"" + text + "\"");
      }
      calibration.above_max = text == "solid" ? AboveMaxDot::Solid : AboveMaxDot::MaxDot;
    });
  }
  if (!(calibration.min_dot < calibration.max_dot)) {
    problems.add(place(where, "min_dot") + ": must be below \"max_dot\" (" + std::to_string(calibration.max_dot) +
                 ")");
  }
}

}  // namespace riphost::reading
