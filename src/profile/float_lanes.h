// Float vectors of four (SSE2) or eight (AVX2) lanes behind one set of names,
// so that a kernel written once against `Lanes` runs at either width. Every
// operation is the same IEEE operation lane for lane at both widths (no fused
// multiply-add), so the two widths give identical results.
//
// The AVX2 type is compiled for AVX2 only; code using it must itself be
// compiled for AVX2 (see hue_sat_map.cpp) and run only where the processor
// has it.
#pragma once

#include "simd/isa.h"

#if LUMRA_SIMD_X86

#include <cstdint>

#include "profile/rgb_lanes.h"

namespace lumra {

struct Sse2Lanes {
    using F = __m128;
    using I = __m128i;
    using M = __m128;  // a mask of lanes: all ones or all zeros in each
    static constexpr int kLanes = 4;

    static F set1(float x) { return _mm_set1_ps(x); }
    static F zero() { return _mm_setzero_ps(); }
    static F add(F a, F b) { return _mm_add_ps(a, b); }
    static F sub(F a, F b) { return _mm_sub_ps(a, b); }
    static F mul(F a, F b) { return _mm_mul_ps(a, b); }
    static F div(F a, F b) { return _mm_div_ps(a, b); }
    // minps / maxps: the second operand on a tie or NaN.
    static F min(F a, F b) { return _mm_min_ps(a, b); }
    static F max(F a, F b) { return _mm_max_ps(a, b); }
    static M lt(F a, F b) { return _mm_cmplt_ps(a, b); }
    static M le(F a, F b) { return _mm_cmple_ps(a, b); }
    static M gt(F a, F b) { return _mm_cmpgt_ps(a, b); }
    static M ge(F a, F b) { return _mm_cmpge_ps(a, b); }
    static M eq(F a, F b) { return _mm_cmpeq_ps(a, b); }
    static M not_gt(F a, F b) { return _mm_cmpngt_ps(a, b); }
    static M not_le(F a, F b) { return _mm_cmpnle_ps(a, b); }
    static M both(M a, M b) { return _mm_and_ps(a, b); }
    static M either(M a, M b) { return _mm_or_ps(a, b); }
    static F zero_unless(M mask, F a) { return _mm_and_ps(mask, a); }
    static F select(M mask, F yes, F no) { return lumra::select(mask, yes, no); }
    static bool all(M mask) { return _mm_movemask_ps(mask) == 0xF; }
    static F magnitude(F a) { return _mm_and_ps(a, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff))); }
    static I truncate(F a) { return _mm_cvttps_epi32(a); }
    static F to_float(I a) { return _mm_cvtepi32_ps(a); }
    static void store(float* to, F a) { _mm_storeu_ps(to, a); }
    static F load(const float* from) { return _mm_loadu_ps(from); }
    static void store(uint32_t* to, I a) { _mm_storeu_si128(reinterpret_cast<__m128i*>(to), a); }

    static void load_rgb(const float* pixels, F& red, F& green, F& blue) {
        const RgbLanes rgb = load_rgb_lanes(pixels);
        red = rgb.red, green = rgb.green, blue = rgb.blue;
    }
    static void store_rgb(float* pixels, F red, F green, F blue) { store_rgb_lanes(pixels, red, green, blue); }

    // Twelve consecutive floats at base + offsets[lane], transposed: out[k]
    // holds float k of every lane's twelve.
    static void load_twelve(const float* base, I lane_offsets, F out[12]) {
        alignas(16) uint32_t offsets[4];
        store(offsets, lane_offsets);
        const float* p[4];
        for (int lane = 0; lane < 4; ++lane) p[lane] = base + offsets[lane];
        for (int k = 0; k < 12; k += 4)
            transpose(_mm_loadu_ps(p[0] + k), _mm_loadu_ps(p[1] + k), _mm_loadu_ps(p[2] + k), _mm_loadu_ps(p[3] + k),
                      out + k);
    }

    // The two consecutive floats at each lane's pointer, split into the first
    // ones and the second ones.
    static void load_pairs(const float* const* at, F& first, F& second) {
        split_pairs(load_two_pairs(at[0], at[1]), load_two_pairs(at[2], at[3]), first, second);
    }
    static void split_pairs(F lanes01, F lanes23, F& first, F& second) {
        first = _mm_shuffle_ps(lanes01, lanes23, _MM_SHUFFLE(2, 0, 2, 0));
        second = _mm_shuffle_ps(lanes01, lanes23, _MM_SHUFFLE(3, 1, 3, 1));
    }

    // Two floats at first, then two at second.
    static __m128 load_two_pairs(const float* first, const float* second) {
        const __m128 low = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(first));
        return _mm_loadh_pi(low, reinterpret_cast<const __m64*>(second));
    }

    static void transpose(F a, F b, F c, F d, F out[4]) {
        const __m128d ab_low = _mm_castps_pd(_mm_unpacklo_ps(a, b)), cd_low = _mm_castps_pd(_mm_unpacklo_ps(c, d));
        const __m128d ab_high = _mm_castps_pd(_mm_unpackhi_ps(a, b)), cd_high = _mm_castps_pd(_mm_unpackhi_ps(c, d));
        out[0] = _mm_castpd_ps(_mm_unpacklo_pd(ab_low, cd_low));
        out[1] = _mm_castpd_ps(_mm_unpackhi_pd(ab_low, cd_low));
        out[2] = _mm_castpd_ps(_mm_unpacklo_pd(ab_high, cd_high));
        out[3] = _mm_castpd_ps(_mm_unpackhi_pd(ab_high, cd_high));
    }
};

}  // namespace lumra

