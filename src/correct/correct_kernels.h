// Kernels of the lens and sensor corrections: gain maps, the polynomial map,
// the radial vignette correction and the rectilinear warp. Each works on
// float pixels in place (the warp from a source into a destination) and
// checks nothing its entry has already checked.
#pragma once

#include <cstdint>

#include "lumra.h"

namespace lumra {

// The pixels a kernel is given, placed in the whole image: the part's first
// row and column and its size, and the whole image's size. Every position a
// result depends on (lattice phase, grid coordinates, radii, the warp's
// geometry) is worked out in the whole image, so a part gets exactly the
// whole call's bits. A whole-image call is the part at (0, 0) of the whole
// size; the part's buffer is packed, `width` pixels a row.
struct PartOfWhole {
    uint64_t top, left, height, width;
    uint64_t full_height, full_width;

    static PartOfWhole whole(uint64_t height, uint64_t width) { return {0, 0, height, width, height, width}; }
};

// Multiplies the pixels of a trimmed area, a channel range and a lattice of
// pitches by a gain interpolated from a grid placed in relative coordinates,
// then limits the result to [0, 1].
void apply_gain_map_impl(float* data, const PartOfWhole& part, int channels, const float* gains,
                         uint64_t map_points_v, uint64_t map_points_h, uint64_t map_planes, int top, int left,
                         int bottom, int right, int plane, int planes, int row_pitch, int col_pitch,
                         double map_spacing_v, double map_spacing_h, double map_origin_v,
                         double map_origin_h) noexcept;

// Multiplies every pixel of a one-channel image by a map_rows x map_cols grid
// stretched over it; the last interval extrapolates, nothing is clamped.
// Needs a scratch row: without it, returns LUMRA_ERR_INVALID_ARGUMENT having
// written nothing.
LumraStatus apply_flat_gain_map_impl(float* data, const PartOfWhole& part, const float* gains, int map_rows,
                                     int map_cols) noexcept;

// Replaces each selected sample x by c0 + sign(x) * (c1 |x| + ... + cN |x|^N),
// limited to [-1, 1]. The area must lie inside the whole image, whose sizes
// are below 2^31.
void apply_map_polynomial_impl(float* data, const PartOfWhole& part, int channels, int top, int left, int bottom,
                               int right, int plane, int planes, int row_pitch, int col_pitch,
                               const float* coefficients, int degree) noexcept;

// Multiplies every sample by the radial gain 1 + k0 q + ... + k4 q^5 of its
// pixel (q the squared normalised distance from the centre), limited to [0, 1].
// Needs a scratch row: without it, returns LUMRA_ERR_INVALID_ARGUMENT having
// written nothing. The whole image's sizes are below 2^31.
LumraStatus fix_vignette_impl(float* data, const PartOfWhole& part, int channels, const double* coefficients,
                              int coefficient_count, double center_x, double center_y) noexcept;

// Resamples the source at the radially and tangentially displaced position of
// every destination pixel of the part, bilinearly or with the 4 x 4 cubic
// window. The source is a window of the whole source image (placed like a
// part) that holds every source pixel the part reads: warp_source_box.
void warp_rectilinear(const float* source, const PartOfWhole& window, float* destination, const PartOfWhole& part,
                      int channels, const double* radial, int coefficient_planes, int radial_count,
                      const double* tangential, double center_x, double center_y, bool bicubic) noexcept;

// Whole-image rows [top, bottom) and columns [left, right) of the source.
struct SourceBox {
    uint64_t top, left, bottom, right;
};

// The smallest box that holds every source pixel the warp of the part reads
// (every tap, including taps of weight 0), worked out with the warp's own
// position code; empty (at the part's corner) when the part writes nothing.
SourceBox warp_source_box(const PartOfWhole& part, int channels, const double* radial, int coefficient_planes,
                          int radial_count, const double* tangential, double center_x, double center_y,
                          bool bicubic) noexcept;

// A box that holds warp_source_box's, worked out in a few thousand interval
// steps instead of a pass over the part. It holds every rounding the warp
// makes; it is usually the same box or a pixel larger, larger where the
// distortion bends strongly within the part's small rectangles, and the whole
// image where a bound is not finite.
SourceBox warp_source_bound(const PartOfWhole& part, int channels, const double* radial, int coefficient_planes,
                            int radial_count, const double* tangential, double center_x, double center_y,
                            bool bicubic) noexcept;

}  // namespace lumra
