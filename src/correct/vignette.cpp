// Radial vignette correction: every sample is multiplied by
// 1 + k0 q + k1 q^2 + ... + k4 q^5, q the squared distance of its pixel from
// the optical centre normalised by the farthest corner, and limited to [0, 1].
// The gain is computed in double precision once per pixel and shared by all
// its channels.
#include <algorithm>

#include "correct_common.h"
#include "correct_kernels.h"

namespace lumra {
namespace {

// Pixels whose gains are computed together before they are applied.
constexpr int kChunk = 256;

inline float limit_unit(float value) { return limit_high_then_low(value, 0.0f, 1.0f); }

// Gains of columns [first, first + count) of a row whose squared offset is dy2.
template <int Terms>
void radial_gains(float* gain, int first, int count, double dy2, double cx, double scale, const double* k) {
    for (int j = 0; j < count; ++j) {
        const double dx = (static_cast<double>(first + j) - cx) * scale;
        const double q = dx * dx + dy2;
        double g = k[0] * q + 1.0;
        double power = q;
        for (int t = 1; t < Terms; ++t) {
            power = power * q;
            g = g + k[t] * power;
        }
        gain[j] = static_cast<float>(g);
    }
}

// Multiplies `count` pixels of `channels` samples by their gains.
void apply_gains(float* pixels, const float* gain, int count, int channels) {
    if (channels == 1) {
        for (int j = 0; j < count; ++j) pixels[j] = limit_unit(pixels[j] * gain[j]);
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
void correct_rows(float* data, int height, int width, int channels, const double* k, double cx, double cy,
                  double scale) {
    float gain[kChunk];
    for (int i = 0; i < height; ++i) {
        const double dy = (static_cast<double>(i) - cy) * scale;
        const double dy2 = dy * dy;
        float* row = data + static_cast<int64_t>(i) * width * channels;
        for (int first = 0; first < width; first += kChunk) {
            const int count = std::min(kChunk, width - first);
            radial_gains<Terms>(gain, first, count, dy2, cx, scale, k);
            apply_gains(row + static_cast<int64_t>(first) * channels, gain, count, channels);
        }
    }
}

}  // namespace

void fix_vignette_impl(float* data, int height, int width, int channels, const double* coefficients,
                       int coefficient_count, double center_x, double center_y) noexcept {
    const double w = width, h = height;
    const double cx = center_x * w, cy = center_y * h;
    const double scale = 1.0 / farthest_corner(cx, cy, w, h);
    const double* k = coefficients;
    switch (std::min(coefficient_count, 5)) {
        case 1: correct_rows<1>(data, height, width, channels, k, cx, cy, scale); break;
        case 2: correct_rows<2>(data, height, width, channels, k, cx, cy, scale); break;
        case 3: correct_rows<3>(data, height, width, channels, k, cx, cy, scale); break;
        case 4: correct_rows<4>(data, height, width, channels, k, cx, cy, scale); break;
        default: correct_rows<5>(data, height, width, channels, k, cx, cy, scale); break;
    }
}

}  // namespace lumra