LUMRA_BEGIN_AVX2
namespace lumra {

// Eight lanes: lanes 0 to 3 and 4 to 7 are two groups of four consecutive
// pixels, each group laid out within its 128-bit half as Sse2Lanes lays out
// four, so the same in-half shuffles serve.
struct Avx2Lanes {
    using F = __m256;
    using I = __m256i;
    using M = __m256;
    static constexpr int kLanes = 8;

    static F set1(float x) { return _mm256_set1_ps(x); }
    static F zero() { return _mm256_setzero_ps(); }
    static F add(F a, F b) { return _mm256_add_ps(a, b); }
    static F sub(F a, F b) { return _mm256_sub_ps(a, b); }
    static F mul(F a, F b) { return _mm256_mul_ps(a, b); }
    static F div(F a, F b) { return _mm256_div_ps(a, b); }
    static F min(F a, F b) { return _mm256_min_ps(a, b); }
    static F max(F a, F b) { return _mm256_max_ps(a, b); }
    static M lt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    static M le(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
    static M gt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    static M ge(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
    static M eq(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_EQ_OQ); }
    static M not_gt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_NGT_UQ); }
    static M not_le(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_NLE_UQ); }
    static M both(M a, M b) { return _mm256_and_ps(a, b); }
    static M either(M a, M b) { return _mm256_or_ps(a, b); }
    static F zero_unless(M mask, F a) { return _mm256_and_ps(mask, a); }
    static F select(M mask, F yes, F no) { return _mm256_blendv_ps(no, yes, mask); }
    static bool all(M mask) { return _mm256_movemask_ps(mask) == 0xFF; }
    static F magnitude(F a) { return _mm256_and_ps(a, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff))); }
    static I truncate(F a) { return _mm256_cvttps_epi32(a); }
    static F to_float(I a) { return _mm256_cvtepi32_ps(a); }
    static void store(float* to, F a) { _mm256_storeu_ps(to, a); }
    static F load(const float* from) { return _mm256_loadu_ps(from); }
    static void store(uint32_t* to, I a) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), a); }

    static F halves(__m128 low, __m128 high) { return _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1); }

    static void load_rgb(const float* pixels, F& red, F& green, F& blue) {
        const F a = halves(_mm_loadu_ps(pixels), _mm_loadu_ps(pixels + 12));
        const F b = halves(_mm_loadu_ps(pixels + 4), _mm_loadu_ps(pixels + 16));
        const F c = halves(_mm_loadu_ps(pixels + 8), _mm_loadu_ps(pixels + 20));
        simd::deinterleave_rgb(a, b, c, red, green, blue);
    }

    static void store_rgb(float* pixels, F red, F green, F blue) {
        F a, b, c;
        simd::interleave_rgb(red, green, blue, a, b, c);
        _mm_storeu_ps(pixels, _mm256_castps256_ps128(a));
        _mm_storeu_ps(pixels + 4, _mm256_castps256_ps128(b));
        _mm_storeu_ps(pixels + 8, _mm256_castps256_ps128(c));
        _mm_storeu_ps(pixels + 12, _mm256_extractf128_ps(a, 1));
        _mm_storeu_ps(pixels + 16, _mm256_extractf128_ps(b, 1));
        _mm_storeu_ps(pixels + 20, _mm256_extractf128_ps(c, 1));
    }

    // As Sse2Lanes::load_twelve, for eight lanes: each register holds four
    // floats of lane k in its low half and of lane k + 4 in its high half.
    static void load_twelve(const float* base, I lane_offsets, F out[12]) {
        alignas(32) uint32_t offsets[8];
        store(offsets, lane_offsets);
        const float* p[8];
        for (int lane = 0; lane < 8; ++lane) p[lane] = base + offsets[lane];
        for (int k = 0; k < 12; k += 4) {
            const F a = halves(_mm_loadu_ps(p[0] + k), _mm_loadu_ps(p[4] + k));
            const F b = halves(_mm_loadu_ps(p[1] + k), _mm_loadu_ps(p[5] + k));
            const F c = halves(_mm_loadu_ps(p[2] + k), _mm_loadu_ps(p[6] + k));
            const F d = halves(_mm_loadu_ps(p[3] + k), _mm_loadu_ps(p[7] + k));
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

    // As Sse2Lanes::load_pairs, for eight lanes.
    static void load_pairs(const float* const* at, F& first, F& second) {
        const F lanes01 = halves(Sse2Lanes::load_two_pairs(at[0], at[1]), Sse2Lanes::load_two_pairs(at[4], at[5]));
        const F lanes23 = halves(Sse2Lanes::load_two_pairs(at[2], at[3]), Sse2Lanes::load_two_pairs(at[6], at[7]));
        first = _mm256_shuffle_ps(lanes01, lanes23, _MM_SHUFFLE(2, 0, 2, 0));
        second = _mm256_shuffle_ps(lanes01, lanes23, _MM_SHUFFLE(3, 1, 3, 1));
    }
};

}  // namespace lumra
LUMRA_END_AVX2

#endif
