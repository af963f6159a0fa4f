// The hue-preserving tone path: the first curve maps the largest and the
// smallest channel of a pixel, and the middle channel keeps its proportion
// between them.
#pragma once

#include <cstdint>

#include "color/lut_lookup.h"

namespace lumra {

// One pixel through the padded curve lut1 (tone_max = N - 1, last_index = N - 1
// as an integer, which keeps the index inside the table for any N).
void apply_hue_preserving_tone(float r, float g, float b, float& r_out, float& g_out, float& b_out,
                               const float* lut1, float tone_max, int32_t last_index);

// Tone, then the matrix, then the unit clamp and out_scale (Out: uint8_t,
// uint16_t or float).
template <typename Out>
void transform_hue_preserving_lut_matrix_impl(const float* src, Out* dst, int64_t pixel_count, const float* lut1,
                                              int32_t lut1_size, const float* matrix, float out_scale);

// Tone only, stored as floats.
void transform_hue_preserving_tone_impl(const float* src, float* dst, int64_t pixel_count, const float* lut1,
                                        int32_t lut1_size);

// Tone, then the matrix, then the second curve at (N2 - 1) * row, times out_scale.
template <typename Out>
void transform_hue_preserving_lut_matrix_lut_impl(const float* src, Out* dst, int64_t pixel_count, const float* lut1,
                                                  int32_t lut1_size, const float* matrix, const float* lut2,
                                                  int32_t lut2_size, float out_scale);

}  // namespace lumra
