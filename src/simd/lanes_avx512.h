// Sixteen lanes in AVX-512 registers, masks in mask registers: the
// operations of Lanes (simd/lanes.h) under the same names, each the same IEEE
// operation lane for lane, so one kernel text gives the same bits at every
// width. Only code compiled for AVX-512 (LUMRA_BEGIN_AVX512 ... END, or
// LUMRA_TARGET_AVX512) and run at that level may use these.
#pragma once

#include <array>
#include <cstdint>

#include "simd/lanes.h"

#if LUMRA_SIMD_X86

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

// Copies through memory, as Lanes8 (simd/lanes_avx2.h) explains.
struct Lanes16 {
    static constexpr int kLanes = 16;
    __m512 v;
    Lanes16() = default;
    LUMRA_TARGET_AVX512 Lanes16(__m512 value) : v(value) {}
    LUMRA_TARGET_AVX512 Lanes16(float value) : v(_mm512_set1_ps(value)) {}
    Lanes16(const Lanes16& other) : v(other.v) {}
    Lanes16& operator=(const Lanes16& other) {
        v = other.v;
        return *this;
    }
};
struct LaneMask16 {
    __mmask16 m;
};

LUMRA_BEGIN_AVX512

inline Lanes16 operator+(Lanes16 a, Lanes16 b) { return _mm512_add_ps(a.v, b.v); }
inline Lanes16 operator-(Lanes16 a, Lanes16 b) { return _mm512_sub_ps(a.v, b.v); }
inline Lanes16 operator*(Lanes16 a, Lanes16 b) { return _mm512_mul_ps(a.v, b.v); }
inline Lanes16 operator/(Lanes16 a, Lanes16 b) { return _mm512_div_ps(a.v, b.v); }
inline Lanes16 lower_limit(Lanes16 x, Lanes16 low) { return _mm512_max_ps(x.v, low.v); }
inline Lanes16 upper_limit(Lanes16 x, Lanes16 high) { return _mm512_min_ps(high.v, x.v); }
inline Lanes16 limit_high(Lanes16 x, Lanes16 high) { return _mm512_min_ps(x.v, high.v); }
inline Lanes16 lower_limit_keeping_nan(Lanes16 x, Lanes16 low) { return _mm512_max_ps(low.v, x.v); }

inline LaneMask16 greater(Lanes16 a, Lanes16 b) { return {_mm512_cmp_ps_mask(a.v, b.v, _CMP_GT_OQ)}; }
inline LaneMask16 greater_equal(Lanes16 a, Lanes16 b) { return {_mm512_cmp_ps_mask(a.v, b.v, _CMP_GE_OQ)}; }
inline LaneMask16 less(Lanes16 a, Lanes16 b) { return {_mm512_cmp_ps_mask(a.v, b.v, _CMP_LT_OQ)}; }
inline LaneMask16 less_equal(Lanes16 a, Lanes16 b) { return {_mm512_cmp_ps_mask(a.v, b.v, _CMP_LE_OQ)}; }
inline LaneMask16 equal(Lanes16 a, Lanes16 b) { return {_mm512_cmp_ps_mask(a.v, b.v, _CMP_EQ_OQ)}; }
inline LaneMask16 not_greater(Lanes16 a, Lanes16 b) { return {_mm512_cmp_ps_mask(a.v, b.v, _CMP_NGT_UQ)}; }
inline LaneMask16 both(LaneMask16 a, LaneMask16 b) { return {static_cast<__mmask16>(a.m & b.m)}; }
inline LaneMask16 either(LaneMask16 a, LaneMask16 b) { return {static_cast<__mmask16>(a.m | b.m)}; }
inline LaneMask16 negate(LaneMask16 a) { return {static_cast<__mmask16>(~a.m)}; }
inline bool all_set(LaneMask16 mask) { return mask.m == 0xFFFF; }
inline Lanes16 select(LaneMask16 mask, Lanes16 when_set, Lanes16 otherwise) {
    return _mm512_mask_blend_ps(mask.m, otherwise.v, when_set.v);
}
inline Lanes16 zero_unless(LaneMask16 mask, Lanes16 value) { return _mm512_maskz_mov_ps(mask.m, value.v); }
inline Lanes16 zero_where(LaneMask16 mask, Lanes16 value) {
    return _mm512_maskz_mov_ps(static_cast<__mmask16>(~mask.m), value.v);
}
inline Lanes16 magnitude(Lanes16 value) {
    return _mm512_castsi512_ps(_mm512_and_si512(_mm512_castps_si512(value.v), _mm512_set1_epi32(0x7fffffff)));
}
inline Lanes16 whole_part(Lanes16 value) { return _mm512_cvtepi32_ps(_mm512_cvttps_epi32(value.v)); }
inline void store_whole(uint32_t* to, Lanes16 value) { _mm512_storeu_si512(to, _mm512_cvttps_epi32(value.v)); }
inline Lanes16 load(const float* from, Lanes16 /*tag*/) { return _mm512_loadu_ps(from); }
inline void store(float* to, Lanes16 value) { _mm512_storeu_ps(to, value.v); }

