#include "support/profile_reference.h"

#include <algorithm>
#include <cmath>

namespace lumra_test {

namespace {

void hue_sat_pixel(float* px, const std::vector<float>& map, int hd, int sd, int vd) {
    const float r = px[0], g = px[1], b = px[2];
    if (!std::isfinite(r) || !std::isfinite(g) || !std::isfinite(b)) return;
    const float V = std::max(std::max(r, g), b);
    if ((r < 0 || g < 0 || b < 0) && !(V > 0)) return;

    // 1. RGB to HSV.
    const float delta = V - std::min(std::min(r, g), b);
    float S = 0.0f, H = 0.0f;
    if (delta > 0) {
        S = delta / V;
        if (r == V) {
            H = (g - b) / delta;
            if (H < 0) H = H + 6.0f;
        } else if (g == V) {
            H = (b - r) / delta + 2.0f;
        } else {
            H = (r - g) / delta + 4.0f;
        }
    }

    // 2. Hue position (a NaN position reads row 0 with fraction 0).
    const float factor = hd < 2 ? 0.0f : static_cast<float>(hd) * 0.16666667f;
    float hp = H * factor;
    if (std::isnan(hp)) hp = 0.0f;
    const double hp_floor = std::floor(static_cast<double>(hp));
    const int64_t h0 = static_cast<int64_t>(std::min(hp_floor, static_cast<double>(hd - 1)));
    const int64_t h1 = hp_floor < hd - 1 ? h0 + 1 : 0;
    const float fh = hp - static_cast<float>(h0);

    // 3. Saturation position.
    const float sp = S * static_cast<float>(sd - 1);
    const int64_t s0 = static_cast<int64_t>(std::min(std::floor(static_cast<double>(sp)), static_cast<double>(sd - 2)));
    const int64_t s1 = s0 + 1;
    const float fs = sp - static_cast<float>(s0);

    // 4. Value position.
    int64_t l0 = 0;
    float fv = 0.0f;
    const bool value_axis = vd > 1;
    if (value_axis) {
        const float vp = V * static_cast<float>(vd - 1);
        l0 = static_cast<int64_t>(std::min(std::floor(static_cast<double>(vp)), static_cast<double>(vd - 2)));
        fv = vp - static_cast<float>(l0);
    }

    // 5. Hue, then saturation, then value.
    auto entry = [&](int64_t l, int64_t h, int64_t s, int q) {
        return map.at(static_cast<size_t>(((l * hd + h) * sd + s) * 3 + q));
    };
    auto in_slice = [&](int64_t l, int q) {
        const float at_s0 = (1.0f - fh) * entry(l, h0, s0, q) + fh * entry(l, h1, s0, q);
        const float at_s1 = (1.0f - fh) * entry(l, h0, s1, q) + fh * entry(l, h1, s1, q);
        return (1.0f - fs) * at_s0 + fs * at_s1;
    };
    float result[3];
    for (int q = 0; q < 3; ++q) {
        result[q] = in_slice(l0, q);
        if (value_axis) result[q] = (1.0f - fv) * result[q] + fv * in_slice(l0 + 1, q);
    }
    const float Dh = result[0], Ks = result[1], Kv = result[2];

    // 6. New saturation and value.
    float S2 = S * Ks;
    if (S2 > 1.0f) S2 = 1.0f;
    float V2 = Kv * V;
    if (V2 > 1.0f) V2 = 1.0f;
    if (V2 < 0.0f) V2 = 0.0f;

    // 7. Grey.
    if (!(S2 > 0.0f)) {
        px[0] = px[1] = px[2] = V2;
        return;
    }

    // 8. Back to RGB.
    float H2 = std::fmod(Dh * 0.016666668f + H, 6.0f);
    if (H2 < 0.0f) H2 = H2 + 6.0f;
    if (std::isnan(H2)) return;
    const int i = static_cast<int>(std::floor(H2));
    const float f = H2 - static_cast<float>(i);
    const float p = (1.0f - S2) * V2;
    const float q = (1.0f - f * S2) * V2;
    const float t = ((f - 1.0f) * S2 + 1.0f) * V2;
    float out[3];
    switch (i) {
        case 0: case 6: out[0] = V2, out[1] = t, out[2] = p; break;
        case 1: out[0] = q, out[1] = V2, out[2] = p; break;
        case 2: out[0] = p, out[1] = V2, out[2] = t; break;
        case 3: out[0] = p, out[1] = q, out[2] = V2; break;
        case 4: out[0] = t, out[1] = p, out[2] = V2; break;
        default: out[0] = V2, out[1] = p, out[2] = q; break;
    }
    px[0] = out[0], px[1] = out[1], px[2] = out[2];
}

// Grid row or column and fraction: (0, 0) at or before the first, (last, 0) at
// or after the last.
void grid_place(double position, int points, int64_t& index, double& fraction) {
    if (!(position > 0.0)) {
        index = 0, fraction = 0.0;
    } else if (position >= points - 1) {
        index = points - 1, fraction = 0.0;
    } else {
        index = static_cast<int64_t>(std::floor(position));
        fraction = position - static_cast<double>(index);
    }
}

}  // namespace

void reference_hue_sat_map(std::vector<float>& pixels, const std::vector<float>& map, int hue_divisions,
                           int sat_divisions, int val_divisions) {
    for (size_t n = 0; n + 3 <= pixels.size(); n += 3)
        hue_sat_pixel(&pixels[n], map, hue_divisions, sat_divisions, val_divisions);
}

float reference_exposure_ramp(float x, double white_level, double black_level, double ramp_width,
                              bool allow_overrange) {
    const float span = static_cast<float>(white_level - black_level);
    const float slope = 1.0f / span;
    const float radius = std::min(static_cast<float>(ramp_width) * 0.5f, span * 0.0625f);
    const float quad = radius > 0.0f ? slope / (4.0f * radius) : 0.0f;
    const float black = static_cast<float>(black_level);
    const float toe_low = black - radius, toe_high = black + radius;
    if (x <= toe_low) return 0.0f;
    if (x > toe_low && x < toe_high) return (x - toe_low) * (x - toe_low) * quad;
    float y = (x - black) * slope;
    if (!allow_overrange && y > 1.0f) y = 1.0f;
    return y;
}

double reference_gain(const GainTableMap& map, float r, float g, float b, int64_t row, int64_t col, int64_t height,
                      int64_t width) {
    // 1 to 3: table input, exact in single precision.
    const float* w = map.weights;
    float t = w[0] * r;
    t = t + w[1] * g;
    t = t + w[2] * b;
    t = t + w[3] * std::min({r, g, b});
    t = t + w[4] * std::max({r, g, b});
    t = t * map.exposure_gain;
    t = std::min(std::max(0.0f, t), 1.0f);
    if (map.gamma != 1.0f) t = std::min(std::max(0.0f, std::pow(t, map.gamma)), 1.0f);

    // 4: position in a table.
    const int N = map.points_n;
    auto lookup = [&](int64_t i, int64_t j) {
        const float* table = &map.gains.at(static_cast<size_t>((i * map.points_h + j) * N));
        if (N == 1) return static_cast<double>(table[0]);
        const double x = std::min(static_cast<double>(t) * N, static_cast<double>(N - 1));
        const int64_t k = std::min(static_cast<int64_t>(std::floor(x)), static_cast<int64_t>(N - 2));
        const double f = x - static_cast<double>(k);
        return table[k] + f * (static_cast<double>(table[k + 1]) - table[k]);
    };

    // 5: grid position with pixel centres.
    const double v = ((row + 0.5) / static_cast<double>(height) - map.origin_v) / map.spacing_v;
    const double u = ((col + 0.5) / static_cast<double>(width) - map.origin_h) / map.spacing_h;
    int64_t i = 0, j = 0;
    double fy = 0.0, fx = 0.0;
    grid_place(v, map.points_v, i, fy);
    grid_place(u, map.points_h, j, fx);

    // 6: blend, never reading past the edge when a fraction is 0.
    auto blended_row = [&](int64_t ii) {
        const double left = lookup(ii, j);
        return fx == 0.0 ? left : (1.0 - fx) * left + fx * lookup(ii, j + 1);
    };
    const double top = blended_row(i);
    return fy == 0.0 ? top : (1.0 - fy) * top + fy * blended_row(i + 1);
}

}  // namespace lumra_test
