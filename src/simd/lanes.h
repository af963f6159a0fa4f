// The lane vocabulary every kernel is written in. A kernel is a template over
// V, the value type: float (one pixel), Lanes (four lanes: SSE2, or plain
// arrays where there is no SSE2), Lanes8 (AVX2, simd/lanes_avx2.h) or Lanes16
// (AVX-512, simd/lanes_avx512.h). Each type has the same operations under
// the same names, each operation one IEEE single-precision step with the same
// operand order at every width, so one text gives the same bits on one float
// and in any number of lanes.
//
// The limits copy std::max/std::min exactly, NaN and signed zeros included:
// lower_limit(x, low) is maxps(x, low) (x > low ? x : low), upper_limit(x,
// high) is minps(high, x) (high < x ? high : x).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "common/numeric.h"
#include "simd/isa.h"
#include "simd/rgb_interleave.h"

namespace lumra {

// ---- One float: the forms the per-pixel paths instantiate. ----

inline bool greater(float a, float b) { return a > b; }
inline bool greater_equal(float a, float b) { return a >= b; }
inline bool less(float a, float b) { return a < b; }
inline bool less_equal(float a, float b) { return a <= b; }
inline bool equal(float a, float b) { return a == b; }
// True also where a or b is NaN.
inline bool not_greater(float a, float b) { return !(a > b); }
inline bool both(bool a, bool b) { return a && b; }
inline bool either(bool a, bool b) { return a || b; }
inline bool negate(bool a) { return !a; }
inline bool all_set(bool mask) { return mask; }
inline float select(bool mask, float when_set, float otherwise) { return mask ? when_set : otherwise; }
// The value where the mask is set, +0 elsewhere; and the reverse.
inline float zero_unless(bool mask, float value) { return mask ? value : 0.0f; }
inline float zero_where(bool mask, float value) { return mask ? 0.0f : value; }
// The value with its sign bit cleared (NaN stays NaN).
inline float magnitude(float value) { return std::fabs(value); }
// Truncation toward zero through a 32-bit integer, as a float. Like the
// processor's conversion, a NaN or a value outside the integer range gives
// -2^31 (the conversion itself would be undefined).
inline int32_t truncated_int(float value) {
    return std::fabs(value) < 2147483648.0f ? static_cast<int32_t>(value) : INT32_MIN;
}
inline float whole_part(float value) { return static_cast<float>(truncated_int(value)); }
inline float load(const float* from, float /*tag*/) { return *from; }
inline float load(const uint16_t* from, float /*tag*/) { return static_cast<float>(*from); }
// table[index[l]] for each lane l; and table[min(index[l], last)].
inline float gather(const float* table, const int32_t* index, float /*tag*/) { return table[index[0]]; }
inline float gather_limited(const float* table, const uint16_t* index, uint16_t last, float /*tag*/) {
    return table[std::min(*index, last)];
}
inline void store(float* to, float value) { *to = value; }

// The number of pixels a value of V holds.
template <typename V>
inline constexpr int kLanesOf = V::kLanes;
template <>
inline constexpr int kLanesOf<float> = 1;

#if LUMRA_SIMD_X86

struct Lanes {
    static constexpr int kLanes = 4;
    __m128 v;
    Lanes() = default;
    Lanes(__m128 value) : v(value) {}
    Lanes(float value) : v(_mm_set1_ps(value)) {}
};
struct LaneMask {
    __m128 m;  // all ones or all zeros in each lane
};

inline Lanes operator+(Lanes a, Lanes b) { return _mm_add_ps(a.v, b.v); }
inline Lanes operator-(Lanes a, Lanes b) { return _mm_sub_ps(a.v, b.v); }
inline Lanes operator*(Lanes a, Lanes b) { return _mm_mul_ps(a.v, b.v); }
inline Lanes operator/(Lanes a, Lanes b) { return _mm_div_ps(a.v, b.v); }
inline Lanes lower_limit(Lanes x, Lanes low) { return _mm_max_ps(x.v, low.v); }
inline Lanes upper_limit(Lanes x, Lanes high) { return _mm_min_ps(high.v, x.v); }
inline Lanes limit_high(Lanes x, Lanes high) { return _mm_min_ps(x.v, high.v); }
inline Lanes lower_limit_keeping_nan(Lanes x, Lanes low) { return _mm_max_ps(low.v, x.v); }

inline LaneMask greater(Lanes a, Lanes b) { return {_mm_cmpgt_ps(a.v, b.v)}; }
inline LaneMask greater_equal(Lanes a, Lanes b) { return {_mm_cmpge_ps(a.v, b.v)}; }
inline LaneMask less(Lanes a, Lanes b) { return {_mm_cmplt_ps(a.v, b.v)}; }
inline LaneMask less_equal(Lanes a, Lanes b) { return {_mm_cmple_ps(a.v, b.v)}; }
inline LaneMask equal(Lanes a, Lanes b) { return {_mm_cmpeq_ps(a.v, b.v)}; }
inline LaneMask not_greater(Lanes a, Lanes b) { return {_mm_cmpngt_ps(a.v, b.v)}; }
inline LaneMask both(LaneMask a, LaneMask b) { return {_mm_and_ps(a.m, b.m)}; }
inline LaneMask either(LaneMask a, LaneMask b) { return {_mm_or_ps(a.m, b.m)}; }
inline LaneMask negate(LaneMask a) { return {_mm_xor_ps(a.m, _mm_castsi128_ps(_mm_set1_epi32(-1)))}; }
inline bool all_set(LaneMask mask) { return _mm_movemask_ps(mask.m) == 0xF; }
inline Lanes select(LaneMask mask, Lanes when_set, Lanes otherwise) {
    return _mm_or_ps(_mm_and_ps(mask.m, when_set.v), _mm_andnot_ps(mask.m, otherwise.v));
}
inline Lanes zero_unless(LaneMask mask, Lanes value) { return _mm_and_ps(mask.m, value.v); }
inline Lanes zero_where(LaneMask mask, Lanes value) { return _mm_andnot_ps(mask.m, value.v); }
// Lanes 0 and 2 from a, lanes 1 and 3 from b.
inline Lanes alternate(Lanes a, Lanes b) {
    const __m128 even = _mm_castsi128_ps(_mm_set_epi32(0, -1, 0, -1));
    return _mm_or_ps(_mm_and_ps(even, a.v), _mm_andnot_ps(even, b.v));
}
inline Lanes magnitude(Lanes value) { return _mm_and_ps(value.v, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff))); }
inline Lanes whole_part(Lanes value) { return _mm_cvtepi32_ps(_mm_cvttps_epi32(value.v)); }
// Each lane truncated toward zero and stored as an integer (lanes in [0, 2^31)).
inline void store_whole(uint32_t* to, Lanes value) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_cvttps_epi32(value.v));
}
inline Lanes load(const float* from, Lanes /*tag*/) { return _mm_loadu_ps(from); }
inline Lanes load(const uint16_t* from, Lanes /*tag*/) {
    const __m128i words = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from));
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(words, _mm_setzero_si128()));
}
inline void store(float* to, Lanes value) { _mm_storeu_ps(to, value.v); }
inline Lanes gather(const float* table, const int32_t* index, Lanes /*tag*/) {
    return _mm_setr_ps(table[index[0]], table[index[1]], table[index[2]], table[index[3]]);
}
inline Lanes gather_limited(const float* table, const uint16_t* index, uint16_t last, Lanes /*tag*/) {
    // Unsigned 16-bit minimum through the signed one, with the sign bits flipped.
    const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i x = _mm_xor_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(index)), flip);
    const __m128i limit = _mm_xor_si128(_mm_set1_epi16(static_cast<short>(last)), flip);
    const uint64_t packed = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_xor_si128(_mm_min_epi16(x, limit), flip)));
    return _mm_setr_ps(table[packed & 0xffff], table[(packed >> 16) & 0xffff], table[(packed >> 32) & 0xffff],
                       table[packed >> 48]);
}

