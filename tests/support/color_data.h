// Inputs for the colour tests: random elements with the awkward values mixed
// in, random curves and matrices, and bitwise comparison of results.
#pragma once

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#include "color/pixel_io.h"
#include "support/image.h"
#include "support/isa_levels.h"

namespace lumra_test {

// Random elements of a type, with 0, the maximum and (for float) values
// outside [0, 1], signed zeros, infinities and NaN placed among them.
template <typename T>
std::vector<T> color_elements(size_t count) {
    std::vector<T> values(count);
    if constexpr (std::is_floating_point_v<T>) {
        fill_random(values, -0.25f, 1.25f);
        const float special[] = {0.0f, 1.0f, -0.0f, 0.5f, 1e-12f, -1.0f, 2.0f, 0.99999994f,
                                 std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::quiet_NaN()};
        for (size_t i = 0; i < count && i < std::size(special) * 5; i += 5) values[i] = special[i / 5];
    } else {
        fill_random(values);
        const T special[] = {0, std::numeric_limits<T>::max(), 1, static_cast<T>(4095), 255, 128};
        for (size_t i = 0; i < count && i < std::size(special) * 4; i += 4) values[i] = special[i / 4];
    }
    return values;
}

inline std::vector<float> random_curve(size_t size, float low = 0.0f, float high = 1.0f) {
    std::vector<float> curve(size);
    fill_random(curve, low, high);
    return curve;
}

inline std::vector<float> random_matrix() {
    std::vector<float> m(9);
    fill_random(m, -0.6f, 1.4f);
    return m;
}

template <typename T>
bool same_elements(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

// Index of the first differing element, or -1.
template <typename T>
long first_difference(const std::vector<T>& a, const std::vector<T>& b) {
    for (size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(T)) != 0) return static_cast<long>(i);
    return -1;
}

}  // namespace lumra_test
