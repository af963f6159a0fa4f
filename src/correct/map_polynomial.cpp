// The polynomial map: each selected sample x becomes
// c0 + sign(x) * (c1 |x| + c2 |x|^2 + ... + cN |x|^N), limited to [-1, 1].
// The evaluation form is chosen once per call by degree; every form works on
// blocks of eight samples so that one loop serves contiguous and strided runs.
#include <algorithm>
#include <cmath>

#include "correct_common.h"
#include "correct_kernels.h"

namespace lumra {
namespace {

constexpr int kBlock = 8;

inline float limit_unit(float value) { return limit_high_then_low(value, -1.0f, 1.0f); }

struct Constant {  // degree 0: c0 whatever the sample
    float value;
    void operator()(float* v) const {
        for (int j = 0; j < kBlock; ++j) v[j] = value;
    }
};

struct Linear {  // degree 1: odd already, c1 x + c0
    float c0, c1;
    void operator()(float* v) const {
        for (int j = 0; j < kBlock; ++j) v[j] = limit_unit(c1 * v[j] + c0);
    }
};

struct Quadratic {  // (c2 |x| + c1) x + c0
    float c0, c1, c2;
    void operator()(float* v) const {
        for (int j = 0; j < kBlock; ++j) v[j] = limit_unit((c2 * std::fabs(v[j]) + c1) * v[j] + c0);
    }
};

struct Cubic {  // ((c3 x +- c2) x + c1) x + c0, the sign of c2 following x
    float c0, c1, c2, c3;
    void operator()(float* v) const {
        for (int j = 0; j < kBlock; ++j) {
            const float x = v[j];
            const float even = x < 0.0f ? -c2 : c2;
            v[j] = limit_unit(((c3 * x + even) * x + c1) * x + c0);
        }
    }
};

struct Quartic {  // x >= 0: (((c4 x + c3) x + c2) x + c1) x + c0; x < 0: (((c3 - c4 x) x - c2) x + c1) x + c0
    float c0, c1, c2, c3, c4;
    void operator()(float* v) const {
        for (int j = 0; j < kBlock; ++j) {
            const float x = v[j];
            const bool negative = x < 0.0f;
            const float top = c4 * x;
            const float third = (negative ? -top : top) + c3;
            const float second = third * x + (negative ? -c2 : c2);
            v[j] = limit_unit((second * x + c1) * x + c0);
        }
    }
};

// Degree 5 and above: explicit powers of |x|, four coefficients at a time
// (summed as (first + third) + (second + fourth)), then the rest one by one;
// each contribution is added for x >= 0 and subtracted for x < 0.
struct General {
    const float* c;
    int degree;
    void operator()(float* v) const {
        float magnitude[kBlock], power[kBlock], sum[kBlock], square[kBlock], cube[kBlock], fourth[kBlock];
        bool negative[kBlock];
        for (int j = 0; j < kBlock; ++j) {
            negative[j] = v[j] < 0.0f;
            magnitude[j] = std::fabs(v[j]);
            power[j] = magnitude[j];
            sum[j] = c[0];
            square[j] = magnitude[j] * magnitude[j];
            cube[j] = square[j] * magnitude[j];
            fourth[j] = square[j] * square[j];
        }
        int k = 1;
        for (; k + 3 <= degree; k += 4) {
            for (int j = 0; j < kBlock; ++j) {
                const float first = c[k] * power[j];
                const float second = c[k + 1] * (power[j] * magnitude[j]);
                const float third = c[k + 2] * (power[j] * square[j]);
                const float last = c[k + 3] * (power[j] * cube[j]);
                const float total = (first + third) + (second + last);
                sum[j] = negative[j] ? sum[j] - total : sum[j] + total;
                power[j] = power[j] * fourth[j];
            }
        }
        for (; k <= degree; ++k) {
            for (int j = 0; j < kBlock; ++j) {
                const float term = c[k] * power[j];
                sum[j] = negative[j] ? sum[j] - term : sum[j] + term;
                power[j] = power[j] * magnitude[j];
            }
        }
        for (int j = 0; j < kBlock; ++j) v[j] = limit_unit(sum[j]);
    }
};

// Applies `form` to `count` samples `stride` elements apart. Whole blocks of
// a contiguous run are worked in place; others go through a small buffer.
template <typename Form>
void map_run(float* first, uint64_t count, uint64_t stride, const Form& form) {
    uint64_t i = 0;
    if (stride == 1)
        for (; i + kBlock <= count; i += kBlock) form(first + i);
    float block[kBlock];
    for (; i < count; i += kBlock) {
        const int n = static_cast<int>(std::min<uint64_t>(kBlock, count - i));
        for (int j = 0; j < kBlock; ++j) block[j] = j < n ? first[(i + j) * stride] : 0.0f;
        form(block);
        for (int j = 0; j < n; ++j) first[(i + j) * stride] = block[j];
    }
}

struct Area {
    uint64_t first_row, row_count, first_col, col_count, row_step, col_step;
    uint64_t width, channels, first_plane, plane_end;
};

template <typename Form>
void map_area(float* data, const Area& a, const Form& form) {
    const bool packed = a.col_step == 1 && a.first_plane == 0 && a.plane_end == a.channels;
    const uint64_t processed_cols = (a.col_count - 1) / a.col_step + 1;
    for (uint64_t offset = 0; offset < a.row_count; offset += a.row_step) {
        float* row = data + ((a.first_row + offset) * a.width + a.first_col) * a.channels;
        if (packed) {
            map_run(row, a.col_count * a.channels, 1, form);
            continue;
        }
        for (uint64_t p = a.first_plane; p < a.plane_end; ++p)
            map_run(row + p, processed_cols, a.col_step * a.channels, form);
    }
}

}  // namespace

void apply_map_polynomial_impl(float* data, int height, int width, int channels, int top, int left, int bottom,
                               int right, int plane, int planes, int row_pitch, int col_pitch,
                               const float* coefficients, int degree) noexcept {
    const int64_t plane_end = std::min<int64_t>(int64_t{plane} + planes, channels);
    if (plane_end <= plane) return;
    const bool all_rows = top == 0 && bottom == 0;
    const bool all_cols = left == 0 && right == 0;
    const Area area{
        all_rows ? 0u : static_cast<uint64_t>(top),
        static_cast<uint64_t>(all_rows ? int64_t{height} : int64_t{bottom} - top),
        all_cols ? 0u : static_cast<uint64_t>(left),
        static_cast<uint64_t>(all_cols ? int64_t{width} : int64_t{right} - left),
        static_cast<uint64_t>(row_pitch),
        static_cast<uint64_t>(col_pitch),
        static_cast<uint64_t>(width),
        static_cast<uint64_t>(channels),
        static_cast<uint64_t>(plane),
        static_cast<uint64_t>(plane_end),
    };
    if (area.row_count == 0 || area.col_count == 0) return;
    const float* c = coefficients;
    switch (degree) {
        case 0: map_area(data, area, Constant{limit_unit(c[0])}); break;
        case 1: map_area(data, area, Linear{c[0], c[1]}); break;
        case 2: map_area(data, area, Quadratic{c[0], c[1], c[2]}); break;
        case 3: map_area(data, area, Cubic{c[0], c[1], c[2], c[3]}); break;
        case 4: map_area(data, area, Quartic{c[0], c[1], c[2], c[3], c[4]}); break;
        default: map_area(data, area, General{c, degree}); break;
    }
}

}  // namespace lumra
