// From the file's white balance and profile to the matrices and tables the
// colour stages of a development need.
#pragma once

#include "common/colorimetry.h"
#include "dng/dng_file.h"

#include <string>
#include <vector>

namespace lumra_tools {

struct ColorSetup {
    Chromaticity white{};           // scene white
    double weight1 = 1.0;           // weight of the first calibration illuminant's data
    Vec3 neutral{1.0, 1.0, 1.0};    // camera response to white, largest component 1
    Mat3 camera_to_prophoto{};      // camera values to linear ProPhoto RGB, white balance included
    std::vector<float> hue_sat;     // blended ProfileHueSatMap, empty when absent
    double exposure_ev = 0.0;       // BaselineExposure plus the profile's offset
};

bool setup_color(const DngFile& dng, const ColorProfile& profile, ColorSetup& setup, std::string& error);

// Dense tables shared by the developer and the sample generator.
std::vector<float> tone_curve_table(const std::vector<float>& points, size_t size = 4096);
std::vector<float> identity_table();
std::vector<float> srgb_encode_table(size_t size = 16384);
std::vector<float> prophoto_encode_table(size_t size = 16384);
// Linear ProPhoto (D50) to linear sRGB (D65).
Mat3 prophoto_to_srgb();

}  // namespace lumra_tools
