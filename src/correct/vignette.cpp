// Radial vignette correction: every sample is multiplied by
// 1 + k0 q + k1 q^2 + ... + k4 q^5, q the squared distance of its pixel from
// the optical centre normalised by the farthest corner, and limited to [0, 1].
// The gain is computed in double precision once per pixel and shared by all
// its channels.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "correct/correct_common.h"
#include "correct/correct_kernels.h"
#include "simd/isa.h"

namespace lumra {
namespace {

// Pixels whose gains are spread over their samples together.
constexpr int kChunk = 256;

LUMRA_SHARED_BODY float limit_unit(float value) { return limit_high_then_low(value, 0.0f, 1.0f); }

// The gain of a pixel whose squared offsets (normalised) are dx2 and dy2.
template <int Terms>
LUMRA_SHARED_BODY float radial_gain(double dx2, double dy2, const double* k) {
    const double q = dx2 + dy2;
    double g = k[0] * q + 1.0;
    double power = q;
    for (int t = 1; t < Terms; ++t) {
        power = power * q;
        g = g + k[t] * power;
    }
    return static_cast<float>(g);
}

inline double column_offset2(int j, double cx, double scale) {
    const double dx = (static_cast<double>(j) - cx) * scale;
    return dx * dx;
}

// One row of gains.
template <int Terms>
LUMRA_SHARED_BODY void row_gains(const double* dx2, double dy2, const double* k, float* gain, int width) {
    for (int j = 0; j < width; ++j) gain[j] = radial_gain<Terms>(dx2[j], dy2, k);
}

// Multiplies `count` pixels of `channels` samples by their gains.
LUMRA_SHARED_BODY void apply_gains(float* pixels, const float* gain, int count, int channels) {
    if (channels == 1) {
        for (int j = 0; j < count; ++j) pixels[j] = limit_unit(pixels[j] * gain[j]);
        return;
    }
    if (channels == 3) {
        // Three samples per pixel: the spreading loop with its count fixed.
        float spread[kChunk * 3];
        for (int j = 0; j < count; ++j)
            for (int i = 0; i < 3; ++i) spread[3 * j + i] = gain[j];
        for (int e = 0; e < count * 3; ++e) pixels[e] = limit_unit(pixels[e] * spread[e]);
        return;
    }
    if (channels < 8) {
        // Spread each gain over its pixel's samples, then one flat loop.
        float spread[kChunk * 7];
        const int samples = count * channels;
        for (int j = 0, e = 0; j < count; ++j)
            for (int i = 0; i < channels; ++i) spread[e++] = gain[j];
        for (int e = 0; e < samples; ++e) pixels[e] = limit_unit(pixels[e] * spread[e]);
        return;
    }
    for (int j = 0; j < count; ++j) {
        float* x = pixels + static_cast<int64_t>(j) * channels;
        const float g = gain[j];
        int i = 0;
        for (; i + 8 <= channels; i += 8)
            for (int t = 0; t < 8; ++t) x[i + t] = limit_unit(x[i + t] * g);
        for (; i < channels; ++i) x[i] = limit_unit(x[i] * g);
    }
}

template <int Terms>
void row_gains_baseline(const double* dx2, double dy2, const double* k, float* gain, int width) {
    row_gains<Terms>(dx2, dy2, k, gain, width);
}
void apply_gains_baseline(float* pixels, const float* gain, int count, int channels) {
    apply_gains(pixels, gain, count, channels);
}
#if LUMRA_SIMD_X86
template <int Terms>
LUMRA_TARGET_AVX2 void row_gains_avx2(const double* dx2, double dy2, const double* k, float* gain, int width) {
    row_gains<Terms>(dx2, dy2, k, gain, width);
}
LUMRA_TARGET_AVX2 void apply_gains_avx2(float* pixels, const float* gain, int count, int channels) {
    apply_gains(pixels, gain, count, channels);
}
#endif

// The row loops of one call, the widest the processor runs.
struct RowLoops {
    void (*gains)(const double* dx2, double dy2, const double* k, float* gain, int width);
    void (*apply)(float* pixels, const float* gain, int count, int channels);
};

template <int Terms>
RowLoops row_loops() {
#if LUMRA_SIMD_X86
    if (simd::runs(simd::Level::avx2)) return {row_gains_avx2<Terms>, apply_gains_avx2};
#endif
    return {row_gains_baseline<Terms>, apply_gains_baseline};
}

// Each row of gains is computed once, from the columns' squared offsets
// worked out once per call, and also serves the row mirrored about the centre
// when that row's squared offset is bitwise the same (its gains then are too).
// Returns false, having written nothing, when the scratch row is not to be had.
template <int Terms>
bool correct_rows(float* data, const PartOfWhole& part, int channels, const double* k, double cx, double cy,
                  double scale) {
    const int width = static_cast<int>(part.width);
    const int64_t first_row = static_cast<int64_t>(part.top);
    const int64_t end_row = first_row + static_cast<int64_t>(part.height);
    const size_t columns = static_cast<size_t>(width);
    void* scratch = std::malloc(columns * (sizeof(double) + sizeof(float)));
    if (!scratch) return false;
    double* dx2 = static_cast<double*>(scratch);
    float* gain = reinterpret_cast<float*>(dx2 + columns);
    for (int j = 0; j < width; ++j) dx2[j] = column_offset2(static_cast<int>(part.left) + j, cx, scale);
    const RowLoops loops = row_loops<Terms>();
    const auto offset2 = [&](int64_t i) {
        const double dy = (static_cast<double>(i) - cy) * scale;
        return dy * dy;
    };
    const auto mirror = [&](int64_t i) -> int64_t {
        const double m = 2.0 * cy - static_cast<double>(i);
        if (!(m >= static_cast<double>(first_row) && m < static_cast<double>(end_row)) || m != std::floor(m))
            return -1;
        const int64_t row = static_cast<int64_t>(m);
        const double a = offset2(i), b = offset2(row);
        return std::memcmp(&a, &b, sizeof a) == 0 ? row : -1;
    };
    const auto apply_row = [&](int64_t i) {
        float* row = data + (i - first_row) * width * channels;
        for (int first = 0; first < width; first += kChunk)
            loops.apply(row + static_cast<int64_t>(first) * channels, gain + first, std::min(kChunk, width - first),
                        channels);
    };
    for (int64_t i = first_row; i < end_row; ++i) {
        const int64_t twin = mirror(i);
        if (twin >= 0 && twin < i) continue;  // done together with its twin
        const double dy2 = offset2(i);
        loops.gains(dx2, dy2, k, gain, width);
        apply_row(i);
        if (twin > i) apply_row(twin);
    }
    std::free(scratch);
    return true;
}

}  // namespace

LumraStatus fix_vignette_impl(float* data, const PartOfWhole& part, int channels, const double* coefficients,
                              int coefficient_count, double center_x, double center_y) noexcept {
    if (part.height == 0 || part.width == 0) return LUMRA_OK;
    const double w = static_cast<double>(part.full_width), h = static_cast<double>(part.full_height);
    const double cx = center_x * w, cy = center_y * h;
    const double scale = 1.0 / farthest_corner(cx, cy, w, h);
    const double* k = coefficients;
    bool done = false;
    switch (std::min(coefficient_count, 5)) {
        case 1: done = correct_rows<1>(data, part, channels, k, cx, cy, scale); break;
        case 2: done = correct_rows<2>(data, part, channels, k, cx, cy, scale); break;
        case 3: done = correct_rows<3>(data, part, channels, k, cx, cy, scale); break;
        case 4: done = correct_rows<4>(data, part, channels, k, cx, cy, scale); break;
        default: done = correct_rows<5>(data, part, channels, k, cx, cy, scale); break;
    }
    return done ? LUMRA_OK : LUMRA_ERR_INVALID_ARGUMENT;
}

}  // namespace lumra
