#include "develop/tone_spline.h"

#include <algorithm>

namespace lumra_tools {

ToneSpline::ToneSpline(std::vector<double> xs, std::vector<double> ys)
    : x_(std::move(xs)), y_(std::move(ys)), m_(x_.size(), 0.0) {
    const size_t n = x_.size();
    if (n < 3) return;  // two points: the straight line
    // Tridiagonal system for the inner second derivatives (Thomas algorithm).
    std::vector<double> c(n, 0.0), d(n, 0.0);
    for (size_t i = 1; i + 1 < n; ++i) {
        const double h0 = x_[i] - x_[i - 1], h1 = x_[i + 1] - x_[i];
        const double a = h0 / 6.0, b = (h0 + h1) / 3.0, up = h1 / 6.0;
        const double rhs = (y_[i + 1] - y_[i]) / h1 - (y_[i] - y_[i - 1]) / h0;
        const double denom = b - a * c[i - 1];
        c[i] = up / denom;
        d[i] = (rhs - a * d[i - 1]) / denom;
    }
    for (size_t i = n - 2; i >= 1; --i) m_[i] = d[i] - c[i] * m_[i + 1];
}

size_t ToneSpline::segment(double x) const {
    const size_t k = size_t(std::upper_bound(x_.begin(), x_.end(), x) - x_.begin());
    return std::clamp<size_t>(k, 1, x_.size() - 1) - 1;
}

double ToneSpline::operator()(double x) const {
    if (!(x > x_.front())) return y_.front();
    if (x >= x_.back()) return y_.back();
    const size_t k = segment(x);
    const double h = x_[k + 1] - x_[k], a = (x_[k + 1] - x) / h, b = (x - x_[k]) / h;
    return a * y_[k] + b * y_[k + 1] + ((a * a * a - a) * m_[k] + (b * b * b - b) * m_[k + 1]) * h * h / 6.0;
}

double ToneSpline::slope(double x) const {
    const size_t k = segment(std::clamp(x, x_.front(), x_.back()));
    const double h = x_[k + 1] - x_[k], a = (x_[k + 1] - x) / h, b = (x - x_[k]) / h;
    return (y_[k + 1] - y_[k]) / h + ((1.0 - 3.0 * a * a) * m_[k] + (3.0 * b * b - 1.0) * m_[k + 1]) * h / 6.0;
}

}  // namespace lumra_tools
