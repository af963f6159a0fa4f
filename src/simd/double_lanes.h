// Lanes of doubles behind one set of names: D4 (AVX2) and D8 (AVX-512), with
// a plain double as the one-lane form (common/numeric.h), so that a
// computation written once over the lane type runs at every width. Every
// operation is the IEEE double operation of each lane, and the limits keep
// the NaN rule of their scalar forms, so every width gives the same bits.
// Code using D4 must be compiled for AVX2, D8 for AVX-512.
#pragma once

#include <cstdint>

#include "common/numeric.h"
#include "simd/isa.h"

#if LUMRA_SIMD_X86

namespace lumra::simd {

// A mask of D4 lanes (all ones or all zeros in each), wrapped like the
// lanes so that templates compiled for the baseline can hold it.
struct M4 {
    __m256d v;
};

struct D4 {
    static constexpr int kLanes = 4;
    using Mask = M4;
    __m256d v;
    D4() = default;
    LUMRA_TARGET_AVX2 D4(__m256d value) : v(value) {}
    LUMRA_TARGET_AVX2 explicit D4(double value) : v(_mm256_set1_pd(value)) {}
    // start, start + 1, ...
    LUMRA_TARGET_AVX2 static D4 counting(double start) {
        return _mm256_add_pd(_mm256_set1_pd(start), _mm256_setr_pd(0, 1, 2, 3));
    }
};

LUMRA_TARGET_AVX2 inline D4 operator+(D4 a, D4 b) { return _mm256_add_pd(a.v, b.v); }
LUMRA_TARGET_AVX2 inline D4 operator-(D4 a, D4 b) { return _mm256_sub_pd(a.v, b.v); }
LUMRA_TARGET_AVX2 inline D4 operator*(D4 a, D4 b) { return _mm256_mul_pd(a.v, b.v); }
// minpd and maxpd return their second operand when the comparison fails, so
// these are exactly limit_high and limit_high_then_low (NaN to high).
LUMRA_TARGET_AVX2 inline D4 limit_high(D4 x, D4 high) { return _mm256_min_pd(x.v, high.v); }
LUMRA_TARGET_AVX2 inline D4 limit_high_then_low(D4 x, D4 low, D4 high) {
    return _mm256_max_pd(_mm256_min_pd(x.v, high.v), low.v);
}
LUMRA_TARGET_AVX2 inline D4 truncate(D4 x) { return _mm256_round_pd(x.v, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }
LUMRA_TARGET_AVX2 inline void store(double* to, D4 x) { _mm256_storeu_pd(to, x.v); }
// The lanes truncated to 32-bit integers (each in range).
LUMRA_TARGET_AVX2 inline void store_int32(int* to, D4 x) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm256_cvttpd_epi32(x.v));
}
LUMRA_TARGET_AVX2 inline M4 equal(D4 a, D4 b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_EQ_OQ)}; }
LUMRA_TARGET_AVX2 inline M4 greater(D4 a, D4 b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_GT_OQ)}; }
LUMRA_TARGET_AVX2 inline M4 either(M4 a, M4 b) { return {_mm256_or_pd(a.v, b.v)}; }
// For each group of four lanes, whether no lane of the mask is set.
LUMRA_TARGET_AVX2 inline void none_by_four(M4 mask, bool* groups) { groups[0] = _mm256_movemask_pd(mask.v) == 0; }

struct D8 {
    static constexpr int kLanes = 8;
    using Mask = __mmask8;
    __m512d v;
    D8() = default;
    LUMRA_TARGET_AVX512 D8(__m512d value) : v(value) {}
    LUMRA_TARGET_AVX512 explicit D8(double value) : v(_mm512_set1_pd(value)) {}
    LUMRA_TARGET_AVX512 static D8 counting(double start) {
        return _mm512_add_pd(_mm512_set1_pd(start), _mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7));
    }
};

LUMRA_TARGET_AVX512 inline D8 operator+(D8 a, D8 b) { return _mm512_add_pd(a.v, b.v); }
LUMRA_TARGET_AVX512 inline D8 operator-(D8 a, D8 b) { return _mm512_sub_pd(a.v, b.v); }
LUMRA_TARGET_AVX512 inline D8 operator*(D8 a, D8 b) { return _mm512_mul_pd(a.v, b.v); }
LUMRA_TARGET_AVX512 inline D8 limit_high(D8 x, D8 high) { return _mm512_min_pd(x.v, high.v); }
LUMRA_TARGET_AVX512 inline D8 limit_high_then_low(D8 x, D8 low, D8 high) {
    return _mm512_max_pd(_mm512_min_pd(x.v, high.v), low.v);
}
LUMRA_TARGET_AVX512 inline D8 truncate(D8 x) {
    return _mm512_roundscale_pd(x.v, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
}
LUMRA_TARGET_AVX512 inline void store(double* to, D8 x) { _mm512_storeu_pd(to, x.v); }
LUMRA_TARGET_AVX512 inline void store_int32(int* to, D8 x) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), _mm512_cvttpd_epi32(x.v));
}
LUMRA_TARGET_AVX512 inline __mmask8 equal(D8 a, D8 b) { return _mm512_cmp_pd_mask(a.v, b.v, _CMP_EQ_OQ); }
LUMRA_TARGET_AVX512 inline __mmask8 greater(D8 a, D8 b) { return _mm512_cmp_pd_mask(a.v, b.v, _CMP_GT_OQ); }
inline __mmask8 either(__mmask8 a, __mmask8 b) { return static_cast<__mmask8>(a | b); }
inline void none_by_four(__mmask8 mask, bool* groups) {
    groups[0] = (mask & 0x0fu) == 0;
    groups[1] = (mask & 0xf0u) == 0;
}

}  // namespace lumra::simd

#endif
