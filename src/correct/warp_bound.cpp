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

#include "correct/correct_common.h"
#include "correct/correct_kernels.h"
#include "correct/warp_resample.h"

namespace lumra {
namespace {

struct Range {
    double low, high;
};

Range operator+(Range a, Range b) { return {a.low + b.low, a.high + b.high}; }
Range operator+(double a, Range b) { return {a + b.low, a + b.high}; }
Range minus(Range a, double b) { return {a.low - b, a.high - b}; }

// The ends of a product by a constant: swapped for a negative one.
Range operator*(double a, Range b) { return a >= 0.0 ? Range{a * b.low, a * b.high} : Range{a * b.high, a * b.low}; }
Range operator*(Range a, double b) { return b >= 0.0 ? Range{a.low * b, a.high * b} : Range{a.high * b, a.low * b}; }

// Of two ranges with finite ends, so no corner is NaN.
Range operator*(Range a, Range b) {
    const double p = a.low * b.low, q = a.low * b.high, r = a.high * b.low, s = a.high * b.high;
    return {std::min(std::min(p, q), std::min(r, s)), std::max(std::max(p, q), std::max(r, s))};
}

// x * x of one operand: monotone in |x|.
Range square(Range a) {
    const double low = a.low * a.low, high = a.high * a.high;
    if (a.low >= 0.0) return {low, high};
    if (a.high <= 0.0) return {high, low};
    return {0.0, std::max(low, high)};
}

// sum < 1 ? sum : 1, as the warp caps the squared radius.
Range capped(Range a) { return {a.low < 1.0 ? a.low : 1.0, a.high < 1.0 ? a.high : 1.0}; }

bool finite(Range a) { return std::isfinite(a.low) && std::isfinite(a.high); }

// Terms of a range of rows or columns that every plane shares.
struct AxisTerms {
    Range offset, scaled, square;  // d, d s, (d s)^2
};

AxisTerms axis_terms(const Geometry& g, double first, double last, double centre) {
    const Range offset = minus({first, last}, centre);
    const Range scaled = g.scale * offset;
    return {offset, scaled, square(scaled)};
}

// Terms of a rectangle that every plane shares.
struct RectangleTerms {
    Range r2, r4, r6, tangent_x, tangent_y, product;
};

RectangleTerms rectangle_terms(const Geometry& g, const AxisTerms& row, const AxisTerms& col) {
    RectangleTerms t;
    t.r2 = capped(col.square + row.square);
    t.r4 = square(t.r2);
    t.r6 = t.r4 * t.r2;
    t.tangent_x = 2.0 * col.square + t.r2;
    t.tangent_y = 2.0 * row.square + t.r2;
    t.product = (2.0 * g.extent * row.scaled) * col.scaled;
    return t;
}

// The positions of one plane over a rectangle, before the limits; false
// where a bound is not finite. Every product of two ranges has operands with
// finite ends (the geometry is finite, the squared radius lies in [0, 1],
// and f is tested), so no corner is NaN; a coefficient that is not finite
// makes an end of f, y or x NaN or infinite.
bool bound_positions(const Geometry& g, const PlaneCoefficients& c, const AxisTerms& row, const AxisTerms& col,
                     const RectangleTerms& t, Range& y, Range& x) {
    const Range f = ((c.kr[0] + c.kr[1] * t.r2) + c.kr[2] * t.r4) + c.kr[3] * t.r6;
    if (!finite(f)) return false;
    y = f * row.offset;
    x = f * col.offset;
    if (c.tangential) {
        y = y + ((c.kt0 * t.tangent_y) * g.extent + c.kt1 * t.product);
        x = x + ((c.kt1 * t.tangent_x) * g.extent + c.kt0 * t.product);
    }
    y = g.cy + y;
    x = g.cx + x;
    return finite(y) && finite(x);
}

// The rectangles: at least 16 rows and 64 columns, and at most 64 rows and
// 128 columns of them, so a band of a large image costs a few thousand
// interval steps, against millions of pixels warped.
constexpr uint64_t kPieceRows = 16, kPieceCols = 64, kMostRowPieces = 64, kMostColPieces = 128;

}  // namespace

SourceBox warp_source_bound(const PartOfWhole& part, int channels, const double* radial, int coefficient_planes,
                            int radial_count, const double* tangential, double center_x, double center_y,
                            bool bicubic) noexcept {
    const int plane_count = std::min(coefficient_planes, channels);
    if (plane_count <= 0 || part.height == 0 || part.width == 0) return {part.top, part.left, part.top, part.left};
    const SourceBox everywhere{0, 0, part.full_height, part.full_width};
    const Geometry g = warp_geometry(part, radial, radial_count, tangential, center_x, center_y);
    if (!(std::isfinite(g.cx) && std::isfinite(g.cy) && std::isfinite(g.scale) && std::isfinite(2.0 * g.extent)))
        return everywhere;
    const uint64_t row_piece = std::max(kPieceRows, part.height / kMostRowPieces + 1);
    const uint64_t col_piece = std::max(kPieceCols, part.width / kMostColPieces + 1);
    AxisTerms cols[kMostColPieces + 1];
    uint64_t col_pieces = 0;
    for (uint64_t q = 0; q < part.width; q += col_piece) {
        const uint64_t last = std::min(q + col_piece, part.width) - 1;
        cols[col_pieces++] = axis_terms(g, static_cast<double>(part.left + q), static_cast<double>(part.left + last),
                                        g.cx);
    }
    double low_y = g.last_row, high_y = 0.0, low_x = g.last_col, high_x = 0.0;
    for (uint64_t r = 0; r < part.height; r += row_piece) {
        const uint64_t last = std::min(r + row_piece, part.height) - 1;
        const AxisTerms row =
            axis_terms(g, static_cast<double>(part.top + r), static_cast<double>(part.top + last), g.cy);
        for (uint64_t q = 0; q < col_pieces; ++q) {
            const RectangleTerms t = rectangle_terms(g, row, cols[q]);
            if (!finite(t.product)) return everywhere;
            for (int k = 0; k < plane_count; ++k) {
                if (k != 0 && g.same_as_previous(k)) continue;  // the positions of the plane before
                Range y, x;
                if (!bound_positions(g, g.plane(k), row, cols[q], t, y, x)) return everywhere;
                // The limits to [0, H - 1] and [0, W - 1] are monotone too.
                low_y = std::min(low_y, limit_high_then_low(y.low, 0.0, g.last_row));
                high_y = std::max(high_y, limit_high_then_low(y.high, 0.0, g.last_row));
                low_x = std::min(low_x, limit_high_then_low(x.low, 0.0, g.last_col));
                high_x = std::max(high_x, limit_high_then_low(x.high, 0.0, g.last_col));
            }
        }
    }
    return taps_of(part, low_y, high_y, low_x, high_x, bicubic);
}

}  // namespace lumra
