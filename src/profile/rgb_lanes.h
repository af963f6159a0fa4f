// Four interleaved RGB float pixels as three four-lane vectors, and the
// std::min / std::max tie and NaN rules in SSE2 form.
#pragma once

#include "simd/isa.h"

#if LUMRA_SIMD_X86

namespace lumra {

// The twelve floats r0 g0 b0 r1 | g1 b1 r2 g2 | b2 r3 g3 b3 as loaded, and
// the channels they hold.
struct RgbLanes {
    __m128 first, middle, last;
    __m128 red, green, blue;
};

inline RgbLanes load_rgb_lanes(const float* pixels) {
    const __m128 a = _mm_loadu_ps(pixels), b = _mm_loadu_ps(pixels + 4), c = _mm_loadu_ps(pixels + 8);
    const __m128 red = _mm_shuffle_ps(a, _mm_shuffle_ps(b, c, _MM_SHUFFLE(1, 1, 2, 2)), _MM_SHUFFLE(2, 0, 3, 0));
    const __m128 green = _mm_shuffle_ps(_mm_shuffle_ps(a, b, _MM_SHUFFLE(0, 0, 1, 1)),
                                        _mm_shuffle_ps(b, c, _MM_SHUFFLE(2, 2, 3, 3)), _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 blue = _mm_shuffle_ps(_mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 1, 2, 2)),
                                       _mm_shuffle_ps(c, c, _MM_SHUFFLE(3, 3, 0, 0)), _MM_SHUFFLE(2, 0, 2, 0));
    return RgbLanes{a, b, c, red, green, blue};
}

inline void store_rgb_lanes(float* pixels, __m128 red, __m128 green, __m128 blue) {
    const __m128 rg_low = _mm_unpacklo_ps(red, green), rg_high = _mm_unpackhi_ps(red, green);  // r0 g0 r1 g1, r2 g2 r3 g3
    _mm_storeu_ps(pixels, _mm_shuffle_ps(rg_low, _mm_shuffle_ps(blue, red, _MM_SHUFFLE(1, 1, 0, 0)),
                                         _MM_SHUFFLE(2, 0, 1, 0)));
    _mm_storeu_ps(pixels + 4, _mm_shuffle_ps(_mm_shuffle_ps(green, blue, _MM_SHUFFLE(1, 1, 1, 1)), rg_high,
                                             _MM_SHUFFLE(1, 0, 2, 0)));
    _mm_storeu_ps(pixels + 8, _mm_shuffle_ps(_mm_shuffle_ps(blue, red, _MM_SHUFFLE(3, 3, 2, 2)),
                                             _mm_shuffle_ps(green, blue, _MM_SHUFFLE(3, 3, 3, 3)),
                                             _MM_SHUFFLE(2, 0, 2, 0)));
}

// std::max(a, b) is (a < b) ? b : a, which maxps gives with its operands
// swapped (it returns the second operand on a tie or NaN); likewise min.
inline __m128 max_as_std(__m128 a, __m128 b) { return _mm_max_ps(b, a); }
inline __m128 min_as_std(__m128 a, __m128 b) { return _mm_min_ps(b, a); }

inline __m128 select(__m128 mask, __m128 yes, __m128 no) {
    return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no));
}

}  // namespace lumra
#endif
