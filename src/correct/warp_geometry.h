// The warp's geometry, written once over the lane type D (double for the
// baseline path, simd::D4 and simd::D8 for the wide ones): the terms of a
// destination pixel that every plane shares, and a plane's limited source
// position. Every width performs the same double operations in the same
// order, so the positions are the same bits.
#pragma once

#include <cstdint>

#include "common/numeric.h"
#include "correct/warp_resample.h"
#include "simd/double_lanes.h"

namespace lumra {

// Terms of one destination row.
struct RowTerms {
    double dy, qy, two_l_sy;

    RowTerms(const Geometry& g, uint64_t row)
        : dy(static_cast<double>(static_cast<int64_t>(row)) - g.cy),
          qy((dy * g.scale) * (dy * g.scale)),
          two_l_sy(2.0 * g.extent * (dy * g.scale)) {}
};

// Terms of a destination pixel (or of D's lanes of pixels) that every plane
// shares.
template <typename D>
struct PixelTerms {
    D dx;                    // offset from the centre, pixels
    D r2, r4, r6;            // powers of the capped squared radius
    D tangent_x, tangent_y;  // 2 qx + r2 and 2 qy + r2
    D product;               // 2 L (dy s)(dx s)
};

template <typename D>
LUMRA_SHARED_BODY PixelTerms<D> pixel_terms(const Geometry& g, const RowTerms& row, D columns) {
    PixelTerms<D> t;
    t.dx = columns - D(g.cx);
    const D sx = t.dx * D(g.scale);
    const D qx = sx * sx;
    t.r2 = limit_high(qx + D(row.qy), D(1.0));  // NaN takes the cap, as the other upper limits do
    t.r4 = t.r2 * t.r2;
    t.r6 = t.r4 * t.r2;
    t.tangent_x = D(2.0) * qx + t.r2;
    t.tangent_y = D(2.0 * row.qy) + t.r2;
    t.product = D(row.two_l_sy) * sx;
    return t;
}

// The source position of one plane, limited to the source.
template <typename D>
LUMRA_SHARED_BODY void plane_position(const Geometry& g, const PlaneCoefficients& c, const PixelTerms<D>& t,
                                      double dy, D& y, D& x) {
    const D f = ((D(c.kr[0]) + D(c.kr[1]) * t.r2) + D(c.kr[2]) * t.r4) + D(c.kr[3]) * t.r6;
    y = f * D(dy);
    x = f * t.dx;
    if (c.tangential) {
        y = y + ((D(c.kt0) * t.tangent_y) * D(g.extent) + D(c.kt1) * t.product);
        x = x + ((D(c.kt1) * t.tangent_x) * D(g.extent) + D(c.kt0) * t.product);
    }
    y = limit_high_then_low(D(g.cy) + y, D(0.0), D(g.last_row));
    x = limit_high_then_low(D(g.cx) + x, D(0.0), D(g.last_col));
}

}  // namespace lumra