#else  // portable lanes: four floats, one operation at a time

struct Lanes {
    static constexpr int kLanes = 4;
    float v[4];
    Lanes() = default;
    Lanes(float value) : v{value, value, value, value} {}
};
struct LaneMask {
    bool m[4];
};

template <typename Op>
inline Lanes lanewise(Lanes a, Lanes b, Op op) {
    Lanes out;
    for (int l = 0; l < 4; ++l) out.v[l] = op(a.v[l], b.v[l]);
    return out;
}
template <typename Op>
inline LaneMask maskwise(Lanes a, Lanes b, Op op) {
    LaneMask out;
    for (int l = 0; l < 4; ++l) out.m[l] = op(a.v[l], b.v[l]);
    return out;
}
template <typename Op>
inline Lanes each_lane(Lanes a, Op op) {
    for (float& lane : a.v) lane = op(lane);
    return a;
}

inline Lanes operator+(Lanes a, Lanes b) { return lanewise(a, b, [](float x, float y) { return x + y; }); }
inline Lanes operator-(Lanes a, Lanes b) { return lanewise(a, b, [](float x, float y) { return x - y; }); }
inline Lanes operator*(Lanes a, Lanes b) { return lanewise(a, b, [](float x, float y) { return x * y; }); }
inline Lanes operator/(Lanes a, Lanes b) { return lanewise(a, b, [](float x, float y) { return x / y; }); }
inline Lanes lower_limit(Lanes x, Lanes low) {
    return lanewise(x, low, [](float a, float b) { return lower_limit(a, b); });
}
inline Lanes upper_limit(Lanes x, Lanes high) {
    return lanewise(x, high, [](float a, float b) { return upper_limit(a, b); });
}
inline Lanes lower_limit_keeping_nan(Lanes x, Lanes low) {
    return lanewise(x, low, [](float a, float b) { return lower_limit_keeping_nan(a, b); });
}
inline Lanes limit_high(Lanes x, Lanes high) {
    return lanewise(x, high, [](float a, float b) { return limit_high(a, b); });
}
inline LaneMask greater(Lanes a, Lanes b) { return maskwise(a, b, [](float x, float y) { return x > y; }); }
inline LaneMask greater_equal(Lanes a, Lanes b) { return maskwise(a, b, [](float x, float y) { return x >= y; }); }
inline LaneMask less(Lanes a, Lanes b) { return maskwise(a, b, [](float x, float y) { return x < y; }); }
inline LaneMask less_equal(Lanes a, Lanes b) { return maskwise(a, b, [](float x, float y) { return x <= y; }); }
inline LaneMask equal(Lanes a, Lanes b) { return maskwise(a, b, [](float x, float y) { return x == y; }); }
inline LaneMask not_greater(Lanes a, Lanes b) { return maskwise(a, b, [](float x, float y) { return !(x > y); }); }
inline LaneMask both(LaneMask a, LaneMask b) {
    for (int l = 0; l < 4; ++l) a.m[l] = a.m[l] && b.m[l];
    return a;
}
inline LaneMask either(LaneMask a, LaneMask b) {
    for (int l = 0; l < 4; ++l) a.m[l] = a.m[l] || b.m[l];
    return a;
}
inline LaneMask negate(LaneMask a) {
    for (int l = 0; l < 4; ++l) a.m[l] = !a.m[l];
    return a;
}
inline bool all_set(LaneMask mask) { return mask.m[0] && mask.m[1] && mask.m[2] && mask.m[3]; }
inline Lanes select(LaneMask mask, Lanes when_set, Lanes otherwise) {
    for (int l = 0; l < 4; ++l) otherwise.v[l] = mask.m[l] ? when_set.v[l] : otherwise.v[l];
    return otherwise;
}
inline Lanes zero_unless(LaneMask mask, Lanes value) {
    for (int l = 0; l < 4; ++l) value.v[l] = mask.m[l] ? value.v[l] : 0.0f;
    return value;
}
inline Lanes zero_where(LaneMask mask, Lanes value) { return zero_unless(negate(mask), value); }
inline Lanes alternate(Lanes a, Lanes b) {
    a.v[1] = b.v[1], a.v[3] = b.v[3];
    return a;
}
inline Lanes magnitude(Lanes value) { return each_lane(value, [](float x) { return magnitude(x); }); }
inline Lanes whole_part(Lanes value) { return each_lane(value, [](float x) { return whole_part(x); }); }
inline void store_whole(uint32_t* to, Lanes value) {
    for (int l = 0; l < 4; ++l) to[l] = static_cast<uint32_t>(truncated_int(value.v[l]));
}
inline Lanes load(const float* from, Lanes /*tag*/) {
    Lanes out;
    std::memcpy(out.v, from, sizeof out.v);
    return out;
}
inline Lanes load(const uint16_t* from, Lanes /*tag*/) {
    Lanes out;
    for (int l = 0; l < 4; ++l) out.v[l] = static_cast<float>(from[l]);
    return out;
}
inline void store(float* to, Lanes value) { std::memcpy(to, value.v, sizeof value.v); }
inline Lanes gather(const float* table, const int32_t* index, Lanes /*tag*/) {
    Lanes out;
    for (int l = 0; l < 4; ++l) out.v[l] = table[index[l]];
    return out;
}
inline Lanes gather_limited(const float* table, const uint16_t* index, uint16_t last, Lanes /*tag*/) {
    Lanes out;
    for (int l = 0; l < 4; ++l) out.v[l] = table[std::min(index[l], last)];
    return out;
}

