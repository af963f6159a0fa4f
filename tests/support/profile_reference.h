// Plain readings of the profile adjustments, written step by step from their
// descriptions for differential tests. They favour the obvious over the fast.
#pragma once

#include <cstdint>
#include <vector>

namespace lumra_test {

// Hue/saturation/value map on interleaved RGB floats, in place. Pixels with a
// NaN or infinite component, or a negative component while the largest is not
// positive, are left as they are.
void reference_hue_sat_map(std::vector<float>& pixels, const std::vector<float>& map, int hue_divisions,
                           int sat_divisions, int val_divisions);

// Exposure ramp of one sample with the constants set up as described.
float reference_exposure_ramp(float x, double white_level, double black_level, double ramp_width,
                              bool allow_overrange);

struct GainTableMap {
    std::vector<float> gains;  // points_v x points_h tables of points_n entries
    int points_v = 1, points_h = 1, points_n = 1;
    float weights[5] = {1, 0, 0, 0, 0};
    float spacing_v = 1, spacing_h = 1, origin_v = 0, origin_h = 0;
    float gamma = 1, exposure_gain = 1;
};

// The gain of the pixel at (row, col) with the given channels, steps 4 to 6
// evaluated in double precision after the exact single-precision table input.
double reference_gain(const GainTableMap& map, float r, float g, float b, int64_t row, int64_t col, int64_t height,
                      int64_t width);

}  // namespace lumra_test
