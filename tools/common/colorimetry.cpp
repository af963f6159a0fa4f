#include "common/colorimetry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lumra_tools {

Vec3 xy_to_xyz(Chromaticity c) { return {c.x / c.y, 1.0, (1.0 - c.x - c.y) / c.y}; }

Chromaticity xyz_to_xy(const Vec3& xyz) {
    const double sum = xyz[0] + xyz[1] + xyz[2];
    if (!(sum > 0.0)) return kD50;
    return {xyz[0] / sum, xyz[1] / sum};
}

Mat3 prophoto_to_xyz() {
    return {0.7976749, 0.1351917, 0.0313534, 0.2880402, 0.7118741, 0.0000857, 0.0, 0.0, 0.8252100};
}

Mat3 xyz_to_prophoto() { return inverse_of(prophoto_to_xyz()); }

Mat3 srgb_to_xyz() {
    return {0.4124564, 0.3575761, 0.1804375, 0.2126729, 0.7151522, 0.0721750, 0.0193339, 0.1191920, 0.9503041};
}

Mat3 xyz_to_srgb() { return inverse_of(srgb_to_xyz()); }

Mat3 bradford(Chromaticity from, Chromaticity to) {
    const Mat3 cone{0.8951, 0.2664, -0.1614, -0.7502, 1.7135, 0.0367, 0.0389, -0.0685, 1.0296};
    const Mat3 cone_inverse = inverse_of(cone);
    const Vec3 src = multiply(cone, xy_to_xyz(from));
    const Vec3 dst = multiply(cone, xy_to_xyz(to));
    const Mat3 gain = diagonal3({dst[0] / src[0], dst[1] / src[1], dst[2] / src[2]});
    return multiply(cone_inverse, multiply(gain, cone));
}

double correlated_temperature(Chromaticity c) {
    const double n = (c.x - 0.3320) / (c.y - 0.1858);
    const double t = ((-449.0 * n + 3525.0) * n - 6823.3) * n + 5520.33;
    if (!std::isfinite(t)) return 5000.0;
    return std::clamp(t, 1000.0, 50000.0);
}

double illuminant_temperature(int code) {
    switch (code) {
        case 1: case 4: case 9: return 5500.0;   // daylight, flash, fine weather
        case 2: return 4200.0;                   // fluorescent
        case 3: return 2850.0;                   // tungsten
        case 10: return 6500.0;                  // cloudy
        case 11: return 7500.0;                  // shade
        case 12: return 6430.0;                  // daylight fluorescent
        case 13: return 5000.0;                  // day white fluorescent
        case 14: return 4150.0;                  // cool white fluorescent
        case 15: return 3450.0;                  // white fluorescent
        case 16: return 2940.0;                  // warm white fluorescent
        case 17: return 2856.0;                  // standard light A
        case 18: return 4874.0;                  // standard light B
        case 19: return 6774.0;                  // standard light C
        case 20: return 5503.0;                  // D55
        case 21: return 6504.0;                  // D65
        case 22: return 7504.0;                  // D75
        case 23: return 5003.0;                  // D50
        case 24: return 3200.0;                  // ISO studio tungsten
        default: return 0.0;
    }
}

Vec3 hsv_to_rgb(double hue, double s, double v) {
    const double h = hue - 6.0 * std::floor(hue / 6.0);
    const int i = std::min(int(h), 5);
    const double f = h - i, p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (i) {
        case 0: return {v, t, p};
        case 1: return {q, v, p};
        case 2: return {p, v, t};
        case 3: return {p, q, v};
        case 4: return {t, p, v};
        default: return {v, p, q};
    }
}