#endif

// The three channels of one pixel (V = float) or of one pixel per lane.
template <typename V>
struct Rgb {
    V r, g, b;
};

template <typename V, typename Op>
inline Rgb<V> each_channel(const Rgb<V>& value, Op op) {
    return {op(value.r), op(value.g), op(value.b)};
}

// Interleaved float pixels (r g b r g b ...) to one value per channel and back.
inline Rgb<float> load_rgb_floats(const float* pixel, float /*tag*/) { return {pixel[0], pixel[1], pixel[2]}; }
inline void store_rgb_floats(float* pixel, const Rgb<float>& value) {
    pixel[0] = value.r, pixel[1] = value.g, pixel[2] = value.b;
}
#if LUMRA_SIMD_X86
inline Rgb<Lanes> load_rgb_floats(const float* pixels, Lanes /*tag*/) {
    Rgb<Lanes> out;
    simd::deinterleave_rgb(_mm_loadu_ps(pixels), _mm_loadu_ps(pixels + 4), _mm_loadu_ps(pixels + 8), out.r.v, out.g.v,
                           out.b.v);
    return out;
}
inline void store_rgb_floats(float* pixels, const Rgb<Lanes>& value) {
    __m128 first, middle, last;
    simd::interleave_rgb(value.r.v, value.g.v, value.b.v, first, middle, last);
    _mm_storeu_ps(pixels, first);
    _mm_storeu_ps(pixels + 4, middle);
    _mm_storeu_ps(pixels + 8, last);
}

