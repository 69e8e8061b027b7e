// am_screen.cpp - AM screens by ruling and angle, and the names of the dot
// shapes.
#include "screening/am_screen.h"

namespace riphost {

namespace {

ScreenSpec spec_of(double ruling, double angle, DotShape dot) {
  ScreenSpec spec;
  spec.ruling = ruling;
  spec.angle = angle;
  spec.dot = dot;
  return spec;
}

}  // namespace

AmScreen::AmScreen(double ppi, double ruling, double angle, DotShape dot, const TileLimits& limits)
    : HalftoneScreen(ppi, spec_of(ruling, angle, dot), limits) {}

const char* dot_name(DotShape dot) noexcept {
  switch (dot) {
    case DotShape::Round: return "round";
    case DotShape::Euclidean: return "euclidean";
    case DotShape::Ellipse: return "ellipse";
    case DotShape::Line: return "line";
    case DotShape::Fm: return "fm";
  }
  return "round";
}

bool dot_from_name(std::string_view name, DotShape& dot) noexcept {
  for (DotShape d : {DotShape::Round, DotShape::Euclidean, DotShape::Ellipse, DotShape::Line, DotShape::Fm}) {
    if (name == dot_name(d)) {
      dot = d;
      return true;
    }
  }
  return false;
}

}  // namespace riphost
