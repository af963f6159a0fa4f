// A cheap, provable bound of the source rows and columns a part of the warp
// reads. The part is cut into small rectangles; over each, every term of the
// warp's position code (warp_rectilinear.cpp, and lane by lane the wide
// paths) is bounded by evaluating the same rounded operation, in the same
// order, at the ends of its operands' ranges. A rounded addition or
// multiplication is monotone in each operand, so the value it gives any pixel
// lies between the values at the ends; the range of the position therefore
// holds every pixel's position, bit for bit as the warp computes it. Where
// any end is not finite, the bound is the whole image.
#include <algorithm>
#include <cmath>

#include "correct_common.h"
#include "correct_kernels.h"
#include "warp_resample.h"

namespace lumra {
namespace {

struct Range {
    double low, high;
};

Range point(double value) { return {value, value}; }
Range operator+(Range a, Range b) { return {a.low + b.low, a.high + b.high}; }
Range operator+(double a, Range b) { return {a + b.low, a + b.high}; }
Range minus(Range a, double b) { return {a.low - b, a.high - b}; }

// A NaN at any end makes the result's ends NaN, so it is never lost.
double lowest(double a, double b, double c, double d) {
    if (std::isnan(a) || std::isnan(b) || std::isnan(c) || std::isnan(d)) return NAN;
    return std::min(std::min(a, b), std::min(c, d));
}
double highest(double a, double b, double c, double d) {
    if (std::isnan(a) || std::isnan(b) || std::isnan(c) || std::isnan(d)) return NAN;
    return std::max(std::max(a, b), std::max(c, d));
}

Range operator*(Range a, Range b) {
    const double p = a.low * b.low, q = a.low * b.high, r = a.high * b.low, s = a.high * b.high;
    return {lowest(p, q, r, s), highest(p, q, r, s)};
}
Range operator*(double a, Range b) { return point(a) * b; }
Range operator*(Range a, double b) { return a * point(b); }

// x * x of one operand: monotone in |x|.
Range square(Range a) {
    const double low = a.low * a.low, high = a.high * a.high;
    if (a.low >= 0.0) return {low, high};
    if (a.high <= 0.0) return {high, low};
    return {0.0, highest(low, high, low, high)};
}

// sum < 1 ? sum : 1, as the warp caps the squared radius.
Range capped(Range a) { return {a.low < 1.0 ? a.low : 1.0, a.high < 1.0 ? a.high : 1.0}; }

bool finite(Range a) { return std::isfinite(a.low) && std::isfinite(a.high); }

// The positions of one plane over rows [row0, row1] and columns [col0, col1],
// before the limits; false where a bound is not finite.
bool bound_rectangle(const Geometry& g, const PlaneCoefficients& c, double row0, double row1, double col0,
                     double col1, Range& y, Range& x) {
    const Range dy = minus({row0, row1}, g.cy), dx = minus({col0, col1}, g.cx);
    const Range sy = g.scale * dy, sx = g.scale * dx;
    const Range qy = square(sy), qx = square(sx);
    const Range r2 = capped(qx + qy);
    const Range r4 = square(r2), r6 = r4 * r2;
    const Range f = ((c.kr[0] + c.kr[1] * r2) + c.kr[2] * r4) + c.kr[3] * r6;
    y = f * dy;
    x = f * dx;
    if (c.tangential) {
        const Range tangent_x = 2.0 * qx + r2, tangent_y = 2.0 * qy + r2;
        const Range product = (2.0 * g.extent * sy) * sx;
        y = y + ((c.kt0 * tangent_y) * g.extent + c.kt1 * product);
        x = x + ((c.kt1 * tangent_x) * g.extent + c.kt0 * product);
    }
    y = g.cy + y;
    x = g.cx + x;
    return finite(y) && finite(x) && finite(f);
}

// The rectangles: at least 16 rows and 32 columns, and at most 64 rows and
// 256 columns of them, so a band of a large image costs a few thousand
// interval steps a plane, against millions of pixels warped.
constexpr uint64_t kPieceRows = 16, kPieceCols = 32, kMostRowPieces = 64, kMostColPieces = 256;

}  // namespace

SourceBox warp_source_bound(const PartOfWhole& part, int channels, const double* radial, int coefficient_planes,
                            int radial_count, const double* tangential, double center_x, double center_y,
                            bool bicubic) noexcept {
    const int plane_count = std::min(coefficient_planes, channels);
    if (plane_count <= 0 || part.height == 0 || part.width == 0) return {part.top, part.left, part.top, part.left};
    const Geometry g = warp_geometry(part, radial, radial_count, tangential, center_x, center_y);
    const uint64_t row_piece = std::max(kPieceRows, part.height / kMostRowPieces + 1);
    const uint64_t col_piece = std::max(kPieceCols, part.width / kMostColPieces + 1);
    double low_y = g.last_row, high_y = 0.0, low_x = g.last_col, high_x = 0.0;
    bool everywhere = false;
    for (int k = 0; k < plane_count && !everywhere; ++k) {
        if (k != 0 && g.same_as_previous(k)) continue;
        const PlaneCoefficients c = g.plane(k);
        for (uint64_t r = 0; r < part.height && !everywhere; r += row_piece)
            for (uint64_t q = 0; q < part.width; q += col_piece) {
                const uint64_t last_r = std::min(r + row_piece, part.height) - 1;
                const uint64_t last_q = std::min(q + col_piece, part.width) - 1;
                Range y, x;
                if (!bound_rectangle(g, c, static_cast<double>(part.top + r), static_cast<double>(part.top + last_r),
                                     static_cast<double>(part.left + q), static_cast<double>(part.left + last_q), y,
                                     x)) {
                    everywhere = true;
                    break;
                }
                // The limits to [0, H - 1] and [0, W - 1] are monotone too.
                low_y = std::min(low_y, limit_high_then_low(y.low, 0.0, g.last_row));
                high_y = std::max(high_y, limit_high_then_low(y.high, 0.0, g.last_row));
                low_x = std::min(low_x, limit_high_then_low(x.low, 0.0, g.last_col));
                high_x = std::max(high_x, limit_high_then_low(x.high, 0.0, g.last_col));
            }
    }
    if (everywhere) return {0, 0, part.full_height, part.full_width};
    return taps_of(part, low_y, high_y, low_x, high_x, bicubic);
}

}  // namespace lumra
