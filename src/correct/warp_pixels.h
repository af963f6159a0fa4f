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
    __m256d c_steps, wc_steps, last_col, last_row, last_first, window_start;

    LUMRA_TARGET_AVX2 explicit BilinearRun(const WarpSource& s)
        : c(static_cast<int64_t>(s.channels)), wc(static_cast<int64_t>(s.stride)),
          c_steps(_mm256_set1_pd(static_cast<double>(c))), wc_steps(_mm256_set1_pd(static_cast<double>(wc))),
          last_col(_mm256_set1_pd(static_cast<double>(s.last_col))),
          last_row(_mm256_set1_pd(static_cast<double>(s.last_row))),
          // The highest first corner whose last corner's load ends inside the window.
          last_first(_mm256_set1_pd(static_cast<double>(static_cast<int64_t>(s.rows) * wc - 4 - wc - c))),
          window_start(_mm256_set1_pd(-static_cast<double>(window_offset(s)))) {}

    // The whole-image element offset of the window's first element, which
    // every corner subtracts (0 for a whole-image source).
    static int64_t window_offset(const WarpSource& s) {
        return static_cast<int64_t>(s.top * s.stride + s.left * s.channels);
    }

    // Prepares pixels at..at + 3 of the run. The positions are in
    // [0, H - 1] x [0, W - 1], so truncation is the floor, and the first
    // corner's offset is exact in double (warp_wide_rows makes sure).
    LUMRA_TARGET_AVX2 bool prepare(const WarpSource&, __m256d y, __m256d x, int at) {
        const __m256d y0 = _mm256_round_pd(y, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
        const __m256d x0 = _mm256_round_pd(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
        const __m256d fractions_x = _mm256_sub_pd(x, x0);
        _mm256_store_pd(fx + at, fractions_x);
        _mm256_store_pd(rest + at, _mm256_sub_pd(_mm256_set1_pd(1.0), fractions_x));
        _mm256_store_pd(fy + at, _mm256_sub_pd(y, y0));
        const __m256d first =
            _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(y0, wc_steps), _mm256_mul_pd(x0, c_steps)), window_start);
        _mm_store_si128(reinterpret_cast<__m128i*>(corner + at), _mm256_cvttpd_epi32(first));
        const __m256d edge = _mm256_or_pd(
            _mm256_or_pd(_mm256_cmp_pd(x0, last_col, _CMP_EQ_OQ), _mm256_cmp_pd(y0, last_row, _CMP_EQ_OQ)),
            _mm256_cmp_pd(first, last_first, _CMP_GT_OQ));
        return _mm256_movemask_pd(edge) == 0;
    }
};

// The geometry pass over pixels at..n - 1 of a run from column `first`,
// four at a time: the limited positions into ys and xs, the taps into
// `taps`, and for each group whether it is whole.
template <typename Taps>
LUMRA_TARGET_AVX2 inline void plan_avx2(const WarpSource& s, const Geometry& g, const PlaneCoefficients& k,
                                        const RowTerms& r, uint64_t first, int at, int n, Taps& taps, double* ys,
                                        double* xs, bool* whole) {
    __m256d columns = four_columns(first + static_cast<uint64_t>(at));
    for (; at < n; at += 4, columns = _mm256_add_pd(columns, _mm256_set1_pd(4.0))) {
        const PixelTerms t = pixel_terms(g, r, columns);
        __m256d y, x;
        positions4(g, k, t, r.dy, y, x);
        _mm256_store_pd(ys + at, y);
        _mm256_store_pd(xs + at, x);
        whole[at / 4] = taps.prepare(s, y, x, at);
    }
}

// The same pass for the first n & ~7 pixels with AVX-512, eight in the
// lanes, lane by lane the same operations as pixel_terms, positions4 and
// BilinearRun::prepare.
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
