#include "sample/scene.h"

#include "common/colorimetry.h"

#include <cmath>
#include <numbers>

namespace lumra_tools {
namespace {

constexpr double kDesignWidth = 1200.0, kDesignHeight = 800.0;
constexpr double kChartLeft = 24.0, kChartTop = 24.0, kPatch = 110.0, kGap = 16.0;
constexpr double kRampTop = 540.0, kRampBottom = 620.0, kRampStep = 63.0;
constexpr double kStarX = 1000.0, kStarY = 200.0, kStarRadius = 160.0;
constexpr int kStarSpokes = 36;
constexpr double kBackground = 0.18;

Vec3 grey(double v) { return {v, v, v}; }

}  // namespace

SampleScene::SampleScene(uint32_t width, uint32_t height)
    : sx_(width / kDesignWidth), sy_(height / kDesignHeight), width_(width), height_(height) {}

const std::array<std::array<int, 3>, SampleScene::kPatches>& SampleScene::chart_srgb() {
    static const std::array<std::array<int, 3>, kPatches> values = {{
        {115, 82, 68},   {194, 150, 130}, {98, 122, 157},  {87, 108, 67},   {133, 128, 177}, {103, 189, 170},
        {214, 126, 44},  {80, 91, 166},   {193, 90, 99},   {94, 60, 108},   {157, 188, 64},  {224, 163, 46},
        {56, 61, 150},   {70, 148, 73},   {175, 54, 60},   {231, 199, 31},  {187, 86, 149},  {8, 133, 161},
        {243, 243, 242}, {200, 200, 200}, {160, 160, 160}, {122, 122, 121}, {85, 85, 85},    {52, 52, 52},
    }};
    return values;
}

double SampleScene::ramp_linear(int step) { return 0.02 * std::pow(0.9 / 0.02, step / double(kRampSteps - 1)); }

Vec3 SampleScene::point(double x, double y) const {
    // Colour chart.
    const double cx = (x - kChartLeft) / (kPatch + kGap), cy = (y - kChartTop) / (kPatch + kGap);
    if (cx >= 0 && cy >= 0 && cx < 6 && cy < 4) {
        const int col = int(cx), row = int(cy);
        if ((cx - col) * (kPatch + kGap) < kPatch && (cy - row) * (kPatch + kGap) < kPatch) {
            const auto& s = chart_srgb()[row * 6 + col];
            return {srgb_decode(s[0] / 255.0), srgb_decode(s[1] / 255.0), srgb_decode(s[2] / 255.0)};
        }
        return grey(0.03);  // the chart's black frame
    }
    // Grey ramp.
    if (y >= kRampTop && y < kRampBottom && x >= kChartLeft && x < kChartLeft + kRampSteps * kRampStep)
        return grey(ramp_linear(int((x - kChartLeft) / kRampStep)));
    // Siemens star.
    const double dx = x - kStarX, dy = y - kStarY, r = std::hypot(dx, dy);
    if (r < kStarRadius) {
        const double angle = std::atan2(dy, dx) + std::numbers::pi;
        return grey(std::fmod(angle * kStarSpokes / std::numbers::pi, 2.0) < 1.0 ? 0.7 : 0.04);
    }
    // Smooth gradients: a hue sweep, a grey wedge and a two-dimensional blend.
    if (x >= 820 && x < 1180 && y >= 400 && y < 520) return hsv_to_rgb(6.0 * (x - 820) / 360.0, 0.6, 0.5);
    if (x >= 820 && x < 1180 && y >= 540 && y < 620) return grey(0.8 * (x - 820) / 360.0);
    if (x >= 24 && x < 1180 && y >= 650 && y < 780) {
        const double u = (x - 24) / 1156.0, v = (y - 650) / 130.0;
        return {0.05 + 0.6 * u, 0.05 + 0.5 * v, 0.05 + 0.6 * (1 - u) * (1 - v)};
    }
    return grey(kBackground);
}

Vec3 SampleScene::pixel(uint32_t row, uint32_t col) const {
    // 2 x 2 samples per pixel soften the star's edges like a lens would.
    Vec3 sum{0, 0, 0};
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
            const Vec3 v = point((col + 0.25 + 0.5 * i) / sx_, (row + 0.25 + 0.5 * j) / sy_);
            for (int k = 0; k < 3; ++k) sum[k] += 0.25 * v[k];
        }
    return sum;
}

Box SampleScene::patch_centre(int patch) const {
    const int col = patch % 6, row = patch / 6;
    const double x = kChartLeft + col * (kPatch + kGap) + 0.3 * kPatch;
    const double y = kChartTop + row * (kPatch + kGap) + 0.3 * kPatch;
    return {x * sx_, y * sy_, (x + 0.4 * kPatch) * sx_, (y + 0.4 * kPatch) * sy_};
}

Box SampleScene::ramp_centre(int step) const {
    const double x = kChartLeft + step * kRampStep + 0.3 * kRampStep;
    return {x * sx_, (kRampTop + 20) * sy_, (x + 0.4 * kRampStep) * sx_, (kRampBottom - 20) * sy_};
}

std::vector<std::array<uint32_t, 2>> SampleScene::dead_pixel_sites() const {
    std::vector<std::array<uint32_t, 2>> sites;
    for (int patch : {0, 4, 7, 11, 13, 18, 21}) {
        const Box b = patch_centre(patch);
        sites.push_back({uint32_t((b.y0 + b.y1) / 2), uint32_t((b.x0 + b.x1) / 2)});
        sites.push_back({uint32_t((b.y0 + b.y1) / 2) + 7, uint32_t((b.x0 + b.x1) / 2) + 4});
    }
    for (int step : {2, 9}) {
        const Box b = ramp_centre(step);
        sites.push_back({uint32_t((b.y0 + b.y1) / 2), uint32_t((b.x0 + b.x1) / 2) + 1});
    }
    // The fixed offsets above leave a small image.
    std::erase_if(sites, [&](const std::array<uint32_t, 2>& site) { return site[0] >= height_ || site[1] >= width_; });
    return sites;
}

}  // namespace lumra_tools
