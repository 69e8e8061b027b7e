// ticket_screens.cpp - reading the ticket's AM screens, the screen selection
// of each separation, its screen areas and the screens it requests.
#include "ticket/ticket_screens.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <unordered_set>
#include <utility>

#include "screening/fm_tile.h"
#include "screening/halftone_screen.h"
#include "screening_hooks.h"
#include "sources/image_reader.h"
#include "ticket/ticket_transfer.h"

namespace riphost::reading {

namespace {

// Highest screen ruling, lines per inch.
constexpr double kMaxRuling = 10000.0;
// Highest screen type code.
constexpr long long kMaxScreenType = 65535;

// A screen's optional "dot", "dot_size", "type" (FM screens are of their
// own type unless they say otherwise) and "screen_name".
void read_screen_extras(const Json& value, const std::string& where, ScreenSpec& screen, Problems& problems) {
  if (const Json* dot = member(value, "dot")) {
    problems.attempt([&] {
      std::string text = to_text(*dot, place(where, "dot"));
      if (!dot_from_name(text, screen.dot)) {
        throw HostError(place(where, "dot") + ": unknown dot shape \"" + text +
                        "\" (known: round, euclidean, ellipse, line, fm)");
      }
    });
  }
  if (const Json* size = member(value, "dot_size")) {
    problems.attempt([&] {
      if (screen.dot != DotShape::Fm) {
        throw HostError(place(where, "dot_size") + ": only FM screens (\"dot\": \"fm\") have one");
      }
      screen.dot_size = to_int(*size, place(where, "dot_size"), 1, kMaxFmDotSize);
    });
  }
  if (screen.dot == DotShape::Fm) screen.type = kFmScreenType;
  if (const Json* type = member(value, "type")) {
    problems.attempt([&] { screen.type = to_int(*type, place(where, "type"), 0, kMaxScreenType); });
  }
  if (const Json* name = member(value, "screen_name")) {
    problems.attempt([&] {
      screen.screen_name = to_text(*name, place(where, "screen_name"));
      if (screen.screen_name.size() >= SCR_SCREEN_NAME_SIZE) {
        throw HostError(place(where, "screen_name") + ": text of " + std::to_string(screen.screen_name.size()) +
                        " bytes; at most " + std::to_string(SCR_SCREEN_NAME_SIZE - 1) + " are allowed");
      }
    });
  }
}

// One screen descriptor.
ScreenSpec read_screen(const Json& value, const std::string& where, Problems& problems) {
  ScreenSpec screen;
  screen.where = where;
  require_object(value, where);
  check_keys(value, where,
             {"name", "ruling", "angle", "dot", "type", "screen_name", "dot_size", "transfer", "min_dot",
              "below_min_dot", "max_dot", "above_max_dot", kCommentKey},
             problems);
  problems.attempt([&] { screen.name = to_text(required(value, where, "name"), place(where, "name")); });
  // An FM screen has no ruling or angle; it tells the plug-in those it is given (0 when none).
  const Json* dot = member(value, "dot");
  const bool fm = dot != nullptr && dot->is_string() && dot->get<std::string>() == dot_name(DotShape::Fm);
  if (fm) screen.ruling = 0.0, screen.angle = 0.0;
  if (!fm || member(value, "ruling")) {
    problems.attempt([&] {
      screen.ruling = to_positive_real(required(value, where, "ruling"), place(where, "ruling"), kMaxRuling);
    });
  }
  if (!fm || member(value, "angle")) {
    problems.attempt([&] { screen.angle = to_angle(required(value, where, "angle"), place(where, "angle")); });
  }
  read_screen_extras(value, where, screen, problems);
  read_screen_calibration(value, where, screen.calibration, problems);
  return screen;
}

// A "screens" list of descriptors, each name once.
std::vector<ScreenSpec> read_screens(const Json& value, const std::string& where, Problems& problems) {
  std::vector<ScreenSpec> screens;
  std::unordered_set<std::string> names;
  read_list(value, where, "screens", kMaxScreens, false, problems, [&](const Json& item, const std::string& at) {
    ScreenSpec screen;
    if (!problems.attempt([&] { screen = read_screen(item, at, problems); })) return;
    if (screen.name.empty()) return;  // its problem is reported
    if (!names.insert(screen.name).second) {
      problems.add(place(at, "name") + ": the screen \"" + screen.name + "\" is defined twice in " + where);
      return;
    }
    screens.push_back(std::move(screen));
  });
  return screens;
}

// The index of the job's screen called name, or -1.
long find_screen(const JobScreens& job, const std::string& name) {
  auto found = job.index.find(name);
  return found == job.index.end() ? -1 : static_cast<long>(found->second);
}

// Adds screen to the job's screens, or replaces the one of its name.
void put_screen(JobScreens& job, ScreenSpec&& screen) {
  auto [found, added] = job.index.emplace(screen.name, job.screens->size());
  if (added) {
    job.screens->push_back(std::move(screen));
  } else {
    (*job.screens)[found->second] = std::move(screen);
  }
}

// The names of the screens, for messages; the first kNamesListed of many.
std::string screen_names(const std::vector<ScreenSpec>& screens) {
  constexpr std::size_t kNamesListed = 32;
  std::string list;
  for (std::size_t i = 0; i < screens.size() && i < kNamesListed; ++i) {
    list += (list.empty() ? "" : ", ") + screens[i].name;
  }
  if (screens.size() > kNamesListed) list += " and " + std::to_string(screens.size() - kNamesListed) + " more";
  return list.empty() ? "none" : list;
}

// The job's default screen: the one "default_screen" names, else the one
// called "default", else the built-in one, added to the job's screens.
std::size_t default_screen(JobScreens& job) {
  if (!job.default_name.empty()) {
    long found = find_screen(job, job.default_name);
    if (found >= 0) return static_cast<std::size_t>(found);
    throw HostError(job.default_where + ": unknown screen \"" + job.default_name + "\" (known: " +
                    screen_names(*job.screens) + ")");
  }
  long found = find_screen(job, kDefaultScreenName);
  if (found >= 0) return static_cast<std::size_t>(found);
  ScreenSpec builtin;
  builtin.name = kDefaultScreenName;
  builtin.ruling = kDefaultRuling;
  builtin.angle = kDefaultAngle;
  put_screen(job, std::move(builtin));
  return job.screens->size() - 1;
}

// "default_screen" of object (the ticket or a job), into screens.
void read_default_name(const Json& object, const std::string& where, JobScreens& screens, Problems& problems) {
  if (const Json* name = member(object, "default_screen")) {
    problems.attempt([&] {
      screens.default_where = place(where, "default_screen");
      screens.default_name = to_text(*name, screens.default_where);
    });
  }
}

// "screen_handles": the base and step of the handles riphost gives screens.
void read_screen_handles(const Json& value, Ticket& ticket, Problems& problems) {
  if (!problems.attempt([&] { require_object(value, "screen_handles"); })) return;
  check_keys(value, "screen_handles", {"base", "step", kCommentKey}, problems);
  if (const Json* base = member(value, "base")) {
    problems.attempt([&] {
      ticket.screen_handle_base = static_cast<std::uint32_t>(to_integer(*base, "screen_handles.base", 1, 0xFFFFFFFFll));
    });
  }
  if (const Json* step = member(value, "step")) {
    problems.attempt([&] {
      ticket.screen_handle_step = static_cast<std::uint32_t>(to_integer(*step, "screen_handles.step", 1, 0xFFFFFFFFll));
    });
  }
}

// The "uses" of a separation whose "screens" were read.
void read_uses(const Json& uses, const Json& names, const std::string& where, Separation& separation) {
  const std::string uses_at = place(where, "uses");
  if (!uses.is_array()) throw HostError(uses_at + ": expected a list, found " + json_kind(uses));
  if (uses.size() != names.size()) {
    throw HostError(uses_at + ": " + std::to_string(uses.size()) + " counts for " + std::to_string(names.size()) +
                    " screens");
  }
  for (std::size_t i = 0; i < uses.size() && i < separation.uses.size(); ++i) {
    separation.uses[i] = to_int(uses[i], uses_at + "[" + std::to_string(i) + "]", 0, 0x7FFFFFFF);
  }
}

// The separation's screens by name: the first place in its selection.
using SelectionIndex = std::unordered_map<std::string, std::size_t>;

// One area of "screen_areas"; added to the separation's content when usable.
void read_screen_area(const Json& area, const std::string& at, const SelectionIndex& selection,
                      Separation& separation, Problems& problems) {
  require_object(area, at);
  check_keys(area, at, {"screen", "x", "y", "width", "height", kCommentKey}, problems);
  ScreenArea rect;
  bool usable = true;
  usable &= problems.attempt([&] {
    std::string name = to_text(required(area, at, "screen"), place(at, "screen"));
    auto found = selection.find(name);
    if (found == selection.end()) {
      throw HostError(place(at, "screen") + ": \"" + name + "\" is not one of the separation's screens");
    }
    rect.screen = found->second;
  });
  usable &= problems.attempt([&] { rect.x = to_int(required(area, at, "x"), place(at, "x"), 0, kMaxImageSide); });
  usable &= problems.attempt([&] { rect.y = to_int(required(area, at, "y"), place(at, "y"), 0, kMaxImageSide); });
  usable &= problems.attempt(
      [&] { rect.width = to_int(required(area, at, "width"), place(at, "width"), 1, kMaxImageSide); });
  usable &= problems.attempt(
      [&] { rect.height = to_int(required(area, at, "height"), place(at, "height"), 1, kMaxImageSide); });
  if (usable) separation.source.areas.push_back(rect);
}

// The requested screens of a separation that gives none: the ruling and
// angle of every screen its selection takes (uses > 0), each pair once.
void default_requested_screens(const JobScreens& job, Separation& separation) {
  std::set<std::pair<double, double>> known;
  for (std::size_t k = 0; k < separation.screens.size(); ++k) {
    if (k < separation.uses.size() && separation.uses[k] == 0) continue;
    const ScreenSpec& spec = (*job.screens)[separation.screens[k]];
    if (!(spec.ruling > 0.0)) continue;  // an FM screen without a ruling
    if (known.emplace(spec.ruling, spec.angle).second) {
      separation.requested_screens.push_back(RequestedScreen{spec.ruling, spec.angle});
    }
  }
}

}  // namespace

void read_ticket_screens(const Json& root, Ticket& ticket, JobScreens& defaults, Problems& problems) {
  if (const Json* screens = member(root, "screens")) ticket.screens_of_ticket = read_screens(*screens, "screens", problems);
  read_default_name(root, "", defaults, problems);
  if (const Json* handles = member(root, "screen_handles")) read_screen_handles(*handles, ticket, problems);
}

JobScreens read_job_screens(const Json& value, const std::string& where, const Ticket& ticket,
                            const JobScreens& defaults, Job& job, Problems& problems) {
  JobScreens screens = defaults;
  screens.screens = &job.screens;
  screens.index.clear();
  for (const ScreenSpec& screen : ticket.screens_of_ticket) put_screen(screens, ScreenSpec(screen));
  if (const Json* own = member(value, "screens")) {
    for (ScreenSpec& screen : read_screens(*own, place(where, "screens"), problems)) put_screen(screens, std::move(screen));
  }
  read_default_name(value, where, screens, problems);
  if (!screens.default_name.empty() && find_screen(screens, screens.default_name) < 0) {
    problems.add(screens.default_where + ": unknown screen \"" + screens.default_name + "\" (known: " +
                 screen_names(job.screens) + ")");
    screens.default_name.clear();
  }
  return screens;
}

// Handles are 32-bit: the job's last one must fit.
void check_screen_handles(const Job& job, const Ticket& ticket, Problems& problems) {
  if (!job.screens.empty() &&
      ticket.screen_handle_base + (job.screens.size() - 1) * std::uint64_t{ticket.screen_handle_step} > 0xFFFFFFFFu) {
    problems.add(place(job.where, "screens") + ": the job's " + std::to_string(job.screens.size()) +
                 " screens do not fit the 32-bit handles of \"screen_handles\"");
  }
}

void read_separation_screens(const Json& object, const std::string& where, JobScreens& job, Separation& separation,
                             Problems& problems) {
  const Json* names = member(object, "screens");
  const Json* uses = member(object, "uses");
  if (!names) {
    if (uses) problems.add(place(where, "uses") + ": given without \"screens\"");
    problems.attempt([&] {
      separation.screens.push_back(default_screen(job));
      separation.uses.push_back(1);
    });
    return;
  }
  const std::string at = place(where, "screens");
  if (!problems.attempt([&] { require_list(*names, at); })) return;
  if (names->size() > kMaxScreens) {
    problems.add(at + ": more than " + std::to_string(kMaxScreens) + " screens");
    return;
  }
  for (std::size_t i = 0; i < names->size(); ++i) {
    problems.attempt([&] {
      const std::string item = at + "[" + std::to_string(i) + "]";
      std::string name = to_text((*names)[i], item);
      long found = find_screen(job, name);
      if (found < 0) {
        throw HostError(item + ": unknown screen \"" + name + "\" (known: " + screen_names(*job.screens) + ")");
      }
      separation.screens.push_back(static_cast<std::size_t>(found));
      separation.uses.push_back(1);
    });
  }
  if (uses) problems.attempt([&] { read_uses(*uses, *names, where, separation); });
}

void read_requested_screens(const Json& object, const std::string& where, const JobScreens& job,
                            Separation& separation, Problems& problems) {
  const Json* requested = member(object, "requested_screens");
  if (!requested) {
    default_requested_screens(job, separation);
    return;
  }
  read_list(*requested, place(where, "requested_screens"), "screens", kMaxScreens, true, problems,
            [&](const Json& item, const std::string& at) {
              problems.attempt([&] {
                require_object(item, at);
                check_keys(item, at, {"frequency", "angle", kCommentKey}, problems);
                RequestedScreen screen;
                bool usable = problems.attempt([&] {
                  screen.frequency =
                      to_positive_real(required(item, at, "frequency"), place(at, "frequency"), kMaxRuling);
                });
                usable &= problems.attempt([&] { screen.angle = to_angle(required(item, at, "angle"), place(at, "angle")); });
                if (usable) separation.requested_screens.push_back(screen);
              });
            });
}

void read_screen_areas(const Json& object, const std::string& where, const JobScreens& job, Separation& separation,
                       Problems& problems) {
  if (separation.source.kind != ContentSource::Kind::Contone) return;
  const Json* areas = member(object, "screen_areas");
  if (!areas) return;
  SelectionIndex selection;
  for (std::size_t k = 0; k < separation.screens.size(); ++k) {
    selection.emplace((*job.screens)[separation.screens[k]].name, k);
  }
  read_list(*areas, place(where, "screen_areas"), "areas", kMaxScreens, false, problems,
            [&](const Json& area, const std::string& at) {
              problems.attempt([&] { read_screen_area(area, at, selection, separation, problems); });
            });
}

void check_contone_screens(const std::string& where, const JobScreens& job, double ppi,
                           const Separation& separation, Problems& problems) {
  if (separation.source.kind != ContentSource::Kind::Contone || !(ppi > 0.0) || separation.screens.empty()) return;
  std::vector<std::size_t> used = {0};
  for (const ScreenArea& area : separation.source.areas) used.push_back(area.screen);
  for (std::size_t k = 0; k < used.size(); ++k) {
    if (used[k] >= separation.screens.size() || std::find(used.begin(), used.begin() + k, used[k]) != used.begin() + k) {
      continue;
    }
    const ScreenSpec& spec = (*job.screens)[separation.screens[used[k]]];
    if (spec.dot == DotShape::Fm) continue;
    const std::string problem = screen_size_problem(ppi, spec.ruling);
    if (!problem.empty()) problems.add(place(where, "screens") + ": screen \"" + spec.name + "\": " + problem);
  }
}

}  // namespace riphost::reading
