// The polynomial map: each selected sample x becomes
// c0 + sign(x) * (c1 |x| + c2 |x|^2 + ... + cN |x|^N), limited to [-1, 1].
// The evaluation form is chosen once per call by degree; every form works on
// blocks of samples so that one loop serves contiguous and strided runs.
#include <algorithm>
#include <bit>
#include <cmath>

#include "correct_common.h"
#include "correct_kernels.h"

namespace lumra {
namespace {

// Samples worked together: a strided run is gathered into a block of this
// size, and the general form keeps its running powers and sums per block.
constexpr int kBlock = 64;

inline float limit_unit(float value) { return limit_high_then_low(value, -1.0f, 1.0f); }

// Each form maps `n` (at most kBlock) consecutive samples in place.
struct Constant {  // degree 0: c0 whatever the sample
    float value;
    void operator()(float* v, int n) const {
        for (int j = 0; j < n; ++j) v[j] = value;
    }
};

struct Linear {  // degree 1: odd already, c1 x + c0
    float c0, c1;
    void operator()(float* v, int n) const {
        for (int j = 0; j < n; ++j) v[j] = limit_unit(c1 * v[j] + c0);
    }
};

struct Quadratic {  // (c2 |x| + c1) x + c0
    float c0, c1, c2;
    void operator()(float* v, int n) const {
        for (int j = 0; j < n; ++j) v[j] = limit_unit((c2 * std::fabs(v[j]) + c1) * v[j] + c0);
    }
};

// a - b is a + (-b) exactly, so "+ c for x >= 0, - c for x < 0" is the
// addition of c with its sign bit flipped for a negative sample (NaN and -0
// are not negative). Flipping the bit is exact negation and keeps the loop
// free of branches.
inline float signed_like(float x, float c) {
    const uint32_t flip = x < 0.0f ? 0x80000000u : 0u;
    return std::bit_cast<float>(std::bit_cast<uint32_t>(c) ^ flip);
}

struct Cubic {  // ((c3 x +- c2) x + c1) x + c0
    float c0, c1, c2, c3;
    void operator()(float* v, int n) const {
        for (int j = 0; j < n; ++j) {
            const float x = v[j];
            v[j] = limit_unit(((c3 * x + signed_like(x, c2)) * x + c1) * x + c0);
        }
    }
};

struct Quartic {  // x >= 0: (((c4 x + c3) x + c2) x + c1) x + c0; x < 0: (((c3 - c4 x) x - c2) x + c1) x + c0
    float c0, c1, c2, c3, c4;
    void operator()(float* v, int n) const {
        for (int j = 0; j < n; ++j) {
            const float x = v[j];
            const float third = signed_like(x, c4 * x) + c3;
            const float second = third * x + signed_like(x, c2);
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
    void operator()(float* v, int n) const {
        float magnitude[kBlock], power[kBlock], sum[kBlock], square[kBlock], cube[kBlock], fourth[kBlock];
        for (int j = 0; j < n; ++j) {
            magnitude[j] = std::fabs(v[j]);
            power[j] = magnitude[j];
            sum[j] = c[0];
            square[j] = magnitude[j] * magnitude[j];
            cube[j] = square[j] * magnitude[j];
            fourth[j] = square[j] * square[j];
        }
        int k = 1;
        for (; k + 3 <= degree; k += 4) {
            const float c1 = c[k], c2 = c[k + 1], c3 = c[k + 2], c4 = c[k + 3];
            for (int j = 0; j < n; ++j) {
                const float p = power[j];
                const float total = (c1 * p + c3 * (p * square[j])) + (c2 * (p * magnitude[j]) + c4 * (p * cube[j]));
                sum[j] = sum[j] + signed_like(v[j], total);
                power[j] = p * fourth[j];
            }
        }
        for (; k <= degree; ++k) {
            const float ck = c[k];
            for (int j = 0; j < n; ++j) {
                sum[j] = sum[j] + signed_like(v[j], ck * power[j]);
                power[j] = power[j] * magnitude[j];
            }
        }
        for (int j = 0; j < n; ++j) v[j] = limit_unit(sum[j]);
    }
};

// Applies `form` to `count` samples `stride` elements apart: a contiguous
// run in place, block by block; a strided one through a gathered block.
template <typename Form>
void map_run(float* first, uint64_t count, uint64_t stride, const Form& form) {
    float block[kBlock];
    for (uint64_t i = 0; i < count; i += kBlock) {
        const int n = static_cast<int>(std::min<uint64_t>(kBlock, count - i));
        if (stride == 1) {
            form(first + i, n);
            continue;
        }
        for (int j = 0; j < n; ++j) block[j] = first[(i + j) * stride];
        form(block, n);
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
