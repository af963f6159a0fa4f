// Three-channel pixels between their interleaved order and one vector per
// channel, written once for every width: four pixels in 128-bit vectors, or
// two groups of four side by side in 256-bit ones (each group within its
// 128-bit half, so the same in-half shuffles serve). Only data moves, so
// every width gives the same bits.
#pragma once

#include "simd/isa.h"

#if LUMRA_SIMD_X86

namespace lumra::simd {

template <int kImm>
inline __m128 shuffle(__m128 a, __m128 b) {
    return _mm_shuffle_ps(a, b, kImm);
}
template <int kImm>
LUMRA_TARGET_AVX2 inline __m256 shuffle(__m256 a, __m256 b) {
    return _mm256_shuffle_ps(a, b, kImm);
}
inline __m128 unpack_low(__m128 a, __m128 b) { return _mm_unpacklo_ps(a, b); }
inline __m128 unpack_high(__m128 a, __m128 b) { return _mm_unpackhi_ps(a, b); }
LUMRA_TARGET_AVX2 inline __m256 unpack_low(__m256 a, __m256 b) { return _mm256_unpacklo_ps(a, b); }
LUMRA_TARGET_AVX2 inline __m256 unpack_high(__m256 a, __m256 b) { return _mm256_unpackhi_ps(a, b); }

// (r0 g0 b0 r1) (g1 b1 r2 g2) (b2 r3 g3 b3) -> (r0..r3) (g0..g3) (b0..b3)
template <typename F>
LUMRA_SHARED_BODY void deinterleave_rgb(F a, F b, F c, F& red, F& green, F& blue) {
    red = shuffle<_MM_SHUFFLE(2, 0, 3, 0)>(a, shuffle<_MM_SHUFFLE(1, 1, 2, 2)>(b, c));
    green = shuffle<_MM_SHUFFLE(2, 0, 2, 0)>(shuffle<_MM_SHUFFLE(0, 0, 1, 1)>(a, b),
                                             shuffle<_MM_SHUFFLE(2, 2, 3, 3)>(b, c));
    blue = shuffle<_MM_SHUFFLE(2, 0, 2, 0)>(shuffle<_MM_SHUFFLE(1, 1, 2, 2)>(a, b),
                                            shuffle<_MM_SHUFFLE(3, 3, 0, 0)>(c, c));
}

// The inverse: three vectors in pixel order.
template <typename F>
LUMRA_SHARED_BODY void interleave_rgb(F red, F green, F blue, F& first, F& middle, F& last) {
    const F rg_low = unpack_low(red, green), rg_high = unpack_high(red, green);  // r0 g0 r1 g1, r2 g2 r3 g3
    first = shuffle<_MM_SHUFFLE(2, 0, 1, 0)>(rg_low, shuffle<_MM_SHUFFLE(1, 1, 0, 0)>(blue, red));
    middle = shuffle<_MM_SHUFFLE(1, 0, 2, 0)>(shuffle<_MM_SHUFFLE(1, 1, 1, 1)>(green, blue), rg_high);
    last = shuffle<_MM_SHUFFLE(2, 0, 2, 0)>(shuffle<_MM_SHUFFLE(3, 3, 2, 2)>(blue, red),
                                            shuffle<_MM_SHUFFLE(3, 3, 3, 3)>(green, blue));
}

}  // namespace lumra::simd

#endif
