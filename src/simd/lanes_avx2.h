// Eight lanes in AVX2 registers: the operations of Lanes (simd/lanes.h) under
// the same names, each one IEEE single-precision step with the same operand
// order, so one kernel text gives the same bits in one, four or eight lanes.
// Only code compiled for AVX2 and run at that level may use these.
#pragma once

#include <cstdint>

#include "simd/lanes.h"

#if LUMRA_SIMD_X86

namespace lumra {

// The copy operations are user-provided so that every calling convention
// passes and returns these types through memory: a value then survives a call
// between code compiled for AVX2 and a shared template compiled for the
// baseline (which unoptimised builds call out of line), whose conventions for
// a bare 256-bit vector differ. Optimised builds inline all of it.
struct Lanes8 {
    static constexpr int kLanes = 8;
    __m256 v;
    Lanes8() = default;
    LUMRA_TARGET_AVX2 Lanes8(__m256 value) : v(value) {}
    LUMRA_TARGET_AVX2 Lanes8(float value) : v(_mm256_set1_ps(value)) {}
    Lanes8(const Lanes8& other) : v(other.v) {}
    Lanes8& operator=(const Lanes8& other) {
        v = other.v;
        return *this;
    }
};
struct LaneMask8 {
    __m256 m;
    LaneMask8() = default;
    LUMRA_TARGET_AVX2 LaneMask8(__m256 mask) : m(mask) {}
    LaneMask8(const LaneMask8& other) : m(other.m) {}
    LaneMask8& operator=(const LaneMask8& other) {
        m = other.m;
        return *this;
    }
};

LUMRA_BEGIN_AVX2

inline Lanes8 operator+(Lanes8 a, Lanes8 b) { return _mm256_add_ps(a.v, b.v); }
inline Lanes8 operator-(Lanes8 a, Lanes8 b) { return _mm256_sub_ps(a.v, b.v); }
inline Lanes8 operator*(Lanes8 a, Lanes8 b) { return _mm256_mul_ps(a.v, b.v); }
inline Lanes8 operator/(Lanes8 a, Lanes8 b) { return _mm256_div_ps(a.v, b.v); }
inline Lanes8 lower_limit(Lanes8 x, Lanes8 low) { return _mm256_max_ps(x.v, low.v); }
inline Lanes8 upper_limit(Lanes8 x, Lanes8 high) { return _mm256_min_ps(high.v, x.v); }
inline Lanes8 limit_high(Lanes8 x, Lanes8 high) { return _mm256_min_ps(x.v, high.v); }
inline Lanes8 lower_limit_keeping_nan(Lanes8 x, Lanes8 low) { return _mm256_max_ps(low.v, x.v); }

inline LaneMask8 greater(Lanes8 a, Lanes8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_GT_OQ)}; }
inline LaneMask8 greater_equal(Lanes8 a, Lanes8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_GE_OQ)}; }
inline LaneMask8 less(Lanes8 a, Lanes8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_LT_OQ)}; }
inline LaneMask8 less_equal(Lanes8 a, Lanes8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_LE_OQ)}; }
inline LaneMask8 equal(Lanes8 a, Lanes8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_EQ_OQ)}; }
inline LaneMask8 not_greater(Lanes8 a, Lanes8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_NGT_UQ)}; }
inline LaneMask8 both(LaneMask8 a, LaneMask8 b) { return {_mm256_and_ps(a.m, b.m)}; }
inline LaneMask8 either(LaneMask8 a, LaneMask8 b) { return {_mm256_or_ps(a.m, b.m)}; }
inline LaneMask8 negate(LaneMask8 a) { return {_mm256_xor_ps(a.m, _mm256_castsi256_ps(_mm256_set1_epi32(-1)))}; }
inline bool all_set(LaneMask8 mask) { return _mm256_movemask_ps(mask.m) == 0xFF; }
inline Lanes8 select(LaneMask8 mask, Lanes8 when_set, Lanes8 otherwise) {
    return _mm256_blendv_ps(otherwise.v, when_set.v, mask.m);
}
inline Lanes8 zero_unless(LaneMask8 mask, Lanes8 value) { return _mm256_and_ps(mask.m, value.v); }
inline Lanes8 zero_where(LaneMask8 mask, Lanes8 value) { return _mm256_andnot_ps(mask.m, value.v); }
inline Lanes8 magnitude(Lanes8 value) {
    return _mm256_and_ps(value.v, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
}
inline Lanes8 whole_part(Lanes8 value) { return _mm256_cvtepi32_ps(_mm256_cvttps_epi32(value.v)); }
inline void store_whole(uint32_t* to, Lanes8 value) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), _mm256_cvttps_epi32(value.v));
}
inline Lanes8 load(const float* from, Lanes8 /*tag*/) { return _mm256_loadu_ps(from); }
inline void store(float* to, Lanes8 value) { _mm256_storeu_ps(to, value.v); }

