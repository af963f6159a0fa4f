// Plain, pixel-by-pixel readings of the lens and sensor corrections, written
// for clarity rather than speed, to test the library's kernels against.
#pragma once

#include <cstdint>
#include <vector>

namespace lumra_test {

// Where the reference wrote: one flag per element.
using Touched = std::vector<char>;

struct GainMapArgs {
    const float* gains;
    int map_points_v, map_points_h, map_planes;
    int top, left, bottom, right, plane, planes, row_pitch, col_pitch;
    double map_spacing_v, map_spacing_h, map_origin_v, map_origin_h;
};

// The gain of grid plane k at pixel (r, c), evaluated directly.
float reference_gain(const GainMapArgs& a, uint64_t height, uint64_t width, uint64_t r, uint64_t c, int k);

// The gain map on `pixels` (height x width x channels), gains evaluated directly.
void reference_gain_map(std::vector<float>& pixels, uint64_t height, uint64_t width, int channels,
                        const GainMapArgs& a, Touched* touched = nullptr);

void reference_flat_gain_map(std::vector<float>& pixels, uint64_t height, uint64_t width, const float* gains,
                             int map_rows, int map_cols);

// One sample through the polynomial map, by the evaluation form of its degree.
float reference_polynomial(float x, const float* c, int degree);

void reference_map_polynomial(std::vector<float>& pixels, int height, int width, int channels, int top, int left,
                              int bottom, int right, int plane, int planes, int row_pitch, int col_pitch,
                              const float* c, int degree, Touched* touched = nullptr);

void reference_vignette(std::vector<float>& pixels, int height, int width, int channels, const double* k,
                        int count, double center_x, double center_y);

// The 32 x 32 x 16 cubic weights, built afresh.
std::vector<float> reference_bicubic_table();

void reference_warp(const std::vector<float>& source, std::vector<float>& destination, uint64_t height,
                    uint64_t width, int channels, const double* radial, int coefficient_planes, int radial_count,
                    const double* tangential, double center_x, double center_y, bool bicubic);

}  // namespace lumra_test
