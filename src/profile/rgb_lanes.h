// Four interleaved RGB float pixels as three four-lane vectors, and a select
// on a lane mask.
#pragma once

#include "simd/isa.h"
#include "simd/rgb_interleave.h"

#if LUMRA_SIMD_X86

namespace lumra {

// The twelve floats r0 g0 b0 r1 | g1 b1 r2 g2 | b2 r3 g3 b3 as loaded, and
// the channels they hold.
struct RgbLanes {
    __m128 first, middle, last;
    __m128 red, green, blue;
};

inline RgbLanes load_rgb_lanes(const float* pixels) {
    RgbLanes out;
    out.first = _mm_loadu_ps(pixels), out.middle = _mm_loadu_ps(pixels + 4), out.last = _mm_loadu_ps(pixels + 8);
    simd::deinterleave_rgb(out.first, out.middle, out.last, out.red, out.green, out.blue);
    return out;
}

inline void store_rgb_lanes(float* pixels, __m128 red, __m128 green, __m128 blue) {
    __m128 first, middle, last;
    simd::interleave_rgb(red, green, blue, first, middle, last);
    _mm_storeu_ps(pixels, first);
    _mm_storeu_ps(pixels + 4, middle);
    _mm_storeu_ps(pixels + 8, last);
}

inline __m128 select(__m128 mask, __m128 yes, __m128 no) {
    return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no));
}

}  // namespace lumra
#endif
