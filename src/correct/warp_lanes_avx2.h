// Pieces of the warp's AVX2 paths shared by the plane-at-a-time row warp
// (warp_avx2.cpp) and the pixel-at-a-time one (warp_pixels_avx2.cpp): the
// cubic window of four positions. Each lane performs the baseline path's
// operations in its order.
#pragma once

#include "correct/warp_geometry.h"
#include "correct/warp_resample.h"

#if LUMRA_SIMD_X86

namespace lumra {

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