// Twelve consecutive floats at base + offsets[l] for each lane l, transposed:
// out[k] holds float k of every lane's twelve.
inline void gather_twelve(const float* base, const uint32_t* offsets, Lanes out[12]) {
    const float* p[4];
    for (int lane = 0; lane < 4; ++lane) p[lane] = base + offsets[lane];
    for (int k = 0; k < 12; k += 4) {
        const __m128 a = _mm_loadu_ps(p[0] + k), b = _mm_loadu_ps(p[1] + k);
        const __m128 c = _mm_loadu_ps(p[2] + k), d = _mm_loadu_ps(p[3] + k);
        const __m128d ab_low = _mm_castps_pd(_mm_unpacklo_ps(a, b)), cd_low = _mm_castps_pd(_mm_unpacklo_ps(c, d));
        const __m128d ab_high = _mm_castps_pd(_mm_unpackhi_ps(a, b)), cd_high = _mm_castps_pd(_mm_unpackhi_ps(c, d));
        out[k] = _mm_castpd_ps(_mm_unpacklo_pd(ab_low, cd_low));
        out[k + 1] = _mm_castpd_ps(_mm_unpackhi_pd(ab_low, cd_low));
        out[k + 2] = _mm_castpd_ps(_mm_unpacklo_pd(ab_high, cd_high));
        out[k + 3] = _mm_castpd_ps(_mm_unpackhi_pd(ab_high, cd_high));
    }
}

// Two floats at first, then two at second, in one vector.
inline __m128 load_two_pairs(const float* first, const float* second) {
    const __m128 low = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(first));
    return _mm_loadh_pi(low, reinterpret_cast<const __m64*>(second));
}

// The two consecutive floats at each lane's pointer, split into the first
// ones and the second ones.
inline void gather_pairs_at(const float* const* at, Lanes& first, Lanes& second) {
    const __m128 lanes01 = load_two_pairs(at[0], at[1]), lanes23 = load_two_pairs(at[2], at[3]);
    first = _mm_shuffle_ps(lanes01, lanes23, _MM_SHUFFLE(2, 0, 2, 0));
    second = _mm_shuffle_ps(lanes01, lanes23, _MM_SHUFFLE(3, 1, 3, 1));
}
#else
inline Rgb<Lanes> load_rgb_floats(const float* pixels, Lanes /*tag*/) {
    Rgb<Lanes> out;
    for (int l = 0; l < 4; ++l) out.r.v[l] = pixels[3 * l], out.g.v[l] = pixels[3 * l + 1], out.b.v[l] = pixels[3 * l + 2];
    return out;
}
inline void store_rgb_floats(float* pixels, const Rgb<Lanes>& value) {
    for (int l = 0; l < 4; ++l) pixels[3 * l] = value.r.v[l], pixels[3 * l + 1] = value.g.v[l], pixels[3 * l + 2] = value.b.v[l];
}
inline void gather_twelve(const float* base, const uint32_t* offsets, Lanes out[12]) {
    for (int k = 0; k < 12; ++k)
        for (int l = 0; l < 4; ++l) out[k].v[l] = base[offsets[l] + k];
}
inline void gather_pairs_at(const float* const* at, Lanes& first, Lanes& second) {
    for (int l = 0; l < 4; ++l) first.v[l] = at[l][0], second.v[l] = at[l][1];
}
#endif
inline void gather_twelve(const float* base, const uint32_t* offsets, float out[12]) {
    for (int k = 0; k < 12; ++k) out[k] = base[offsets[0] + k];
}
inline void gather_pairs_at(const float* const* at, float& first, float& second) {
    first = at[0][0], second = at[0][1];
}

}  // namespace lumra
