// A 3x3 row-major matrix applied to one pixel or to one pixel per lane.
#pragma once

#include "simd/lanes.h"

namespace lumra {

// Optionally pre-multiplied by a factor. Each row is summed left to right:
// (m0 * c0 + m1 * c1) + m2 * c2.
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
