// The pixel-at-a-time warp (every plane warped alike) shares these between
// its AVX2 resampling and the AVX-512 geometry that feeds it.
#pragma once

#include "warp_lanes_avx2.h"

#if LUMRA_HAS_AVX2_PATH
namespace lumra {

// Destination pixels whose positions are worked out in one pass before
// they are resampled in a second: each pass has short dependency chains and
// its iterations overlap, where a single pass over four pixels at a time
// waits on each group's geometry before it can load.
constexpr int kRun = 64;

// Where the geometry pass leaves a run's bilinear taps: the limited
// positions, the fractions and 1 - fx, each pixel's first corner (element
// offset of its top-left source pixel), and for each group of four whether
// whole-pixel loads may serve it (no corner clamped onto its neighbour, no
// load past the end of the buffer).
struct BilinearPlan {
    double *ys, *xs, *fx, *rest, *fy;
    int* corner;
    bool* whole;
};

// The bilinear taps of pixels first..first + n - 1 of a row (n a multiple
// of 8) with AVX-512, eight in the lanes, lane by lane the same operations
// as the AVX2 geometry.
void plan_bilinear_avx512(const WarpSource& s, const Geometry& g, const PlaneCoefficients& k, const RowTerms& r,
                          uint64_t first, int n, const BilinearPlan& plan) noexcept;

}  // namespace lumra
#endif
