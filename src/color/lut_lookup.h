// The interpolated tone-curve lookup shared by the colour kernels, the
// hue-preserving path and the mono LUT, in scalar and lane forms that give the
// same bits.
#pragma once

#include <algorithm>
#include <cstdint>

#include "simd/lanes.h"

namespace lumra {

// Bounds of a padded table of N caller entries (N + 1 stored, the last a copy
// of entry N - 1). top = float(N - 1) limits positions; last = N - 1 limits
// indices again after conversion, because float(N - 1) can round above N - 1
// for tables beyond 2^24 entries.
struct LutBounds {
    float top;
    int32_t last;
};
inline LutBounds lut_bounds(int32_t size) { return {static_cast<float>(size - 1), size - 1}; }

// The largest float below 2^31 (and below 2^64): positions are limited to it
// before conversion so that truncation is always defined.
constexpr float kIndexCeiling = 2147483520.0f;
constexpr float kWideIndexCeiling = 18446742974197923840.0f;

// max with 0 first, then min with the top: a NaN position becomes 0.
template <typename V>
inline V clamp_position(V position, V top) {
    return upper_limit(lower_limit(position, V(0.0f)), top);
}

template <typename V>
inline V interpolate(V low, V high, V fraction) {
    return low + (high - low) * fraction;
}

// The pairs table[index[l]], table[index[l] + 1] for four lanes (each pair
// one 64-bit load where SSE2 is there).
inline void gather_pairs(const float* table, const int32_t* index, Lanes& low, Lanes& high) {
#if LUMRA_SIMD_X86
    const auto pair = [&](int l) {
        return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(table + index[l])));
    };
    const __m128 first = _mm_unpacklo_ps(pair(0), pair(1));   // l0 l1 h0 h1
    const __m128 second = _mm_unpacklo_ps(pair(2), pair(3));  // l2 l3 h2 h3
    low = _mm_movelh_ps(first, second);
    high = _mm_movehl_ps(second, first);
#else
    low = gather(table, index, Lanes{});
    high = gather(table + 1, index, Lanes{});
#endif
}

// lut[k] + (lut[k + 1] - lut[k]) * f at the clamped position, k = trunc(p).
// At p = N - 1 the padding entry is read with weight 0.
inline float lut_lookup(const float* lut, float position, LutBounds bounds) {
    const float p = clamp_position(position, bounds.top);
    int32_t k = static_cast<int32_t>(upper_limit(p, kIndexCeiling));
    const float fraction = p - static_cast<float>(k);
    k = std::min(k, bounds.last);
    return interpolate(lut[k], lut[k + 1], fraction);
}

inline Lanes lut_lookup(const float* lut, Lanes position, LutBounds bounds) {
    const Lanes p = clamp_position(position, Lanes(bounds.top));
    alignas(16) int32_t index[4];
#if LUMRA_SIMD_X86
    __m128i k = _mm_cvttps_epi32(upper_limit(p, Lanes(kIndexCeiling)).v);
    const Lanes fraction = p - Lanes(_mm_cvtepi32_ps(k));
    const __m128i last = _mm_set1_epi32(bounds.last);
    const __m128i above = _mm_cmpgt_epi32(k, last);
    k = _mm_or_si128(_mm_and_si128(above, last), _mm_andnot_si128(above, k));
    _mm_store_si128(reinterpret_cast<__m128i*>(index), k);
#else
    Lanes fraction;
    for (int l = 0; l < 4; ++l) {
        const int32_t k = static_cast<int32_t>(upper_limit(p.v[l], kIndexCeiling));
        fraction.v[l] = p.v[l] - static_cast<float>(k);
        index[l] = std::min(k, bounds.last);
    }
#endif
    Lanes low, high;
    gather_pairs(lut, index, low, high);
    return interpolate(low, high, fraction);
}

// The direct-index read of channel c of one pixel (or of four interleaved
// pixels) of integer elements: the table holds a value for every element value.
template <typename In>
inline float direct_lookup(const float* lut, const In* pixel, int channel, float /*tag*/) {
    return lut[pixel[channel]];
}
template <typename In>
inline Lanes direct_lookup(const float* lut, const In* pixels, int channel, Lanes /*tag*/) {
    const int32_t index[4] = {pixels[channel], pixels[3 + channel], pixels[6 + channel], pixels[9 + channel]};
    return gather(lut, index, Lanes{});
}

// The caller's table of size >= 1 entries without padding (the mono LUT): the
// entry after the last counts as the last, and nothing past size - 1 is read.
inline float lut_lookup_unpadded(const float* lut, uint64_t size, float top, float position) {
    const float p = clamp_position(position, top);
    uint64_t k = static_cast<uint64_t>(upper_limit(p, kWideIndexCeiling));
    const float fraction = p - static_cast<float>(k);
    const uint64_t last = size - 1;
    k = std::min(k, last);
    return interpolate(lut[k], lut[std::min(k + 1, last)], fraction);
}

}  // namespace lumra
