// The runs of the warp's AVX2 paths: the geometry pass (AVX2, or AVX-512
// for the bilinear taps) that both the pixel-at-a-time and the
// plane-at-a-time resampling read from.
#pragma once

#include "correct/warp_lanes_avx2.h"

#if LUMRA_SIMD_X86
namespace lumra {

// Destination pixels whose positions are worked out in one pass before
// they are resampled in a second: each pass has short dependency chains and
// its iterations overlap, where a single pass over four pixels at a time
// waits on each group's geometry before it can load.
constexpr int kRun = 64;

// The bilinear taps of a run of pixels: each pixel's fractions and 1 - fx,
// and its first corner (the element offset of its top-left source pixel,
// plane 0); the others are at fixed steps from it. prepare() also says, for
// each group of four, whether every corner is where those steps put it (no
// position on the last column or row, whose neighbour is clamped onto
// itself) with room for a 16-byte load at the last corner; other groups take
// the per-sample reading.
struct BilinearRun {
    alignas(64) double fx[kRun], rest[kRun], fy[kRun];
    alignas(32) int corner[kRun];
    int64_t c, wc;  // element steps to the right and lower neighbours
    double c_steps, wc_steps, last_col, last_row, last_first, window_start;

    explicit BilinearRun(const WarpSource& s)
        : c(static_cast<int64_t>(s.channels)), wc(static_cast<int64_t>(s.stride)),
          c_steps(static_cast<double>(c)), wc_steps(static_cast<double>(wc)),
          last_col(static_cast<double>(s.last_col)), last_row(static_cast<double>(s.last_row)),
          // The highest first corner whose last corner's load ends inside the window.
          last_first(static_cast<double>(static_cast<int64_t>(s.rows) * wc - 4 - wc - c)),
          window_start(-static_cast<double>(window_offset(s))) {}

    // The whole-image element offset of the window's first element, which
    // every corner subtracts (0 for a whole-image source).
    static int64_t window_offset(const WarpSource& s) {
        return static_cast<int64_t>(s.top * s.stride + s.left * s.channels);
    }

    // Prepares pixels at..at + D::kLanes - 1 of the run, and says for each
    // group of four whether it is whole. The positions are in
    // [0, H - 1] x [0, W - 1], so truncation is the floor, and the first
    // corner's offset is exact in double (warp_wide_rows makes sure).
    template <typename D>
    LUMRA_SHARED_BODY void prepare(const WarpSource&, D y, D x, int at, bool* whole) {
        const D y0 = truncate(y), x0 = truncate(x);
        const D fractions_x = x - x0;
        store(fx + at, fractions_x);
        store(rest + at, D(1.0) - fractions_x);
        store(fy + at, y - y0);
        const D first = (y0 * D(wc_steps) + x0 * D(c_steps)) + D(window_start);
        store_int32(corner + at, first);
        const auto edge = simd::either(simd::either(equal(x0, D(last_col)), equal(y0, D(last_row))),
                                       greater(first, D(last_first)));
        simd::none_by_four(edge, whole + at / 4);
    }
};

// The geometry pass over pixels at..n - 1 of a run from column `first`,
// D::kLanes at a time (n - at a multiple of it): the limited positions
// (warp_geometry.h) into ys and xs, the taps into `taps`, and for each group
// of four whether it is whole.
template <typename D, typename Taps>
LUMRA_SHARED_BODY void plan_lanes(const WarpSource& s, const Geometry& g, const PlaneCoefficients& k,
                                  const RowTerms& r, uint64_t first, int at, int n, Taps& taps, double* ys, double* xs,
                                  bool* whole) {
    D columns = D::counting(static_cast<double>(first + static_cast<uint64_t>(at)));
    for (; at < n; at += D::kLanes, columns = columns + D(static_cast<double>(D::kLanes))) {
        D y, x;
        plane_position(g, k, pixel_terms(g, r, columns), r.dy, y, x);
        store(ys + at, y);
        store(xs + at, x);
        taps.prepare(s, y, x, at, whole);
    }
}

template <typename Taps>
LUMRA_TARGET_AVX2 inline void plan_avx2(const WarpSource& s, const Geometry& g, const PlaneCoefficients& k,
                                        const RowTerms& r, uint64_t first, int at, int n, Taps& taps, double* ys,
                                        double* xs, bool* whole) {
    plan_lanes<simd::D4>(s, g, k, r, first, at, n, taps, ys, xs, whole);
}

// The same pass for the first n & ~7 pixels with AVX-512, eight in the lanes.
void plan_bilinear_avx512(const WarpSource& s, const Geometry& g, const PlaneCoefficients& k, const RowTerms& r,
                          uint64_t first, int n, BilinearRun& taps, double* ys, double* xs, bool* whole) noexcept;

// The geometry pass of a run of bilinear taps, on the widest path allowed.
LUMRA_TARGET_AVX2 inline void plan_bilinear(const WarpSource& s, const Geometry& g, const PlaneCoefficients& k,
                                            const RowTerms& r, uint64_t first, int n, BilinearRun& taps, double* ys,
                                            double* xs, bool* whole, bool avx512) {
    int done = 0;
    if (avx512) {
        done = n & ~7;
        plan_bilinear_avx512(s, g, k, r, first, done, taps, ys, xs, whole);
    }
    plan_avx2(s, g, k, r, first, done, n, taps, ys, xs, whole);
}

}  // namespace lumra
#endif
