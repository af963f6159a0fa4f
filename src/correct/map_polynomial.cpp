// The polynomial map: each selected sample x becomes
// c0 + sign(x) * (c1 |x| + c2 |x|^2 + ... + cN |x|^N), limited to [-1, 1].
// The evaluation form is chosen once per call by degree; every form works on
// blocks of samples so that one loop serves contiguous and strided runs.
#include <algorithm>
#include <bit>
#include <cmath>

#include "correct/correct_common.h"
#include "correct/correct_kernels.h"
#include "simd/isa.h"

namespace lumra {
namespace {

// Samples worked together: a strided run is gathered into a block of this size.
constexpr int kBlock = 64;

LUMRA_SHARED_BODY float limit_signed_unit(float value) { return limit_high_then_low(value, -1.0f, 1.0f); }

// Each form maps `n` (at most kBlock) consecutive samples in place.
struct Constant {  // degree 0: c0 whatever the sample
    float value;
    LUMRA_SHARED_BODY void operator()(float* v, int n) const {
        for (int j = 0; j < n; ++j) v[j] = value;
    }
};

struct Linear {  // degree 1: odd already, c1 x + c0
    float c0, c1;
    LUMRA_SHARED_BODY void operator()(float* v, int n) const {
        for (int j = 0; j < n; ++j) v[j] = limit_signed_unit(c1 * v[j] + c0);
    }
};

struct Quadratic {  // (c2 |x| + c1) x + c0
    float c0, c1, c2;
    LUMRA_SHARED_BODY void operator()(float* v, int n) const {
        for (int j = 0; j < n; ++j) v[j] = limit_signed_unit((c2 * std::fabs(v[j]) + c1) * v[j] + c0);
    }
};

// a - b is a + (-b) exactly, so "+ c for x >= 0, - c for x < 0" is the
// addition of c with its sign bit flipped for a negative sample (NaN and -0
// are not negative). Flipping the bit is exact negation and keeps the loop
// free of branches.
LUMRA_SHARED_BODY uint32_t sign_flip(float x) { return x < 0.0f ? 0x80000000u : 0u; }
LUMRA_SHARED_BODY float flipped(float c, uint32_t flip) { return std::bit_cast<float>(std::bit_cast<uint32_t>(c) ^ flip); }
LUMRA_SHARED_BODY float signed_like(float x, float c) { return flipped(c, sign_flip(x)); }

struct Cubic {  // ((c3 x +- c2) x + c1) x + c0
    float c0, c1, c2, c3;
    LUMRA_SHARED_BODY void operator()(float* v, int n) const {
        for (int j = 0; j < n; ++j) {
            const float x = v[j];
            v[j] = limit_signed_unit(((c3 * x + signed_like(x, c2)) * x + c1) * x + c0);
        }
    }
};

struct Quartic {  // x >= 0: (((c4 x + c3) x + c2) x + c1) x + c0; x < 0: (((c3 - c4 x) x - c2) x + c1) x + c0
    float c0, c1, c2, c3, c4;
    LUMRA_SHARED_BODY void operator()(float* v, int n) const {
        for (int j = 0; j < n; ++j) {
            const float x = v[j];
            const float third = signed_like(x, c4 * x) + c3;
            const float second = third * x + signed_like(x, c2);
            v[j] = limit_signed_unit((second * x + c1) * x + c0);
        }
    }
};

// Degree 5 and above: explicit powers of |x|, four coefficients at a time
// (summed as (first + third) + (second + fourth)), then the rest one by one;
// each contribution is added for x >= 0 and subtracted for x < 0.
// One sample through the general form; with the degree known at compile time
// the whole evaluation stays in registers.
template <int Degree>
LUMRA_SHARED_BODY float general_sample(float x, const float* c, int degree) {
    const int d = Degree > 0 ? Degree : degree;
    const uint32_t flip = sign_flip(x);
    const float magnitude = std::fabs(x);
    const float square = magnitude * magnitude, cube = square * magnitude, fourth = square * square;
    float power = magnitude, sum = c[0];
    int k = 1;
    for (; k + 3 <= d; k += 4) {
        const float total = (c[k] * power + c[k + 2] * (power * square)) +
                            (c[k + 1] * (power * magnitude) + c[k + 3] * (power * cube));
        sum = sum + flipped(total, flip);
        power = power * fourth;
    }
    for (; k <= d; ++k) {
        sum = sum + flipped(c[k] * power, flip);
        power = power * magnitude;
    }
    return limit_signed_unit(sum);
}

// Degrees 5 to 8, the common ones, are instantiated with their degree fixed.
template <int Degree>
struct General {
    const float* c;
    int degree;
    LUMRA_SHARED_BODY void operator()(float* v, int n) const {
        for (int j = 0; j < n; ++j) v[j] = general_sample<Degree>(v[j], c, degree);
    }
};

// Applies `form` to `count` samples `stride` elements apart: a contiguous
// run in place, block by block; a strided one through a gathered block.
template <typename Form>
LUMRA_SHARED_BODY void map_run(float* first, uint64_t count, uint64_t stride, const Form& form) {
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
LUMRA_SHARED_BODY void map_area(float* data, const Area& a, const Form& form) {
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

template <typename Form>
void map_area_baseline(float* data, const Area& a, const Form& form) {
    map_area(data, a, form);
}

#if LUMRA_SIMD_X86
template <typename Form>
LUMRA_TARGET_AVX2 void map_area_avx2(float* data, const Area& a, const Form& form) {
    map_area(data, a, form);
}
#endif

// The widest path the processor runs, chosen once per call.
template <typename Form>
void map_area_widest(float* data, const Area& a, const Form& form) {
#if LUMRA_SIMD_X86
    if (simd::runs(simd::Level::avx2)) {
        map_area_avx2(data, a, form);
        return;
    }
#endif
    map_area_baseline(data, a, form);
}

// The lattice points first + k * step (k >= 0) below first + count that lie
// in [begin, end), as a first point and a count measured from `begin`.
struct Span {
    uint64_t first, count;
};

Span lattice_in(uint64_t first, uint64_t count, uint64_t step, uint64_t begin, uint64_t end) {
    uint64_t at = first;
    if (begin > first) {
        const uint64_t distance = begin - first;
        const uint64_t k = distance / step + (distance % step != 0 ? 1 : 0);
        if (k > (count - 1) / step) return {0, 0};
        at = first + k * step;
    }
    const uint64_t stop = std::min(first + count, end);
    if (at >= stop) return {0, 0};
    return {at - begin, stop - at};
}

}  // namespace

void apply_map_polynomial_impl(float* data, const PartOfWhole& part, int channels, int top, int left, int bottom,
                               int right, int plane, int planes, int row_pitch, int col_pitch,
                               const float* coefficients, int degree) noexcept {
    const int64_t plane_end = std::min<int64_t>(int64_t{plane} + planes, channels);
    if (plane_end <= plane) return;
    const bool all_rows = top == 0 && bottom == 0;
    const bool all_cols = left == 0 && right == 0;
    const uint64_t first_row = all_rows ? 0u : static_cast<uint64_t>(top);
    const uint64_t row_count = all_rows ? part.full_height : static_cast<uint64_t>(int64_t{bottom} - top);
    const uint64_t first_col = all_cols ? 0u : static_cast<uint64_t>(left);
    const uint64_t col_count = all_cols ? part.full_width : static_cast<uint64_t>(int64_t{right} - left);
    if (row_count == 0 || col_count == 0) return;
    const uint64_t row_step = static_cast<uint64_t>(row_pitch), col_step = static_cast<uint64_t>(col_pitch);
    // The area's lattice in the part's own rows and columns.
    const Span rows = lattice_in(first_row, row_count, row_step, part.top, part.top + part.height);
    const Span cols = lattice_in(first_col, col_count, col_step, part.left, part.left + part.width);
    if (rows.count == 0 || cols.count == 0) return;
    const Area area{
        rows.first,
        rows.count,
        cols.first,
        cols.count,
        row_step,
        col_step,
        part.width,
        static_cast<uint64_t>(channels),
        static_cast<uint64_t>(plane),
        static_cast<uint64_t>(plane_end),
    };
    const float* c = coefficients;
    switch (degree) {
        case 0: map_area_widest(data, area, Constant{limit_signed_unit(c[0])}); break;
        case 1: map_area_widest(data, area, Linear{c[0], c[1]}); break;
        case 2: map_area_widest(data, area, Quadratic{c[0], c[1], c[2]}); break;
        case 3: map_area_widest(data, area, Cubic{c[0], c[1], c[2], c[3]}); break;
        case 4: map_area_widest(data, area, Quartic{c[0], c[1], c[2], c[3], c[4]}); break;
        case 5: map_area_widest(data, area, General<5>{c, degree}); break;
        case 6: map_area_widest(data, area, General<6>{c, degree}); break;
        case 7: map_area_widest(data, area, General<7>{c, degree}); break;
        case 8: map_area_widest(data, area, General<8>{c, degree}); break;
        default: map_area_widest(data, area, General<0>{c, degree}); break;
    }
}

}  // namespace lumra