double srgb_encode(double v) {
    if (v <= 0.0031308) return 12.92 * std::max(v, 0.0);
    return 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

double srgb_decode(double e) {
    if (e <= 0.04045) return e / 12.92;
    return std::pow((e + 0.055) / 1.055, 2.4);
}

Lab xyz_to_lab(const Vec3& xyz, const Vec3& white) {
    auto f = [](double t) {
        constexpr double e = 216.0 / 24389.0, k = 24389.0 / 27.0;
        return t > e ? std::cbrt(t) : (k * t + 16.0) / 116.0;
    };
    const double fx = f(xyz[0] / white[0]), fy = f(xyz[1] / white[1]), fz = f(xyz[2] / white[2]);
    return {116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

Lab srgb_to_lab(const Vec3& encoded) {
    const Vec3 linear{srgb_decode(encoded[0]), srgb_decode(encoded[1]), srgb_decode(encoded[2])};
    const Vec3 xyz = multiply(srgb_to_xyz(), linear);
    return xyz_to_lab(xyz, multiply(srgb_to_xyz(), Vec3{1.0, 1.0, 1.0}));
}

double delta_e_2000(const Lab& p, const Lab& q) {
    constexpr double pi = std::numbers::pi;
    const double c1 = std::hypot(p.a, p.b), c2 = std::hypot(q.a, q.b);
    const double c_mean = (c1 + c2) / 2.0;
    const double c7 = std::pow(c_mean, 7.0);
    const double g = 0.5 * (1.0 - std::sqrt(c7 / (c7 + std::pow(25.0, 7.0))));
    const double a1 = (1.0 + g) * p.a, a2 = (1.0 + g) * q.a;
    const double cp1 = std::hypot(a1, p.b), cp2 = std::hypot(a2, q.b);
    auto hue = [&](double b, double a) {
        if (a == 0.0 && b == 0.0) return 0.0;
        double h = std::atan2(b, a) * 180.0 / pi;
        return h < 0.0 ? h + 360.0 : h;
    };
    const double h1 = hue(p.b, a1), h2 = hue(q.b, a2);
    const double dl = q.L - p.L, dc = cp2 - cp1;
    double dh = 0.0;
    if (cp1 * cp2 != 0.0) {
        dh = h2 - h1;
        if (dh > 180.0) dh -= 360.0;
        else if (dh < -180.0) dh += 360.0;
    }
    const double dhh = 2.0 * std::sqrt(cp1 * cp2) * std::sin(dh * pi / 360.0);
    const double l_mean = (p.L + q.L) / 2.0, cp_mean = (cp1 + cp2) / 2.0;
    double h_mean = h1 + h2;
    if (cp1 * cp2 != 0.0) {
        if (std::fabs(h1 - h2) <= 180.0) h_mean /= 2.0;
        else h_mean = (h1 + h2 < 360.0) ? (h1 + h2 + 360.0) / 2.0 : (h1 + h2 - 360.0) / 2.0;
    }
    const double rad = pi / 180.0;
    const double t = 1.0 - 0.17 * std::cos((h_mean - 30.0) * rad) + 0.24 * std::cos(2.0 * h_mean * rad) +
                     0.32 * std::cos((3.0 * h_mean + 6.0) * rad) - 0.20 * std::cos((4.0 * h_mean - 63.0) * rad);
    const double d_theta = 30.0 * std::exp(-std::pow((h_mean - 275.0) / 25.0, 2.0));
    const double cp7 = std::pow(cp_mean, 7.0);
    const double rc = 2.0 * std::sqrt(cp7 / (cp7 + std::pow(25.0, 7.0)));
    const double l50 = (l_mean - 50.0) * (l_mean - 50.0);
    const double sl = 1.0 + 0.015 * l50 / std::sqrt(20.0 + l50);
    const double sc = 1.0 + 0.045 * cp_mean, sh = 1.0 + 0.015 * cp_mean * t;
    const double rt = -std::sin(2.0 * d_theta * rad) * rc;
    const double x = dl / sl, y = dc / sc, z = dhh / sh;
    return std::sqrt(x * x + y * y + z * z + rt * y * z);
}

}  // namespace lumra_tools
