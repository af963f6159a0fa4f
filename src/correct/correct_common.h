// Small pieces shared by the corrections.
#pragma once

#include <cmath>

#include "common/numeric.h"

namespace lumra {

// The corrections limit with limit_high_then_low (common/numeric.h): the
// upper bound first, so a NaN becomes the upper bound.

// The distance from (cx, cy) to the farthest corner of a width x height
// frame, never below 1, which normalises the radius of the vignette and the
// warp.
inline double farthest_corner(double cx, double cy, double width, double height) {
    const double corners[4][2] = {{0.0, 0.0}, {width, 0.0}, {0.0, height}, {width, height}};
    double largest = 1.0;
    for (const auto& corner : corners) {
        const double dx = cx - corner[0], dy = cy - corner[1];
        const double distance = std::sqrt(dx * dx + dy * dy);
        if (distance > largest) largest = distance;
    }
    return largest;
}

}  // namespace lumra
