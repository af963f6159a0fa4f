// Sixteen float lanes in AVX-512 registers behind the names of Sse2Lanes and
// Avx2Lanes (float_lanes.h), with masks held in mask registers. Every
// operation is the same IEEE operation lane for lane as at the narrower
// widths (no fused multiply-add), so all widths give identical results.
//
// Code using it must itself be compiled for AVX-512 (between
// LUMRA_BEGIN_AVX512 and LUMRA_END_AVX512, simd/isa.h) and run only at that
// level.
#pragma once

#include "simd/isa.h"

#if LUMRA_SIMD_X86

#include <array>
#include <cstdint>

#include "profile/float_lanes.h"

namespace lumra {

// Index tables that take sixteen interleaved RGB pixels (48 floats in three
// registers) apart and put them together again, two two-register permutes
// per channel or per register.
struct RgbPermutes {
    // Channel c: lane i of the first permute takes float 3i + c of the first
    // two registers; the second keeps it or takes it from the third.
    std::array<std::array<int32_t, 16>, 3> gather_first, gather_second;
    // Register r: float j is channel (16r + j) % 3 of pixel (16r + j) / 3;
    // the first permute takes red and green, the second blue.
    std::array<std::array<int32_t, 16>, 3> scatter_first, scatter_second;
};

constexpr RgbPermutes rgb_permutes() {
    RgbPermutes tables{};
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < 16; ++i) {
            const int at = 3 * i + c;
            tables.gather_first[c][i] = at < 32 ? at : 0;
            tables.gather_second[c][i] = at < 32 ? i : 16 + at - 32;
        }
    }
    for (int r = 0; r < 3; ++r) {
        for (int j = 0; j < 16; ++j) {
            const int at = 16 * r + j, pixel = at / 3, channel = at % 3;
            tables.scatter_first[r][j] = channel == 0 ? pixel : 16 + pixel;
            tables.scatter_second[r][j] = channel == 2 ? 16 + pixel : j;
        }
    }
    return tables;
}

inline constexpr RgbPermutes kRgbPermutes = rgb_permutes();

}  // namespace lumra

LUMRA_BEGIN_AVX512
namespace lumra {

struct Avx512Lanes {
    using F = __m512;
    using I = __m512i;
    using M = __mmask16;
    static constexpr int kLanes = 16;

