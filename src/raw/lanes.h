// Four float lanes for the raw kernels: SSE2 where the target has it, plain
// arrays otherwise. Every operation is the single-precision operation of each
// lane, rounded once, so the two builds and the scalar tails that use the
// per-element forms (common/numeric.h) give the same bits.
#pragma once

#include <cstdint>
#include <cstring>

#include "common/numeric.h"
#include "simd/isa.h"

namespace lumra::lanes {

#if LUMRA_SIMD_X86

struct F4 {
    __m128 v;
};
inline F4 load(const float* p) { return {_mm_loadu_ps(p)}; }
inline F4 load(const uint16_t* p) {
    const __m128i wide = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
    return {_mm_cvtepi32_ps(wide)};
}
// table[min(index[j], last)] for j = 0..3
inline F4 gather_limited(const float* table, const uint16_t* index, uint16_t last) {
    // Unsigned 16-bit minimum through the signed one, with the sign bits flipped.
    const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i x = _mm_xor_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(index)), flip);
    const __m128i limit = _mm_xor_si128(_mm_set1_epi16(static_cast<short>(last)), flip);
    const __m128i limited = _mm_xor_si128(_mm_min_epi16(x, limit), flip);
    const uint64_t packed = static_cast<uint64_t>(_mm_cvtsi128_si64(limited));
    return {_mm_setr_ps(table[packed & 0xffff], table[(packed >> 16) & 0xffff], table[(packed >> 32) & 0xffff],
                        table[packed >> 48])};
}
inline void store(float* p, F4 a) { _mm_storeu_ps(p, a.v); }
inline F4 splat(float x) { return {_mm_set1_ps(x)}; }
inline F4 operator+(F4 a, F4 b) { return {_mm_add_ps(a.v, b.v)}; }
inline F4 operator-(F4 a, F4 b) { return {_mm_sub_ps(a.v, b.v)}; }
inline F4 operator*(F4 a, F4 b) { return {_mm_mul_ps(a.v, b.v)}; }
inline F4 operator/(F4 a, F4 b) { return {_mm_div_ps(a.v, b.v)}; }
// value where gate > 0, +0 elsewhere (also where gate is NaN)
inline F4 where_positive(F4 gate, F4 value) { return {_mm_and_ps(_mm_cmpgt_ps(gate.v, _mm_setzero_ps()), value.v)}; }
// value where mask is all ones, +0 where it is all zeros
inline F4 keep(F4 mask, F4 value) { return {_mm_and_ps(mask.v, value.v)}; }
// value where a >= b, +0 elsewhere (also where either is NaN)
inline F4 where_at_least(F4 a, F4 b, F4 value) { return {_mm_and_ps(_mm_cmpge_ps(a.v, b.v), value.v)}; }
// limit_high_then_low (common/numeric.h) lane by lane: minps and maxps
// return their second operand on NaN and on equality, which is exactly it.
inline F4 limit_high_then_low(F4 v, F4 low, F4 high) { return {_mm_max_ps(_mm_min_ps(v.v, high.v), low.v)}; }

#else

struct F4 {
    float v[4];
};
template <typename T>
inline F4 load(const T* p) {
    F4 r;
    for (int i = 0; i < 4; ++i) r.v[i] = static_cast<float>(p[i]);
    return r;
}
inline F4 gather_limited(const float* table, const uint16_t* index, uint16_t last) {
    F4 r;
    for (int i = 0; i < 4; ++i) r.v[i] = table[index[i] < last ? index[i] : last];
    return r;
}
inline void store(float* p, F4 a) { std::memcpy(p, a.v, sizeof a.v); }
inline F4 splat(float x) { return {{x, x, x, x}}; }
#define LUMRA_LANEWISE(op)                                     \
    inline F4 operator op(F4 a, F4 b) {                        \
        F4 r;                                                  \
        for (int i = 0; i < 4; ++i) r.v[i] = a.v[i] op b.v[i]; \
        return r;                                              \
    }
LUMRA_LANEWISE(+)
LUMRA_LANEWISE(-)
LUMRA_LANEWISE(*)
LUMRA_LANEWISE(/)
#undef LUMRA_LANEWISE
inline F4 where_positive(F4 gate, F4 value) {
    F4 r;
    for (int i = 0; i < 4; ++i) r.v[i] = gate.v[i] > 0.0f ? value.v[i] : 0.0f;
    return r;
}
inline F4 keep(F4 mask, F4 value) {
    F4 r;
    for (int i = 0; i < 4; ++i) {
        uint32_t m, x;
        std::memcpy(&m, &mask.v[i], 4);
        std::memcpy(&x, &value.v[i], 4);
        x &= m;
        std::memcpy(&r.v[i], &x, 4);
    }
    return r;
}
inline F4 where_at_least(F4 a, F4 b, F4 value) {
    F4 r;
    for (int i = 0; i < 4; ++i) r.v[i] = a.v[i] >= b.v[i] ? value.v[i] : 0.0f;
    return r;
}
inline F4 limit_high_then_low(F4 v, F4 low, F4 high) {
    F4 r;
    for (int i = 0; i < 4; ++i) r.v[i] = lumra::limit_high_then_low(v.v[i], low.v[i], high.v[i]);
    return r;
}

#endif

}  // namespace lumra::lanes
