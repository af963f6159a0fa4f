// Four pixels' worth of one channel in SIMD lanes, with the same operations on
// a plain float, so that one per-pixel function serves the lanes and the
// scalar remainder and both give the same bits. Every operation is one IEEE
// single-precision step; the limits copy std::max/std::min exactly, including
// for NaN and signed zeros.
#pragma once

#include <cstdint>

#include "common/numeric.h"
#include "simd/isa.h"

namespace lumra {

inline bool greater(float a, float b) { return a > b; }
inline bool greater_equal(float a, float b) { return a >= b; }
inline bool less(float a, float b) { return a < b; }
inline bool both(bool a, bool b) { return a && b; }
inline bool negate(bool a) { return !a; }
inline float select(bool mask, float when_set, float otherwise) { return mask ? when_set : otherwise; }

#if LUMRA_SIMD_X86

struct Lanes {
    __m128 v;
    Lanes() = default;
    Lanes(__m128 value) : v(value) {}
    Lanes(float value) : v(_mm_set1_ps(value)) {}
};
struct LaneMask {
    __m128 m;
};

inline Lanes operator+(Lanes a, Lanes b) { return _mm_add_ps(a.v, b.v); }
inline Lanes operator-(Lanes a, Lanes b) { return _mm_sub_ps(a.v, b.v); }
inline Lanes operator*(Lanes a, Lanes b) { return _mm_mul_ps(a.v, b.v); }
inline Lanes operator/(Lanes a, Lanes b) { return _mm_div_ps(a.v, b.v); }
// maxps(x, low) returns low when unordered and x > low ? x : low otherwise.
inline Lanes lower_limit(Lanes x, Lanes low) { return _mm_max_ps(x.v, low.v); }
// minps(high, x) returns x when unordered and high < x ? high : x otherwise.
inline Lanes upper_limit(Lanes x, Lanes high) { return _mm_min_ps(high.v, x.v); }

inline LaneMask greater(Lanes a, Lanes b) { return {_mm_cmpgt_ps(a.v, b.v)}; }
inline LaneMask greater_equal(Lanes a, Lanes b) { return {_mm_cmpge_ps(a.v, b.v)}; }
inline LaneMask less(Lanes a, Lanes b) { return {_mm_cmplt_ps(a.v, b.v)}; }
inline LaneMask both(LaneMask a, LaneMask b) { return {_mm_and_ps(a.m, b.m)}; }
inline LaneMask negate(LaneMask a) { return {_mm_xor_ps(a.m, _mm_castsi128_ps(_mm_set1_epi32(-1)))}; }
inline Lanes select(LaneMask mask, Lanes when_set, Lanes otherwise) {
    return _mm_or_ps(_mm_and_ps(mask.m, when_set.v), _mm_andnot_ps(mask.m, otherwise.v));
}

inline Lanes gather(const float* table, const int32_t* index) {
    return _mm_setr_ps(table[index[0]], table[index[1]], table[index[2]], table[index[3]]);
}

// table[index[l]] and table[index[l] + 1] for four lanes, each pair read as one
// 64-bit load.
inline void gather_pairs(const float* table, const int32_t* index, Lanes& low, Lanes& high) {
    const auto pair = [&](int l) {
        return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(table + index[l])));
    };
    const __m128 first = _mm_unpacklo_ps(pair(0), pair(1));   // l0 l1 h0 h1
    const __m128 second = _mm_unpacklo_ps(pair(2), pair(3));  // l2 l3 h2 h3
    low = _mm_movelh_ps(first, second);
    high = _mm_movehl_ps(second, first);
}

#else  // portable lanes: four floats, one operation at a time

struct Lanes {
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
inline LaneMask greater(Lanes a, Lanes b) { return maskwise(a, b, [](float x, float y) { return x > y; }); }
inline LaneMask greater_equal(Lanes a, Lanes b) { return maskwise(a, b, [](float x, float y) { return x >= y; }); }
inline LaneMask less(Lanes a, Lanes b) { return maskwise(a, b, [](float x, float y) { return x < y; }); }
inline LaneMask both(LaneMask a, LaneMask b) {
    for (int l = 0; l < 4; ++l) a.m[l] = a.m[l] && b.m[l];
    return a;
}
inline LaneMask negate(LaneMask a) {
    for (int l = 0; l < 4; ++l) a.m[l] = !a.m[l];
    return a;
}
inline Lanes select(LaneMask mask, Lanes when_set, Lanes otherwise) {
    for (int l = 0; l < 4; ++l) otherwise.v[l] = mask.m[l] ? when_set.v[l] : otherwise.v[l];
    return otherwise;
}

inline Lanes gather(const float* table, const int32_t* index) {
    Lanes out;
    for (int l = 0; l < 4; ++l) out.v[l] = table[index[l]];
    return out;
}

inline void gather_pairs(const float* table, const int32_t* index, Lanes& low, Lanes& high) {
    low = gather(table, index);
    high = gather(table + 1, index);
}

#endif

// The three channels of one pixel (V = float) or of four pixels (V = Lanes).
template <typename V>
struct Rgb {
    V r, g, b;
};

template <typename V, typename Op>
inline Rgb<V> each_channel(const Rgb<V>& value, Op op) {
    return {op(value.r), op(value.g), op(value.b)};
}

// A 3x3 row-major matrix, optionally pre-multiplied by a factor. Each row is
// summed left to right: (m0 * c0 + m1 * c1) + m2 * c2.
struct Matrix3 {
    float m[9];

    static Matrix3 scaled(const float* matrix, float factor) {
        Matrix3 out;
        for (int j = 0; j < 9; ++j) out.m[j] = matrix[j] * factor;
        return out;
    }
    static Matrix3 plain(const float* matrix) {
        Matrix3 out;
        for (int j = 0; j < 9; ++j) out.m[j] = matrix[j];
        return out;
    }
    template <typename V>
    V row(const Rgb<V>& c, int i) const {
        return (V(m[3 * i]) * c.r + V(m[3 * i + 1]) * c.g) + V(m[3 * i + 2]) * c.b;
    }
    template <typename V>
    Rgb<V> apply(const Rgb<V>& c) const {
        return {row(c, 0), row(c, 1), row(c, 2)};
    }
};

}  // namespace lumra