// Two 128-bit halves as one vector.
inline __m256 halves(__m128 low, __m128 high) { return _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1); }

// Eight pixels as two groups of four side by side: the low 128 bits of each
// vector hold pixels 0-3 and the high 128 bits pixels 4-7, each in the layout
// of the four-pixel routines, so the same in-half shuffles serve both.
inline Rgb<Lanes8> load_rgb_floats(const float* pixels, Lanes8 /*tag*/) {
    __m256 r, g, b;
    simd::deinterleave_rgb(halves(_mm_loadu_ps(pixels), _mm_loadu_ps(pixels + 12)),
                           halves(_mm_loadu_ps(pixels + 4), _mm_loadu_ps(pixels + 16)),
                           halves(_mm_loadu_ps(pixels + 8), _mm_loadu_ps(pixels + 20)), r, g, b);
    return {r, g, b};
}
inline void store_rgb_floats(float* pixels, const Rgb<Lanes8>& value) {
    __m256 ordered[3];
    simd::interleave_rgb(value.r.v, value.g.v, value.b.v, ordered[0], ordered[1], ordered[2]);
    for (int i = 0; i < 3; ++i) {
        _mm_storeu_ps(pixels + 4 * i, _mm256_castps256_ps128(ordered[i]));
        _mm_storeu_ps(pixels + 12 + 4 * i, _mm256_extractf128_ps(ordered[i], 1));
    }
}

// As the four-lane gather_twelve: each register holds four floats of lane k
// in its low half and of lane k + 4 in its high half.
inline void gather_twelve(const float* base, const uint32_t* offsets, Lanes8 out[12]) {
    const float* p[8];
    for (int lane = 0; lane < 8; ++lane) p[lane] = base + offsets[lane];
    for (int k = 0; k < 12; k += 4) {
        const __m256 a = halves(_mm_loadu_ps(p[0] + k), _mm_loadu_ps(p[4] + k));
        const __m256 b = halves(_mm_loadu_ps(p[1] + k), _mm_loadu_ps(p[5] + k));
        const __m256 c = halves(_mm_loadu_ps(p[2] + k), _mm_loadu_ps(p[6] + k));
        const __m256 d = halves(_mm_loadu_ps(p[3] + k), _mm_loadu_ps(p[7] + k));
        const __m256d ab_low = _mm256_castps_pd(_mm256_unpacklo_ps(a, b));
        const __m256d cd_low = _mm256_castps_pd(_mm256_unpacklo_ps(c, d));
        const __m256d ab_high = _mm256_castps_pd(_mm256_unpackhi_ps(a, b));
        const __m256d cd_high = _mm256_castps_pd(_mm256_unpackhi_ps(c, d));
        out[k] = _mm256_castpd_ps(_mm256_unpacklo_pd(ab_low, cd_low));
        out[k + 1] = _mm256_castpd_ps(_mm256_unpackhi_pd(ab_low, cd_low));
        out[k + 2] = _mm256_castpd_ps(_mm256_unpacklo_pd(ab_high, cd_high));
        out[k + 3] = _mm256_castpd_ps(_mm256_unpackhi_pd(ab_high, cd_high));
    }
}

// As the four-lane gather_pairs_at, for eight lanes.
inline void gather_pairs_at(const float* const* at, Lanes8& first, Lanes8& second) {
    const __m256 lanes01 = halves(load_two_pairs(at[0], at[1]), load_two_pairs(at[4], at[5]));
    const __m256 lanes23 = halves(load_two_pairs(at[2], at[3]), load_two_pairs(at[6], at[7]));
    first = _mm256_shuffle_ps(lanes01, lanes23, _MM_SHUFFLE(2, 0, 2, 0));
    second = _mm256_shuffle_ps(lanes01, lanes23, _MM_SHUFFLE(3, 1, 3, 1));
}

LUMRA_END_AVX2

}  // namespace lumra

#endif
