// Three-channel pixels between their interleaved order and one vector per
// channel, written once for every width: four pixels in 128-bit vectors, or
// two groups of four side by side in 256-bit ones (each group within its
// 128-bit half, so the same in-half shuffles serve). Only data moves, so
// every width gives the same bits.
#pragma once

#include "simd/isa.h"

#if LUMRA_SIMD_X86

namespace lumra::simd {

// The vector operations the templates below are written with, for each
// width. Vectors pass by reference, so that a template compiled for the
// baseline may call the 256-bit forms (a vector passed by value would cross
// calling conventions).
template <int kImm>
inline void shuffle(__m128& out, const __m128& a, const __m128& b) {
    out = _mm_shuffle_ps(a, b, kImm);
}
template <int kImm>
LUMRA_TARGET_AVX2 inline void shuffle(__m256& out, const __m256& a, const __m256& b) {
    out = _mm256_shuffle_ps(a, b, kImm);
}
inline void unpack(__m128& low, __m128& high, const __m128& a, const __m128& b) {
    low = _mm_unpacklo_ps(a, b), high = _mm_unpackhi_ps(a, b);
}
LUMRA_TARGET_AVX2 inline void unpack(__m256& low, __m256& high, const __m256& a, const __m256& b) {
    low = _mm256_unpacklo_ps(a, b), high = _mm256_unpackhi_ps(a, b);
}

// (r0 g0 b0 r1) (g1 b1 r2 g2) (b2 r3 g3 b3) -> (r0..r3) (g0..g3) (b0..b3)
template <typename F>
LUMRA_SHARED_BODY void deinterleave_rgb(const F& a, const F& b, const F& c, F& red, F& green, F& blue) {
    F head, tail;
    shuffle<_MM_SHUFFLE(1, 1, 2, 2)>(tail, b, c);
    shuffle<_MM_SHUFFLE(2, 0, 3, 0)>(red, a, tail);
    shuffle<_MM_SHUFFLE(0, 0, 1, 1)>(head, a, b);
    shuffle<_MM_SHUFFLE(2, 2, 3, 3)>(tail, b, c);
    shuffle<_MM_SHUFFLE(2, 0, 2, 0)>(green, head, tail);
    shuffle<_MM_SHUFFLE(1, 1, 2, 2)>(head, a, b);
    shuffle<_MM_SHUFFLE(3, 3, 0, 0)>(tail, c, c);
    shuffle<_MM_SHUFFLE(2, 0, 2, 0)>(blue, head, tail);
}

// The inverse: three vectors in pixel order.
template <typename F>
LUMRA_SHARED_BODY void interleave_rgb(const F& red, const F& green, const F& blue, F& first, F& middle, F& last) {
    F rg_low, rg_high, head, tail;
    unpack(rg_low, rg_high, red, green);  // r0 g0 r1 g1, r2 g2 r3 g3
    shuffle<_MM_SHUFFLE(1, 1, 0, 0)>(tail, blue, red);
    shuffle<_MM_SHUFFLE(2, 0, 1, 0)>(first, rg_low, tail);
    shuffle<_MM_SHUFFLE(1, 1, 1, 1)>(head, green, blue);
    shuffle<_MM_SHUFFLE(1, 0, 2, 0)>(middle, head, rg_high);
    shuffle<_MM_SHUFFLE(3, 3, 2, 2)>(head, blue, red);
    shuffle<_MM_SHUFFLE(3, 3, 3, 3)>(tail, green, blue);
    shuffle<_MM_SHUFFLE(2, 0, 2, 0)>(last, head, tail);
}

}  // namespace lumra::simd

#endif
