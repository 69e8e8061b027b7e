// document_screens.cpp - default screens of document inks.
#include "ticket/document_screens.h"

#include <algorithm>
#include <string>

namespace riphost {

namespace {

bool same_text(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x >= 'A' && x <= 'Z' ? x - 'A' + 'a' : x) == (y >= 'A' && y <= 'Z' ? y - 'A' + 'a' : y);
         });
}

// The index of the job's screen called name, added with angle when missing.
std::size_t screen_called(std::vector<ScreenSpec>& screens, const char* name, double ruling, double angle) {
  for (std::size_t i = 0; i < screens.size(); ++i) {
    if (screens[i].name == name) return i;
  }
  ScreenSpec screen;
  screen.name = name;
  screen.ruling = ruling;
  screen.angle = angle;
  screen.dot = DotShape::Round;
  screens.push_back(screen);
  return screens.size() - 1;
}

}  // namespace

void choose_document_screens(std::vector<ScreenSpec>& screens, double ruling, DocumentSpec& spec) {
  constexpr double kAngles[4] = {15.0, 75.0, 0.0, 45.0};
  for (std::size_t i = 0; i < kProcessInks.size(); ++i) {
    spec.process_screens[i] = screen_called(screens, kProcessInks[i], ruling, kAngles[i]);
  }
  spec.spot_screen = screen_called(screens, kSpotScreenName, ruling, 45.0);
}

std::size_t DocumentSpec::screen_of(const std::string& ink) const {
  for (const DocumentInkScreen& named : ink_screens) {
    if (same_text(named.ink, ink)) return named.screen;
  }
  for (std::size_t i = 0; i < kProcessInks.size(); ++i) {
    if (ink == kProcessInks[i]) return process_screens[i];
  }
  return spot_screen;
}

TransferCurve DocumentSpec::transfer_of(const std::string& ink) const {
  const DocumentInkCurve* any = nullptr;
  for (const DocumentInkCurve& named : ink_transfer) {
    if (same_text(named.ink, ink)) return named.curve;
    if (named.ink == kAnyInk) any = &named;
  }
  return any ? any->curve : TransferCurve{};
}

}  // namespace riphost
