// Small 3 x 3 matrix and 3-vector arithmetic in double precision for the
// colour set-up of a development (a handful of matrices per image).
#pragma once

#include <array>
#include <cmath>

namespace lumra_tools {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<double, 9>;  // row-major

inline Mat3 identity3() { return {1, 0, 0, 0, 1, 0, 0, 0, 1}; }

inline Mat3 diagonal3(const Vec3& v) { return {v[0], 0, 0, 0, v[1], 0, 0, 0, v[2]}; }

inline Mat3 multiply(const Mat3& a, const Mat3& b) {
    Mat3 m{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m[i * 3 + j] = a[i * 3] * b[j] + a[i * 3 + 1] * b[3 + j] + a[i * 3 + 2] * b[6 + j];
    return m;
}

inline Vec3 multiply(const Mat3& a, const Vec3& v) {
    return {a[0] * v[0] + a[1] * v[1] + a[2] * v[2], a[3] * v[0] + a[4] * v[1] + a[5] * v[2],
            a[6] * v[0] + a[7] * v[1] + a[8] * v[2]};
}

inline Mat3 scaled(const Mat3& a, double s) {
    Mat3 m = a;
    for (double& x : m) x *= s;
    return m;
}

inline Mat3 blend(const Mat3& a, const Mat3& b, double weight_a) {
    Mat3 m{};
    for (int i = 0; i < 9; ++i) m[i] = weight_a * a[i] + (1.0 - weight_a) * b[i];
    return m;
}

inline double determinant(const Mat3& a) {
    return a[0] * (a[4] * a[8] - a[5] * a[7]) - a[1] * (a[3] * a[8] - a[5] * a[6]) +
           a[2] * (a[3] * a[7] - a[4] * a[6]);
}

// False when the matrix is singular (or not finite); m is then left alone.
inline bool invert(const Mat3& a, Mat3& m) {
    const double det = determinant(a);
    if (!std::isfinite(det) || std::fabs(det) < 1e-12) return false;
    const double r = 1.0 / det;
    m = {(a[4] * a[8] - a[5] * a[7]) * r, (a[2] * a[7] - a[1] * a[8]) * r, (a[1] * a[5] - a[2] * a[4]) * r,
         (a[5] * a[6] - a[3] * a[8]) * r, (a[0] * a[8] - a[2] * a[6]) * r, (a[2] * a[3] - a[0] * a[5]) * r,
         (a[3] * a[7] - a[4] * a[6]) * r, (a[1] * a[6] - a[0] * a[7]) * r, (a[0] * a[4] - a[1] * a[3]) * r};
    return true;
}

// For the fixed, well-conditioned matrices of colour standards.
inline Mat3 inverse_of(const Mat3& a) {
    Mat3 m = identity3();
    invert(a, m);
    return m;
}

}  // namespace lumra_tools
