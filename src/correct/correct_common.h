// Small pieces shared by the corrections.
#pragma once

#include <cmath>

namespace lumra {

// The corrections limit to the upper bound first and then to the lower one:
// a NaN becomes the upper bound, and a value not above the lower bound
// (-0 included) becomes the lower bound. The comparisons are written so that
// the compiler can map them onto min/max instructions.
template <typename T>
inline T limit_high_then_low(T value, T low, T high) {
    const T below_high = value < high ? value : high;
    return below_high > low ? below_high : low;
}

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
