#include "sample/camera.h"

#include "common/colorimetry.h"
#include "develop/color_setup.h"
#include "dng/opcodes.h"
#include "sample/scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace lumra_tools {
namespace {

constexpr double kWhite = 16383.0;
constexpr float kBlackTile[4] = {512.0f, 514.0f, 511.0f, 513.0f};
constexpr double kVignette[5] = {0.35, 0.12, 0.0, 0.0, 0.0};
constexpr uint32_t kShadingRows = 9, kShadingCols = 13;
constexpr double kBaselineExposure = 0.5;
constexpr int kHueDivisions = 12, kSatDivisions = 3;

Mat3 camera_matrix_a() { return {0.7100, -0.1300, -0.0700, -0.4000, 1.1600, 0.2600, -0.0500, 0.1800, 0.6500}; }
Mat3 camera_matrix_d65() { return {0.6700, -0.0900, -0.0600, -0.4300, 1.1800, 0.2800, -0.0800, 0.1500, 0.6300}; }

std::vector<double> to_vector(const Mat3& m) { return {m.begin(), m.end()}; }

// Forward matrix of an illuminant: white-balanced camera to XYZ D50.
Mat3 forward_matrix(const Mat3& cm, Chromaticity illuminant) {
    return multiply(bradford(illuminant, kD50), multiply(inverse_of(cm), diagonal3(multiply(cm, xy_to_xyz(illuminant)))));
}

std::vector<float> hue_sat_table(double strength) {
    std::vector<float> t;
    for (int h = 0; h < kHueDivisions; ++h)
        for (int s = 0; s < kSatDivisions; ++s) {
            const double angle = 2.0 * std::numbers::pi * h / kHueDivisions;
            const double reach = s / double(kSatDivisions - 1);
            t.push_back(float(strength * 3.0 * std::sin(angle) * reach));           // hue shift, degrees
            t.push_back(float(1.0 + strength * 0.05 * std::cos(angle) * reach));  // saturation scale
            t.push_back(1.0f);                                                       // value scale
        }
    return t;
}

// The profile's hue/saturation map read plainly, in double precision.
Vec3 apply_hue_sat(const Vec3& rgb, const std::vector<float>& t) {
    const double v = std::max({rgb[0], rgb[1], rgb[2]});
    const double d = v - std::min({rgb[0], rgb[1], rgb[2]});
    if (!(d > 0.0)) return rgb;
    const double s = d / v;
    double h = rgb[0] == v ? (rgb[1] - rgb[2]) / d : rgb[1] == v ? (rgb[2] - rgb[0]) / d + 2 : (rgb[0] - rgb[1]) / d + 4;
    if (h < 0) h += 6;
    const double hp = h * kHueDivisions / 6.0;
    const int h0 = std::min(int(hp), kHueDivisions - 1), h1 = (h0 + 1) % kHueDivisions;
    const double fh = hp - h0, sp = s * (kSatDivisions - 1);
    const int s0 = std::min(int(sp), kSatDivisions - 2);
    const double fs = sp - s0;
    auto at = [&](int hh, int ss, int k) { return double(t[(hh * kSatDivisions + ss) * 3 + k]); };
    double q[3];
    for (int k = 0; k < 3; ++k) {
        const double a = at(h0, s0, k) * (1 - fh) + at(h1, s0, k) * fh;
        const double b = at(h0, s0 + 1, k) * (1 - fh) + at(h1, s0 + 1, k) * fh;
        q[k] = a * (1 - fs) + b * fs;
    }
    const double s2 = std::min(s * q[1], 1.0), v2 = std::clamp(v * q[2], 0.0, 1.0);
    double h2 = std::fmod(h + q[0] / 60.0, 6.0);
    if (h2 < 0) h2 += 6;
    return hsv_to_rgb(h2, s2, v2);
}

Vec3 invert_hue_sat(const Vec3& target, const std::vector<float>& t) {
    Vec3 x = target;
    for (int i = 0; i < 8; ++i) {
        const Vec3 y = apply_hue_sat(x, t);
        for (int k = 0; k < 3; ++k) x[k] += target[k] - y[k];
    }
    return x;
}

// Inverse of the hue-preserving tone curve: the largest and smallest channels
// go back through the curve, the middle one keeps its proportion.
class ToneInverse {
public:
    explicit ToneInverse(std::vector<float> table) : table_(std::move(table)) {}
    double channel(double y) const {
        const size_t n = table_.size();
        if (y <= table_[0]) return 0.0;
        if (y >= table_[n - 1]) return 1.0;
        const size_t k = size_t(std::upper_bound(table_.begin(), table_.end(), float(y)) - table_.begin()) - 1;
        const double f = (y - table_[k]) / (double(table_[k + 1]) - table_[k]);
        return (double(k) + f) / double(n - 1);
    }
    Vec3 pixel(const Vec3& out) const {
        int hi = 0, lo = 0;
        for (int k = 1; k < 3; ++k) {
            if (out[k] > out[hi]) hi = k;
            if (out[k] < out[lo]) lo = k;
        }
        if (hi == lo) return {channel(out[0]), channel(out[1]), channel(out[2])};
        const int mid = 3 - hi - lo;
        Vec3 in{};
        in[hi] = channel(out[hi]);
        in[lo] = channel(out[lo]);
        in[mid] = in[lo] + (out[mid] - out[lo]) * (in[hi] - in[lo]) / (out[hi] - out[lo]);
        return in;
    }

private:
    std::vector<float> table_;
};

// Correction gain of a lens-shading map at a pixel, read the way the
// GainMap opcode places its grid (pixel centres, relative coordinates).
double shading_gain(const GainMapOp& g, uint32_t row, uint32_t col, uint32_t height, uint32_t width) {
    auto position = [](double rel, double origin, double spacing, uint32_t points, int& i0, double& f) {
        const double v = (rel - origin) / spacing;
        if (!(v > 0)) { i0 = 0; f = 0; return; }
        if (v >= points - 1) { i0 = int(points - 1); f = 0; return; }
        i0 = int(v);
        f = v - i0;
    };
    int i0, j0;
    double fy, fx;
    position((row + 0.5) / height, g.origin_v, g.spacing_v, g.points_v, i0, fy);
    position((col + 0.5) / width, g.origin_h, g.spacing_h, g.points_h, j0, fx);
    const int i1 = std::min<int>(i0 + 1, int(g.points_v) - 1), j1 = std::min<int>(j0 + 1, int(g.points_h) - 1);
    auto m = [&](int i, int j) { return double(g.gains[size_t(i) * g.points_h + j]); };
    const double a0 = m(i0, j0) + fy * (m(i1, j0) - m(i0, j0)), a1 = m(i0, j1) + fy * (m(i1, j1) - m(i0, j1));
    return a0 + fx * (a1 - a0);
}

std::vector<Opcode> shading_opcodes(uint32_t height, uint32_t width) {
    const double falloff[4] = {0.30, 0.22, 0.22, 0.26};  // R, G, G, B sites: red shades most
    std::vector<Opcode> list;
    for (uint32_t site = 0; site < 4; ++site) {
        GainMapOp g;
        g.area = {site / 2, site % 2, height, width, 0, 1, 2, 2};
        g.points_v = kShadingRows;
        g.points_h = kShadingCols;
        g.spacing_v = 1.0 / (kShadingRows - 1);
        g.spacing_h = 1.0 / (kShadingCols - 1);
        for (uint32_t i = 0; i < kShadingRows; ++i)
            for (uint32_t j = 0; j < kShadingCols; ++j) {
                const double y = i * g.spacing_v - 0.5, x = j * g.spacing_h - 0.5;
                const double r2 = (x * x + y * y) / 0.5;
                g.gains.push_back(float(1.0 + falloff[site] * r2 + 0.04 * x));
            }
        list.push_back({opcode_id::kGainMap, 0x01030000, 0, g});
    }
    return list;
}

double vignette_gain(uint32_t row, uint32_t col, uint32_t height, uint32_t width) {
    const double cx = 0.5 * width, cy = 0.5 * height;
    const double d = std::max(1.0, std::hypot(std::max(cx, width - cx), std::max(cy, height - cy)));
    const double dx = (col - cx) / d, dy = (row - cy) / d, q = dx * dx + dy * dy;
    return 1.0 + kVignette[0] * q + kVignette[1] * q * q;
}

ColorProfile sample_profile() {
    ColorProfile p;
    p.illuminant1 = 17;
    p.illuminant2 = 21;
    p.color_matrix1 = to_vector(camera_matrix_a());
    p.color_matrix2 = to_vector(camera_matrix_d65());
    p.forward_matrix1 = to_vector(forward_matrix(camera_matrix_a(), {0.44757, 0.40745}));
    p.forward_matrix2 = to_vector(forward_matrix(camera_matrix_d65(), kD65));
    p.hue_sat_dims = {kHueDivisions, kSatDivisions, 1};
    p.hue_sat_data1 = hue_sat_table(1.5);
    p.hue_sat_data2 = hue_sat_table(1.0);
    p.tone_curve = {0.0f, 0.0f, 0.0625f, 0.055f, 0.125f, 0.118f, 0.25f, 0.245f, 0.5f, 0.515f, 0.75f, 0.77f, 1.0f, 1.0f};
    return p;
}

}  // namespace

