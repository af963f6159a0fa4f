// Pieces of the warp's AVX2 paths shared by the plane-at-a-time row warp
// (warp_avx2.cpp) and the pixel-at-a-time one (warp_pixels_avx2.cpp): the
// geometry of four destination pixels in double lanes, and the cubic window
// of four positions. Each lane performs the baseline path's operations in
// its order.
#pragma once

#include "correct/warp_resample.h"

#if LUMRA_SIMD_X86
#include <immintrin.h>

namespace lumra {

// limit_high_then_low lane by lane: min and max return their second operand
// when the comparison fails, so a NaN takes the upper limit.
LUMRA_TARGET_AVX2 inline __m256d limit4(__m256d value, __m256d low, __m256d high) {
    return _mm256_max_pd(_mm256_min_pd(value, high), low);
}

// Terms of four pixels of a row that every plane shares.
struct PixelTerms {
    __m256d dx, r2, r4, r6, tangent_x, tangent_y, product;
};

struct RowTerms {
    double dy, qy, two_l_sy;

    RowTerms(const Geometry& g, uint64_t row)
        : dy(static_cast<double>(static_cast<int64_t>(row)) - g.cy),
          qy((dy * g.scale) * (dy * g.scale)),
          two_l_sy(2.0 * g.extent * (dy * g.scale)) {}
};

// The columns col..col + 3 as doubles; adding 4 steps to the next four
// exactly.
LUMRA_TARGET_AVX2 inline __m256d four_columns(uint64_t col) {
    return _mm256_add_pd(_mm256_set1_pd(static_cast<double>(col)), _mm256_setr_pd(0, 1, 2, 3));
}

LUMRA_TARGET_AVX2 inline PixelTerms pixel_terms(const Geometry& g, const RowTerms& row, __m256d columns) {
    PixelTerms t;
    t.dx = _mm256_sub_pd(columns, _mm256_set1_pd(g.cx));
    const __m256d sx = _mm256_mul_pd(t.dx, _mm256_set1_pd(g.scale));
    const __m256d qx = _mm256_mul_pd(sx, sx);
    t.r2 = _mm256_min_pd(_mm256_add_pd(qx, _mm256_set1_pd(row.qy)), _mm256_set1_pd(1.0));
    t.r4 = _mm256_mul_pd(t.r2, t.r2);
    t.r6 = _mm256_mul_pd(t.r4, t.r2);
    t.tangent_x = _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(2.0), qx), t.r2);
    t.tangent_y = _mm256_add_pd(_mm256_set1_pd(2.0 * row.qy), t.r2);
    t.product = _mm256_mul_pd(_mm256_set1_pd(row.two_l_sy), sx);
    return t;
}

// The limited source positions of one plane, as plane_positions.
LUMRA_TARGET_AVX2 inline void positions4(const Geometry& g, const PlaneCoefficients& c, const PixelTerms& t,
                                         double dy, __m256d& y, __m256d& x) {
    const __m256d f = _mm256_add_pd(
        _mm256_add_pd(_mm256_add_pd(_mm256_set1_pd(c.kr[0]), _mm256_mul_pd(_mm256_set1_pd(c.kr[1]), t.r2)),
                      _mm256_mul_pd(_mm256_set1_pd(c.kr[2]), t.r4)),
        _mm256_mul_pd(_mm256_set1_pd(c.kr[3]), t.r6));
    y = _mm256_mul_pd(f, _mm256_set1_pd(dy));
    x = _mm256_mul_pd(f, t.dx);
    if (c.tangential) {
        const __m256d kt0 = _mm256_set1_pd(c.kt0), kt1 = _mm256_set1_pd(c.kt1), extent = _mm256_set1_pd(g.extent);
        y = _mm256_add_pd(y, _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(kt0, t.tangent_y), extent),
                                           _mm256_mul_pd(kt1, t.product)));
        x = _mm256_add_pd(x, _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(kt1, t.tangent_x), extent),
                                           _mm256_mul_pd(kt0, t.product)));
    }
    const __m256d zero = _mm256_setzero_pd();
    y = limit4(_mm256_add_pd(_mm256_set1_pd(g.cy), y), zero, _mm256_set1_pd(g.last_row));
    x = limit4(_mm256_add_pd(_mm256_set1_pd(g.cx), x), zero, _mm256_set1_pd(g.last_col));
}

// Window start and fraction index of four positions along one axis, as
// cubic_tap: start min(max(base - 1, 0), size - 4); index only for
// 1 <= base <= size - 3, else 0.
LUMRA_TARGET_AVX2 inline void cubic_taps4(__m256d position, int size, __m128i& start, __m128i& index) {
    const __m128i base = _mm256_cvttpd_epi32(position);
    const __m256d fraction = _mm256_sub_pd(position, _mm256_cvtepi32_pd(base));
    const __m128i steps = _mm256_cvttpd_epi32(_mm256_mul_pd(fraction, _mm256_set1_pd(kBicubicSteps)));
    const __m128i inside = _mm_and_si128(_mm_cmpgt_epi32(base, _mm_setzero_si128()),
                                         _mm_cmpgt_epi32(_mm_set1_epi32(size - 2), base));
    index = _mm_and_si128(inside, _mm_min_epi32(steps, _mm_set1_epi32(kBicubicSteps - 1)));
    start = _mm_min_epi32(_mm_max_epi32(_mm_sub_epi32(base, _mm_set1_epi32(1)), _mm_setzero_si128()),
                          _mm_set1_epi32(size - 4));
}

// The window offsets (plane 0) of four cubic windows that start at whole-
// image rows row_start and columns col_start, all inside the window.
LUMRA_TARGET_AVX2 inline __m128i window_offsets(const WarpSource& s, __m128i row_start, __m128i col_start) {
    const __m128i rows = _mm_sub_epi32(row_start, _mm_set1_epi32(static_cast<int>(s.top)));
    const __m128i cols = _mm_sub_epi32(col_start, _mm_set1_epi32(static_cast<int>(s.left)));
    return _mm_add_epi32(_mm_mullo_epi32(rows, _mm_set1_epi32(static_cast<int>(s.stride))),
                         _mm_mullo_epi32(cols, _mm_set1_epi32(static_cast<int>(s.channels))));
}

}  // namespace lumra
#endif
