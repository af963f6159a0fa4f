// The synthetic scene of the sample DNG and its truth: a 24-patch colour chart
// with the widely published sRGB values of the classic chart, a grey ramp, a
// Siemens star and smooth gradients, laid out on a 1200 x 800 design grid and
// scaled to any image size.
#pragma once

#include "common/matrix3.h"

#include <array>
#include <cstdint>
#include <vector>

namespace lumra_tools {

struct Box {
    double x0, y0, x1, y1;  // pixel units of the rendered image, x1 and y1 exclusive
};

class SampleScene {
public:
    SampleScene(uint32_t width, uint32_t height);

    // Linear sRGB (D65) light at a point of the image, in pixel units (the
    // centre of pixel (r, c) is at (c + 0.5, r + 0.5)), averaged over the pixel.
    Vec3 pixel(uint32_t row, uint32_t col) const;

    static constexpr int kPatches = 24;
    static constexpr int kRampSteps = 12;
    // Encoded sRGB reference of each patch, 0..255.
    static const std::array<std::array<int, 3>, kPatches>& chart_srgb();
    static double ramp_linear(int step);  // linear value of a ramp step

    Box patch_centre(int patch) const;  // the area measured for a patch
    Box ramp_centre(int step) const;
    // A few sites inside measured areas, used as dead pixels.
    std::vector<std::array<uint32_t, 2>> dead_pixel_sites() const;

private:
    Vec3 point(double x, double y) const;  // design units
    double sx_, sy_;
    uint32_t width_, height_;
};

}  // namespace lumra_tools