DngFile make_sample_dng(uint32_t width, uint32_t height, uint64_t seed) {
    DngFile dng;
    dng.width = width;
    dng.height = height;
    dng.samples = 1;
    dng.black_repeat_rows = dng.black_repeat_cols = 2;
    dng.black_levels.assign(std::begin(kBlackTile), std::end(kBlackTile));
    dng.white_levels = {float(kWhite)};
    for (uint32_t c = 0; c < width; ++c) dng.black_delta_h.push_back(float(std::round(8 * std::cos(c / 53.0)) / 8));
    for (uint32_t r = 0; r < height; ++r) dng.black_delta_v.push_back(float(std::round(8 * std::sin(r / 37.0)) / 8));
    dng.profile = sample_profile();
    const Vec3 neutral = multiply(camera_matrix_d65(), xy_to_xyz(kD65));
    const double largest = std::max({neutral[0], neutral[1], neutral[2]});
    dng.as_shot_neutral = {neutral[0] / largest, neutral[1] / largest, neutral[2] / largest};
    dng.baseline_exposure = kBaselineExposure;

    const std::vector<Opcode> shading = shading_opcodes(height, width);
    dng.opcode_list1 = serialize_opcode_list({{opcode_id::kFixBadPixelsConstant, 0x01030000, 0, FixBadPixelsConstantOp{0, 0}}});
    dng.opcode_list2 = serialize_opcode_list(shading);
    FixVignetteRadialOp vignette;
    std::copy(std::begin(kVignette), std::end(kVignette), vignette.k);
    dng.opcode_list3 = serialize_opcode_list({{opcode_id::kFixVignetteRadial, 0x01030000, 0, vignette}});

    // The development the profile implies, inverted stage by stage.
    ColorSetup color;
    std::string error;
    setup_color(dng, dng.profile, color, error);
    const Mat3 prophoto_to_camera = inverse_of(color.camera_to_prophoto);
    const Mat3 srgb_to_prophoto = inverse_of(prophoto_to_srgb());
    const ToneInverse tone(tone_curve_table(dng.profile.tone_curve));
    const double exposure = std::exp2(-color.exposure_ev);

    const SampleScene scene(width, height);
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> unit(0.0, 1.0);
    dng.raw.resize(size_t(width) * height);
    Vec3 last_light{-1, -1, -1}, last_camera{};
    for (uint32_t r = 0; r < height; ++r)
        for (uint32_t c = 0; c < width; ++c) {
            const Vec3 light = scene.pixel(r, c);
            if (light != last_light) {
                Vec3 p = multiply(srgb_to_prophoto, light);
                for (double& x : p) x = std::clamp(x, 0.0, 1.0);
                p = tone.pixel(p);
                for (double& x : p) x *= exposure;
                last_camera = multiply(prophoto_to_camera, invert_hue_sat(p, color.hue_sat));
                last_light = light;
            }
            const uint32_t site = (r % 2) * 2 + (c % 2);
            const auto& g = std::get<GainMapOp>(shading[site].body);
            const double value = std::clamp(last_camera[size_t(dng.cfa[site])], 0.0, 1.0) /
                                 (vignette_gain(r, c, height, width) * shading_gain(g, r, c, height, width));
            const double black = kBlackTile[site] + dng.black_delta_h[c] + dng.black_delta_v[r];
            const double signal = value * (kWhite - black);
            const double noisy = black + signal + unit(rng) * std::sqrt(4.0 + 0.25 * signal);
            dng.raw[size_t(r) * width + c] = uint16_t(std::clamp(std::round(noisy), 1.0, kWhite));
        }
    // At small sizes some of the scene's dead sites fall outside the image.
    for (const auto& site : scene.dead_pixel_sites())
        if (site[0] < height && site[1] < width) dng.raw[size_t(site[0]) * width + site[1]] = 0;
    return dng;
}

}  // namespace lumra_tools