inline __m512i permute_indices(const std::array<int32_t, 16>& table) { return _mm512_loadu_si512(table.data()); }

// Sixteen interleaved pixels (three registers) to one register per channel
// and back, two two-register permutes each.
inline Rgb<Lanes16> load_rgb_floats(const float* pixels, Lanes16 /*tag*/) {
    const __m512 a = _mm512_loadu_ps(pixels), b = _mm512_loadu_ps(pixels + 16), c = _mm512_loadu_ps(pixels + 32);
    __m512 channels[3];
    for (int k = 0; k < 3; ++k) {
        const __m512 first = _mm512_permutex2var_ps(a, permute_indices(kRgbPermutes.gather_first[k]), b);
        channels[k] = _mm512_permutex2var_ps(first, permute_indices(kRgbPermutes.gather_second[k]), c);
    }
    return {channels[0], channels[1], channels[2]};
}
inline void store_rgb_floats(float* pixels, const Rgb<Lanes16>& value) {
    for (int r = 0; r < 3; ++r) {
        const __m512 first = _mm512_permutex2var_ps(value.r.v, permute_indices(kRgbPermutes.scatter_first[r]), value.g.v);
        _mm512_storeu_ps(pixels + 16 * r,
                         _mm512_permutex2var_ps(first, permute_indices(kRgbPermutes.scatter_second[r]), value.b.v));
    }
}

// Twelve consecutive floats at base + offsets[lane]: out[k] holds float
// k of every lane's twelve. Each register takes four floats of lanes j,
// j + 4, j + 8 and j + 12, one per 128-bit quarter, and a transpose
// within the quarters puts them in lane order. (Gathers were measured
// slower than these loads and transposes.)
inline void gather_twelve(const float* base, const uint32_t* offsets, Lanes16 out[12]) {
    const float* p[16];
    for (int lane = 0; lane < 16; ++lane) p[lane] = base + offsets[lane];
    // Each lane's three loads together, so that its address is soon done with.
    __m512 chunks[3][4];
    for (int j = 0; j < 4; ++j) {
        for (int c = 0; c < 3; ++c) {
            __m512 quarters = _mm512_broadcast_f32x4(_mm_loadu_ps(p[j] + 4 * c));
            quarters = _mm512_mask_broadcast_f32x4(quarters, 0x00F0, _mm_loadu_ps(p[j + 4] + 4 * c));
            quarters = _mm512_mask_broadcast_f32x4(quarters, 0x0F00, _mm_loadu_ps(p[j + 8] + 4 * c));
            chunks[c][j] = _mm512_mask_broadcast_f32x4(quarters, 0xF000, _mm_loadu_ps(p[j + 12] + 4 * c));
        }
    }
    for (int k = 0; k < 12; k += 4) {
        const __m512* quarters = chunks[k / 4];
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

LUMRA_END_AVX512

}  // namespace lumra

#endif
