// The interpolated tone-curve lookup (lut_lookup.h) in eight AVX2 lanes.
// Only code compiled for AVX2 and run at that level may use these.
#pragma once

#include <cstdint>

#include "color/lut_lookup.h"
#include "simd/lanes_avx2.h"

#if LUMRA_SIMD_X86

namespace lumra {

// table[k], table[k + 1] for two indices given as one 64-bit word (each in
// [0, 2^31)): the two pairs as the two 64-bit halves of a vector, each pair
// one 64-bit load. The indices leave the vector two at a time as 64-bit
// moves, which costs fewer instructions than one extraction each.
LUMRA_TARGET_AVX2 inline __m128d two_pairs(const float* table, uint64_t two_indices) {
    const auto pair = [&](uint64_t k) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(table + k)); };
    return _mm_castsi128_pd(_mm_unpacklo_epi64(pair(two_indices & 0xffffffffu), pair(two_indices >> 32)));
}

// The interpolated lookup of lut_lookup.h, eight positions at once. Pairs
// lut[k], lut[k + 1] are read as 64-bit loads, which was measured faster than
// vgatherdps on processors with slow gathers.
LUMRA_TARGET_AVX2 inline Lanes8 lut_lookup(const float* lut, Lanes8 position, LutBounds bounds) {
    const Lanes8 p = clamp_position(position, Lanes8(bounds.top));
    __m256i k = _mm256_cvttps_epi32(upper_limit(p, Lanes8(kIndexCeiling)).v);
    const Lanes8 fraction = p - Lanes8(_mm256_cvtepi32_ps(k));
    k = _mm256_min_epi32(k, _mm256_set1_epi32(bounds.last));
    const __m128i first = _mm256_castsi256_si128(k), second = _mm256_extracti128_si256(k, 1);
    // Pairs of lanes 0 1 | 4 5 and 2 3 | 6 7; the shuffles take the low and
    // the high entry of each pair in lane order.
    const __m256 even = _mm256_castpd_ps(
        _mm256_set_m128d(two_pairs(lut, static_cast<uint64_t>(_mm_cvtsi128_si64(second))),
                         two_pairs(lut, static_cast<uint64_t>(_mm_cvtsi128_si64(first)))));
    const __m256 odd = _mm256_castpd_ps(
        _mm256_set_m128d(two_pairs(lut, static_cast<uint64_t>(_mm_extract_epi64(second, 1))),
                         two_pairs(lut, static_cast<uint64_t>(_mm_extract_epi64(first, 1)))));
    const Lanes8 low = _mm256_shuffle_ps(even, odd, _MM_SHUFFLE(2, 0, 2, 0));
    const Lanes8 high = _mm256_shuffle_ps(even, odd, _MM_SHUFFLE(3, 1, 3, 1));
    return interpolate(low, high, fraction);
}

template <typename In>
LUMRA_TARGET_AVX2 inline Lanes8 direct_lookup(const float* lut, const In* pixels, int channel, Lanes8 /*tag*/) {
    const In* p = pixels + channel;
    return Lanes8(_mm256_setr_ps(lut[p[0]], lut[p[3]], lut[p[6]], lut[p[9]], lut[p[12]], lut[p[15]], lut[p[18]],
                                 lut[p[21]]));
}

}  // namespace lumra

#endif
