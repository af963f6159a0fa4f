// Kernels of the lens and sensor corrections: gain maps, the polynomial map,
// the radial vignette correction and the rectilinear warp. Each works on
// float pixels in place (the warp from a source into a destination) and
// checks nothing its entry has already checked.
#pragma once

#include <cstdint>

#include "lumra.h"

namespace lumra {

// Multiplies the pixels of a trimmed area, a channel range and a lattice of
// pitches by a gain interpolated from a grid placed in relative coordinates,
// then limits the result to [0, 1].
void apply_gain_map_impl(float* data, uint64_t height, uint64_t width, int channels, const float* gains,
                         uint64_t map_points_v, uint64_t map_points_h, uint64_t map_planes, int top, int left,
                         int bottom, int right, int plane, int planes, int row_pitch, int col_pitch,
                         double map_spacing_v, double map_spacing_h, double map_origin_v,
                         double map_origin_h) noexcept;

// Multiplies every pixel of a one-channel image by a map_rows x map_cols grid
// stretched over it; the last interval extrapolates, nothing is clamped.
// Needs a scratch row: without it, returns LUMRA_ERR_INVALID_ARGUMENT having
// written nothing.
LumraStatus apply_flat_gain_map_impl(float* data, uint64_t height, uint64_t width, const float* gains,
                                     int map_rows, int map_cols) noexcept;

// Replaces each selected sample x by c0 + sign(x) * (c1 |x| + ... + cN |x|^N),
// limited to [-1, 1]. The area must lie inside the image.
void apply_map_polynomial_impl(float* data, int height, int width, int channels, int top, int left, int bottom,
                               int right, int plane, int planes, int row_pitch, int col_pitch,
                               const float* coefficients, int degree) noexcept;

// Multiplies every sample by the radial gain 1 + k0 q + ... + k4 q^5 of its
// pixel (q the squared normalised distance from the centre), limited to [0, 1].
// Needs a scratch row: without it, returns LUMRA_ERR_INVALID_ARGUMENT having
// written nothing.
LumraStatus fix_vignette_impl(float* data, int height, int width, int channels, const double* coefficients,
                              int coefficient_count, double center_x, double center_y) noexcept;

// Resamples the source at the radially and tangentially displaced position of
// every destination pixel, bilinearly or with the 4 x 4 cubic window.
void warp_rectilinear(const float* source, float* destination, uint64_t height, uint64_t width, int channels,
                      const double* radial, int coefficient_planes, int radial_count, const double* tangential,
                      double center_x, double center_y, bool bicubic) noexcept;

}  // namespace lumra
