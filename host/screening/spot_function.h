// spot_function.h - the dot shapes of AM screens as spot functions.
//
// A spot function ranks the positions of a screen cell: x and y run from -1
// to 1 across the cell (x along the screen's angle, the centre at 0). The
// dot grows from the highest value down. Every shape is split at 0: the
// positions above 0 form the cell's dot, which grows from the centre; the
// positions at or below 0 form the holes around the cell corners, which
// shrink towards the corners as the tint darkens.
//
//   round      1 - r^2 inside the inscribed circle (r^2 = x^2 + y^2), so the
//              dots stay circles until they meet at pi/4 (78.5 %); outside
//              it d^2 - 2, d the distance to the nearest corner, so the
//              holes that are left shrink as circles around the corners.
//   euclidean  (cos pi x + cos pi y) / 2: square at 50 %.
//   ellipse    k cos pi x + cos pi y with k = 0.766: a chain dot, joining its
//              neighbours along x at 40 % and along y at 60 %, with holes
//              that are the dots turned over.
//   line       cos pi y + 0.15 cos pi x: lines along x; at light tints a
//              line is a row of dashes growing from the cell centres.
#ifndef RIPHOST_SPOT_FUNCTION_H
#define RIPHOST_SPOT_FUNCTION_H

#include "ticket/screen_spec.h"

namespace riphost {

// The spot value of an AM shape at (x, y) in [-1, 1]^2.
double spot_value(DotShape dot, double x, double y) noexcept;

// Whether the dots of a shape are exactly its dot parts at the tint where
// they meet (round: circles meeting along their edges, which would leave
// single paper pixels at the contacts otherwise), rather than a fixed number
// of pixels each (the shapes that meet at points).
bool dots_keep_their_part(DotShape dot) noexcept;

// The share of a cell above 0: the full dot (pi / 4 for round, 1/2 for the
// others, whose holes are their dots turned over).
double dot_part_share(DotShape dot) noexcept;

// Which of two positions with equal spot values takes ink first: a smaller
// key does. For dot positions, closer to the cell centre; for hole
// positions, farther from the nearest corner.
double spot_tie_key(double x, double y, bool dot_part) noexcept;

}  // namespace riphost

#endif  // RIPHOST_SPOT_FUNCTION_H
