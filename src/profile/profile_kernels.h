// Kernels of the profile adjustments. The entries in src/frame have checked
// every argument; sizes arrive narrowed to 32 bits and pixel counts are formed
// in 64 bits here.
#pragma once

#include <cstdint>

namespace lumra {

// Hue/saturation/value table applied in place to a three-channel float image.
// map holds max(val_divisions, 1) x hue_divisions x sat_divisions entries of
// (hue shift in degrees, saturation scale, value scale); sat_divisions >= 2.
void apply_hue_sat_map_kernel(float* data, int32_t height, int32_t width, const float* map, int32_t hue_divisions,
                              int32_t sat_divisions, int32_t val_divisions) noexcept;

// Black-to-white ramp with a quadratic toe around the black level. src and dst
// may be the same buffer.
void apply_exposure_ramp_kernel(const float* src_data, float* dst_data, int32_t height, int32_t width,
                                double white_level, double black_level, double ramp_width,
                                bool allow_overrange) noexcept;

// Where a buffer of `height` x `width` pixels lies in the whole image: the
// whole-image row and column of its first pixel, and the whole image's size,
// to which positions are relative. A whole-image call passes
// {0, 0, height, width}.
struct ImagePlace {
    int32_t top, left, full_height, full_width;
};

// Spatially varying gain tables applied in place to a three-channel float
// image (or a part of it, placed by `place`): gains holds points_v x points_h
// tables of points_n entries, weights five floats for (R, G, B, min, max).
void apply_profile_gain_table_map_kernel(float* data, int32_t height, int32_t width, const ImagePlace& place,
                                         int32_t points_v, int32_t points_h, float spacing_v, float spacing_h,
                                         float origin_v, float origin_h, int32_t points_n, const float* weights,
                                         float gamma, const float* gains, float exposure_gain) noexcept;

// The same computation as it runs when its working memory cannot be
// allocated; the results are identical (tests compare the two).
void apply_profile_gain_table_map_without_working_memory(float* data, int32_t height, int32_t width,
                                                         const ImagePlace& place, int32_t points_v, int32_t points_h,
                                                         float spacing_v, float spacing_h, float origin_v,
                                                         float origin_h, int32_t points_n, const float* weights,
                                                         float gamma, const float* gains,
                                                         float exposure_gain) noexcept;

}  // namespace lumra
