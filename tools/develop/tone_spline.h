// The ProfileToneCurve as a cubic spline through its points: a natural
// spline (second derivative zero at both ends), held at the end values
// outside the points' range.
#pragma once

#include <cstddef>
#include <vector>

namespace lumra_tools {

class ToneSpline {
public:
    // xs strictly increasing, ys the same count, at least 2 points.
    ToneSpline(std::vector<double> xs, std::vector<double> ys);
    double operator()(double x) const;
    // First derivative, for callers that check smoothness.
    double slope(double x) const;

private:
    size_t segment(double x) const;
    std::vector<double> x_, y_, m_;  // m_: second derivatives at the points
};

}  // namespace lumra_tools
