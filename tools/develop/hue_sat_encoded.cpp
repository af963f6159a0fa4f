#include "develop/hue_sat_encoded.h"

#include "common/colorimetry.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace lumra_tools {
namespace {

// sRGB encoding of a value: a dense table over 0..1, the formula above.
float encode_value(float v) {
    constexpr int kSize = 4096;
    static const std::array<float, kSize + 1> table = [] {
        std::array<float, kSize + 1> t{};
        for (int i = 0; i <= kSize; ++i) t[size_t(i)] = float(srgb_encode(double(i) / kSize));
        return t;
    }();
    if (!(v > 0.0f)) return 0.0f;
    if (v >= 1.0f) return float(srgb_encode(double(v)));
    const float p = v * float(kSize);
    const int i = std::min(int(p), kSize - 1);
    const float f = p - float(i);
    return table[size_t(i)] + f * (table[size_t(i) + 1] - table[size_t(i)]);
}

}  // namespace

void apply_hue_sat_map_encoded(float* px, size_t count, const float* map, int hue_divisions, int sat_divisions,
                               int val_divisions, bool srgb_value) {
    const float hue_scale = hue_divisions < 2 ? 0.0f : float(hue_divisions) * 0.16666667f;
    const float sat_scale = float(sat_divisions - 1), val_scale = float(val_divisions - 1);
    const size_t row_length = size_t(sat_divisions) * 3;
    const size_t slice = size_t(hue_divisions) * row_length;
    // Positions are limited before conversion, as in the library.
    auto limited_floor = [](float position, int64_t last) {
        return std::min(int64_t(std::min(position, 4294967296.0f)), last);
    };
    auto non_negative = [](float position) { return position >= 0.0f ? position : 0.0f; };
    auto blend = [&](const float* row0, const float* row1, float fh, float fs, float out[3]) {
        const float hue_keep = 1.0f - fh, sat_keep = 1.0f - fs;
        float pair[6];
        for (int k = 0; k < 6; ++k) pair[k] = hue_keep * row0[k] + fh * row1[k];
        for (int k = 0; k < 3; ++k) out[k] = sat_keep * pair[k] + fs * pair[k + 3];
    };
    for (size_t i = 0; i < count; ++i, px += 3) {
        const float r = px[0], g = px[1], b = px[2];
        const float value = std::max(std::max(r, g), b);
        const float finite_limit = 3.40282347e38f;
        const bool finite = std::fabs(r) <= finite_limit && std::fabs(g) <= finite_limit && std::fabs(b) <= finite_limit;
        const bool negative = r < 0.0f || g < 0.0f || b < 0.0f;
        if (!finite || (negative && !(value > 0.0f))) continue;
        const float delta = value - std::min(std::min(r, g), b);
        float saturation = 0.0f, hue = 0.0f;
        if (delta > 0.0f) {
            saturation = delta / value;
            const bool red_top = r == value, green_top = g == value;
            const float sextant = (red_top ? g - b : (green_top ? b - r : r - g)) / delta;
            hue = red_top ? (sextant < 0.0f ? sextant + 6.0f : sextant) : sextant + (green_top ? 2.0f : 4.0f);
        }
        const float hue_position = non_negative(hue * hue_scale);
        const int64_t h0 = limited_floor(hue_position, hue_divisions - 1);
        const int64_t h1 = h0 < hue_divisions - 1 ? h0 + 1 : 0;  // the hue axis wraps
        const float sat_position = non_negative(saturation * sat_scale);
        const int64_t s0 = limited_floor(sat_position, sat_divisions - 2);
        size_t offset = size_t(s0) * 3;
        float val_fraction = 0.0f;
        if (val_divisions > 1) {
            const float index_value = srgb_value ? encode_value(value) : value;
            const float val_position = non_negative(index_value * val_scale);
            const int64_t l0 = limited_floor(val_position, val_divisions - 2);
            val_fraction = val_position - float(l0);
            offset += size_t(l0) * slice;
        }
        const float* row0 = map + size_t(h0) * row_length + offset;
        const float* row1 = map + size_t(h1) * row_length + offset;
        const float fh = hue_position - float(h0), fs = sat_position - float(s0);
        float q[3];
        blend(row0, row1, fh, fs, q);
        if (val_divisions > 1) {
            float high[3];
            blend(row0 + slice, row1 + slice, fh, fs, high);
            const float keep = 1.0f - val_fraction;
            for (int k = 0; k < 3; ++k) q[k] = keep * q[k] + val_fraction * high[k];
        }
        const float new_sat = std::min(saturation * q[1], 1.0f);
        const float new_value = std::max(std::min(q[2] * value, 1.0f), 0.0f);
        if (!(new_sat > 0.0f)) {
            px[0] = px[1] = px[2] = new_value;
            continue;
        }
        const float x = q[0] * 0.016666668f + hue;
        float wrapped;
        if (x >= 0.0f && x < 6.0f) wrapped = x;
        else if (x >= 6.0f && x < 12.0f) wrapped = x - 6.0f;
        else if (x > -6.0f && x < 0.0f) wrapped = x;
        else wrapped = std::fmod(x, 6.0f);
        const float new_hue = wrapped < 0.0f ? wrapped + 6.0f : wrapped;
        if (!(new_hue <= 6.0f)) continue;  // a NaN hue has no sextant
        const int sextant = int(new_hue);
        const float f = new_hue - float(sextant);
        const float corner[4] = {new_value, ((f - 1.0f) * new_sat + 1.0f) * new_value, (1.0f - new_sat) * new_value,
                                 (1.0f - f * new_sat) * new_value};
        static constexpr unsigned char kPick[7][3] = {{0, 1, 2}, {3, 0, 2}, {2, 0, 1}, {2, 3, 0},
                                                      {1, 2, 0}, {0, 2, 3}, {0, 1, 2}};
        px[0] = corner[kPick[sextant][0]];
        px[1] = corner[kPick[sextant][1]];
        px[2] = corner[kPick[sextant][2]];
    }
}

}  // namespace lumra_tools
