// Kernels of raw preparation: normalisation of sensor values, bilinear
// demosaicing and repair of marked sites. The entries in src/frame have
// checked every argument; the kernels trust them.
#pragma once

#include <cstdint>

#include "lumra.h"

namespace lumra {

// Where a buffer lies in the whole image: the whole-image row and column of
// its first element, and its own rows and columns (packed, `width` elements
// per row). A whole-image call describes its buffers as {0, 0, height, width}.
struct PartPlace {
    uint64_t top, left, height, width;
};

// Sensor values (UINT16 or FLOAT32, `src_dtype`) to floats in [0, 1]: optional
// linearisation table, black from a repeating tile plus per-row and per-column
// deltas, division by the span up to the sample's white level, clamp. The
// buffers hold a part of the image whose first element lies at whole-image
// row `top`, column `left`: the tile, delta and parity positions are the
// whole image's (the whole-image entry passes 0, 0). Returns LUMRA_OK,
// LUMRA_ERR_UNSUPPORTED for another source type, or LUMRA_ERR_INVALID_ARGUMENT
// (nothing written) when scratch memory is not available.
LumraStatus normalize_raw_dispatch(const void* src, int32_t src_dtype, float* dst, int32_t height, int32_t width,
                                   int32_t top, int32_t left, int32_t samples_per_pixel, const float* black_levels,
                                   int32_t black_repeat_rows, int32_t black_repeat_cols, const float* black_delta_h,
                                   int32_t black_delta_h_count, const float* black_delta_v, int32_t black_delta_v_count,
                                   const float* white_levels, int32_t white_level_count,
                                   const uint16_t* linearization_table,
                                   int32_t linearization_table_size) noexcept;

// One-channel float mosaic to three-channel float image by bilinear
// interpolation within the 2 x 2 pattern (colours 0..2), on the part `part` of
// a full_height x full_width image. The source window `window` holds the part
// grown by one pixel on every side (limited to the whole image). src and dst
// must not overlap.
void bilinear_demosaic_kernel(const float* src, const PartPlace& window, float* dst, const PartPlace& part,
                              uint64_t full_height, uint64_t full_width, const int32_t* cfa_pattern) noexcept;

// Samples the edge-directed demosaic reads on each side of an output pixel.
constexpr uint64_t kAdaptiveDemosaicReach = 5;

// Where the edge-directed demosaic reads and writes: a source window (rows
// [src_top, src_top + src_height) of the whole image's mosaic, packed) and
// a destination part (three floats per pixel, packed), both placed in a whole
// image of full_height x full_width. The window holds every sample within
// kAdaptiveDemosaicReach of the part that lies in the whole image.
struct AdaptiveDemosaicArea {
    const float* src;
    uint64_t src_top, src_left, src_height, src_width;
    float* dst;
    uint64_t dst_top, dst_left, dst_height, dst_width;
    uint64_t full_height, full_width;
};

// Edge-directed demosaic of a Bayer mosaic (cfa_pattern: one colour on two
// diagonal sites, the other two colours once each) into the part, with the
// whole image mirrored at its edges. Source and destination must not overlap.
// Returns LUMRA_OK, or LUMRA_ERR_INVALID_ARGUMENT (nothing written) when its
// scratch tile cannot be allocated.
LumraStatus adaptive_demosaic_kernel(const AdaptiveDemosaicArea& area, const int32_t* cfa_pattern) noexcept;

// Replaces every site of the part `part` of a one-channel 16-bit mosaic
// (full_height x full_width) that holds `bad_value` by the rounded mean of its
// good same-class neighbours, read from the source window `window`, which
// holds the part grown by two pixels on every side (limited to the whole
// image). dst must already hold the part, or be the part's rows inside the
// window's buffer (in place).
void fix_bad_pixels_constant_impl(const uint16_t* src, const PartPlace& window, uint16_t* dst, const PartPlace& part,
                                  uint64_t full_height, uint64_t full_width, uint16_t bad_value,
                                  uint32_t bayer_phase) noexcept;

}  // namespace lumra