    static F set1(float x) { return _mm512_set1_ps(x); }
    static F zero() { return _mm512_setzero_ps(); }
    static F add(F a, F b) { return _mm512_add_ps(a, b); }
    static F sub(F a, F b) { return _mm512_sub_ps(a, b); }
    static F mul(F a, F b) { return _mm512_mul_ps(a, b); }
    static F div(F a, F b) { return _mm512_div_ps(a, b); }
    // As minps / maxps: the second operand on a tie or NaN.
    static F min(F a, F b) { return _mm512_min_ps(a, b); }
    static F max(F a, F b) { return _mm512_max_ps(a, b); }
    static M lt(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
    static M le(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_LE_OQ); }
    static M gt(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_GT_OQ); }
    static M ge(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_GE_OQ); }
    static M eq(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_EQ_OQ); }
    static M not_gt(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_NGT_UQ); }
    static M not_le(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_NLE_UQ); }
    static M both(M a, M b) { return static_cast<M>(a & b); }
    static M either(M a, M b) { return static_cast<M>(a | b); }
    static F zero_unless(M mask, F a) { return _mm512_maskz_mov_ps(mask, a); }
    static F select(M mask, F yes, F no) { return _mm512_mask_blend_ps(mask, no, yes); }
    static bool all(M mask) { return mask == 0xFFFF; }
    static F magnitude(F a) {
        return _mm512_castsi512_ps(_mm512_and_si512(_mm512_castps_si512(a), _mm512_set1_epi32(0x7fffffff)));
    }
    static I truncate(F a) { return _mm512_cvttps_epi32(a); }
    static F to_float(I a) { return _mm512_cvtepi32_ps(a); }

    static F halves(__m256 low, __m256 high) {
        return _mm512_castpd_ps(
            _mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_castps_pd(low)), _mm256_castps_pd(high), 1));
    }

    static I indices(const std::array<int32_t, 16>& table) { return _mm512_loadu_si512(table.data()); }

    static void load_rgb(const float* pixels, F& red, F& green, F& blue) {
        const F a = _mm512_loadu_ps(pixels), b = _mm512_loadu_ps(pixels + 16), c = _mm512_loadu_ps(pixels + 32);
        F* channels[3] = {&red, &green, &blue};
        for (int k = 0; k < 3; ++k) {
            const F first = _mm512_permutex2var_ps(a, indices(kRgbPermutes.gather_first[k]), b);
            *channels[k] = _mm512_permutex2var_ps(first, indices(kRgbPermutes.gather_second[k]), c);
        }
    }

    static void store_rgb(float* pixels, F red, F green, F blue) {
        for (int r = 0; r < 3; ++r) {
            const F first = _mm512_permutex2var_ps(red, indices(kRgbPermutes.scatter_first[r]), green);
            _mm512_storeu_ps(pixels + 16 * r,
                             _mm512_permutex2var_ps(first, indices(kRgbPermutes.scatter_second[r]), blue));
        }
    }

    // Twelve consecutive floats at base + offsets[lane]: out[k] holds float
    // k of every lane's twelve. Each register takes four floats of lanes j,
    // j + 4, j + 8 and j + 12, one per 128-bit quarter, and a transpose
    // within the quarters puts them in lane order. (Gathers were measured
    // slower than these loads and transposes.)
    static void load_twelve(const float* base, I lane_offsets, F out[12]) {
        alignas(64) uint32_t offsets[16];
        _mm512_store_si512(offsets, lane_offsets);
        const float* p[16];
        for (int lane = 0; lane < 16; ++lane) p[lane] = base + offsets[lane];
        // Each lane's three loads together, so that its address is soon done with.
        F chunks[3][4];
        for (int j = 0; j < 4; ++j) {
            for (int c = 0; c < 3; ++c) {
                F quarters = _mm512_broadcast_f32x4(_mm_loadu_ps(p[j] + 4 * c));
                quarters = _mm512_mask_broadcast_f32x4(quarters, 0x00F0, _mm_loadu_ps(p[j + 4] + 4 * c));
                quarters = _mm512_mask_broadcast_f32x4(quarters, 0x0F00, _mm_loadu_ps(p[j + 8] + 4 * c));
                chunks[c][j] = _mm512_mask_broadcast_f32x4(quarters, 0xF000, _mm_loadu_ps(p[j + 12] + 4 * c));
            }
        }
        for (int k = 0; k < 12; k += 4) {
            const F* quarters = chunks[k / 4];
            const __m512d ab_low = _mm512_castps_pd(_mm512_unpacklo_ps(quarters[0], quarters[1]));
            const __m512d cd_low = _mm512_castps_pd(_mm512_unpacklo_ps(quarters[2], quarters[3]));
            const __m512d ab_high = _mm512_castps_pd(_mm512_unpackhi_ps(quarters[0], quarters[1]));
            const __m512d cd_high = _mm512_castps_pd(_mm512_unpackhi_ps(quarters[2], quarters[3]));
            out[k] = _mm512_castpd_ps(_mm512_unpacklo_pd(ab_low, cd_low));
            out[k + 1] = _mm512_castpd_ps(_mm512_unpackhi_pd(ab_low, cd_low));
            out[k + 2] = _mm512_castpd_ps(_mm512_unpacklo_pd(ab_high, cd_high));
            out[k + 3] = _mm512_castpd_ps(_mm512_unpackhi_pd(ab_high, cd_high));
        }
    }
};

}  // namespace lumra
LUMRA_END_AVX512

#endif
