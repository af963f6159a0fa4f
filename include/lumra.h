/*
 * lumra: image-processing kernels for developing raw photographs.
 *
 * Every entry takes one image descriptor (processed in place) or two (a source
 * and a destination), checks all of its arguments in a fixed order, and returns
 * the status of the first failing check, or runs its kernel and returns
 * LUMRA_OK. No destination element is written by a call that fails. The library
 * keeps no state between calls (apart from one interpolation table that the
 * bicubic warp builds once per process), starts no threads and reads no files.
 *
 * Buffers are packed, interleaved and row-major: the element of row r, column c,
 * channel k stands at index (r * width + c) * channels + k.
 *
 * This header is plain C99 and may be included from C++.
 */
#ifndef LUMRA_H
#define LUMRA_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#if defined(LUMRA_BUILDING_LIBRARY) && defined(__GNUC__)
#define LUMRA_API __attribute__((visibility("default")))
#else
#define LUMRA_API
#endif

#ifdef __cplusplus
#define LUMRA_NOEXCEPT noexcept
extern "C" {
#else
#define LUMRA_NOEXCEPT
#endif

/* Element type of a buffer. Value 2 is unassigned and rejected everywhere.
 * In C++ the enumeration has a fixed 32-bit underlying type, so any 32-bit
 * value a caller stores in a descriptor is a valid (if unsupported) value. */
#ifdef __cplusplus
enum LumraDType : int32_t {
#else
typedef enum LumraDType {
#endif
    LUMRA_DTYPE_UINT8 = 0,   /* unsigned 8-bit, full scale 255 */
    LUMRA_DTYPE_UINT16 = 1,  /* unsigned 16-bit, host byte order, full scale 65535 */
    LUMRA_DTYPE_FLOAT32 = 3  /* IEEE 754 single precision, full scale 1.0 */
#ifdef __cplusplus
};
#else
} LumraDType;
#endif

/* Result of every entry except lumra_version. */
typedef int32_t LumraStatus;
enum {
    LUMRA_OK = 0,
    LUMRA_ERR_INVALID_ARGUMENT = 1, /* null pointer, reserved != 0, bad count, size or channel count */
    LUMRA_ERR_UNSUPPORTED = 2,      /* element type (pair) not handled, or operation not implemented */
    LUMRA_ERR_DIMENSION_MISMATCH = 3, /* source and destination sizes differ (demosaic, warp, bad pixels) */
    LUMRA_ERR_REGION = 4 /* region entries: a part outside the whole image, or a source window that does
                            not hold every source pixel the part reads */
};

/* Image descriptor. Only read by the library; the buffer stays the caller's. */
typedef struct LumraImage {
    void* data;        /* first element; must be non-null */
    uint64_t height;   /* rows */
    uint64_t width;    /* columns */
    uint64_t channels; /* interleaved elements per pixel */
    LumraDType dtype;  /* element type */
    uint64_t reserved; /* must be 0 */
} LumraImage;

/* Where a part of an image (a band of rows or a tile) lies in the whole image.
 * Used only by the region entries (names ending in _region); see "Regions". */
typedef struct LumraRegion {
    uint64_t top;         /* whole-image row of the part's first row */
    uint64_t left;        /* whole-image column of the part's first column */
    uint64_t full_height; /* rows of the whole image */
    uint64_t full_width;  /* columns of the whole image */
    uint64_t reserved;    /* must be 0 */
} LumraRegion;

/* The version text "1.0.0"; a constant owned by the library. */
LUMRA_API const char* lumra_version(void) LUMRA_NOEXCEPT;

/* ---- Frame -------------------------------------------------------------- */

/* Rescales every element from the source type and bit depth to the destination
 * type and bit depth (bits <= 0: the type's full width; float: full scale 1.0).
 * A ceiling >= 0 caps float results; an integer result is capped when
 * 0 <= ceiling < the destination's full scale. Integer results are truncated
 * toward zero and saturated to the type's range; NaN stores 0. */
LUMRA_API LumraStatus lumra_convert_dtype(const LumraImage* src, LumraImage* dst, int32_t in_bits,
                                          int32_t out_bits, float ceiling) LUMRA_NOEXCEPT;

/* ---- Colour ------------------------------------------------------------- */

/* One tone curve of lut_size (>= 2) entries on a one-channel image, with type
 * conversion. 8-bit input with a 256-entry curve indexes the curve directly. */
LUMRA_API LumraStatus lumra_mono_lut(const LumraImage* src, LumraImage* dst, const float* lut,
                                     uint64_t lut_size, int32_t in_bits, int32_t out_bits) LUMRA_NOEXCEPT;

/* Three-channel colour transform: curve lut1, 3x3 row-major matrix, curve lut2
 * (any may be null, not all), between any pair of 8-bit, 16-bit and float.
 * hue_preserving applies lut1 to the largest and smallest channel and keeps the
 * middle one in proportion (float input only). */
LUMRA_API LumraStatus lumra_transform_color(const LumraImage* src, LumraImage* dst, const float* lut1,
                                            uint64_t lut1_size, const float* matrix, const float* lut2,
                                            uint64_t lut2_size, int32_t in_bits, int32_t out_bits,
                                            bool hue_preserving) LUMRA_NOEXCEPT;

/* Float RGB: each channel limited from above by clip_max[channel], then the
 * 3x3 matrix, then clamped to [0, 1]. */
LUMRA_API LumraStatus lumra_clip_and_transform_color(const LumraImage* src, LumraImage* dst,
                                                     const float* clip_max, const float* matrix) LUMRA_NOEXCEPT;

/* ---- Raw preparation ---------------------------------------------------- */

/* 16-bit or float sensor values to float in [0, 1]: optional linearisation
 * table, black level from a repeating tile plus per-column (black_delta_h) and
 * per-row (black_delta_v) deltas, division by white - black, clamp. */
LUMRA_API LumraStatus lumra_normalize_raw(const LumraImage* src, LumraImage* dst, const float* black_levels,
                                          int32_t black_repeat_rows, int32_t black_repeat_cols,
                                          int32_t samples_per_pixel, const float* white_levels,
                                          int32_t white_level_count, const float* black_delta_h,
                                          int32_t black_delta_h_count, const float* black_delta_v,
                                          int32_t black_delta_v_count, const uint16_t* linearization_table,
                                          int32_t linearization_table_size) LUMRA_NOEXCEPT;

/* lumra_normalize_raw on a part of the image: src and dst hold the same part
 * (equal height and width), placed by region. The tables keep their
 * whole-image meaning: whole-image row r takes tile row r mod
 * black_repeat_rows and black_delta_v[r mod count], column c tile column c mod
 * black_repeat_cols and black_delta_h[c mod count].
 * Checks, in order: src, dst, region null [1]; src, dst data null [1];
 * black_levels null [1]; white_levels null [1]; src, dst reserved [1]; height
 * or width differ [1]; src type not UINT16 or FLOAT32 [2]; dst type not
 * FLOAT32 [2]; src channels != samples_per_pixel [1]; dst channels != src
 * channels [1]; black_repeat_rows, black_repeat_cols <= 0 [1];
 * samples_per_pixel, white_level_count <= 0 [1]; full_height or full_width
 * 2^31 or more [1]; region reserved [1]; part outside the whole image [4]. */
LUMRA_API LumraStatus lumra_normalize_raw_region(const LumraImage* src, LumraImage* dst, const LumraRegion* region,
                                                 const float* black_levels, int32_t black_repeat_rows,
                                                 int32_t black_repeat_cols, int32_t samples_per_pixel,
                                                 const float* white_levels, int32_t white_level_count,
                                                 const float* black_delta_h, int32_t black_delta_h_count,
                                                 const float* black_delta_v, int32_t black_delta_v_count,
                                                 const uint16_t* linearization_table,
                                                 int32_t linearization_table_size) LUMRA_NOEXCEPT;

/* One-channel float mosaic to three-channel float image. cfa_pattern holds the
 * colours (0, 1, 2) of the 2x2 tile sites (0,0), (0,1), (1,0), (1,1). */
LUMRA_API LumraStatus lumra_bilinear_demosaic(const LumraImage* src, LumraImage* dst,
                                              const int32_t* cfa_pattern) LUMRA_NOEXCEPT;

/* lumra_bilinear_demosaic on the part dst of the image, placed by dst_region.
 * src is a window placed by src_region that must hold the part grown by one
 * pixel on every side (limited to the whole image). Colours follow the parity
 * of whole-image rows and columns; only the whole image's edges count as
 * borders. src and dst must not overlap.
 * Checks, in order: src, src_region, dst, dst_region, cfa_pattern null [1];
 * src, dst data null [1]; src type not FLOAT32 [2]; src channels != 1 [1];
 * dst type not FLOAT32 [2]; dst channels != 3 [1]; a cfa_pattern entry
 * outside 0..2 [1]; src_region or dst_region reserved [1]; dst part outside
 * the whole image [4]; regions of different whole sizes [3]; src window
 * outside the whole image [4]; window not holding the grown part [4].
 * Descriptor reserved fields are not checked, as in the whole-image entry; the
 * whole entry's test that src and dst sizes agree gives way to the window
 * checks. */
LUMRA_API LumraStatus lumra_bilinear_demosaic_region(const LumraImage* src, const LumraRegion* src_region,
                                                     LumraImage* dst, const LumraRegion* dst_region,
                                                     const int32_t* cfa_pattern) LUMRA_NOEXCEPT;

/* Not implemented: always LUMRA_ERR_UNSUPPORTED, reads none of its arguments. */
LUMRA_API LumraStatus lumra_vng_demosaic(const LumraImage* src, LumraImage* dst,
                                         const int32_t* cfa_pattern) LUMRA_NOEXCEPT;

/* Edge-directed demosaic of a one-channel float Bayer mosaic into a
 * three-channel float image of the same size (docs/adaptive-demosaic.md).
 * cfa_pattern as for lumra_bilinear_demosaic; colour k goes to channel k.
 * The colour on the tile's diagonal (green) is estimated at the other sites
 * from vertical and horizontal Hamilton-Adams estimates, each a gradient-
 * weighted pair of one-sided estimates, blended by a weight from 3x3 sums of
 * the directional gradients; the other two colours follow as colour
 * differences to it, from the diagonal neighbours and then from the axial
 * ones, weighted the same way. Every site keeps its own sample in its own
 * channel.
 * Exact: single precision, each operation rounded once in the documented
 * order, the same bits on every processor. The whole image is mirrored at its
 * edges without repeating the edge sample (row -1 reads row 1, row height
 * reads row height - 2; a one-row or one-column image repeats its only row or
 * column), so border pixels are computed like any other. The result of a
 * pixel reads only samples within 5 rows and columns of it. NaN propagates:
 * a NaN sample makes NaN both interpolated channels of every pixel whose
 * definition reads it (an infinite one makes them infinite or NaN), and
 * leaves every other result as it was. Every NaN result, the own channel
 * of a NaN sample included, is stored as the quiet NaN 0x7fc00000. Samples are meant to be normalised
 * to [0, 1]; other scales work, but the ratio floor (0.2) is in those units.
 * Source and destination must not overlap.
 * Checks, in order:
 *   1. src, dst or cfa_pattern null: LUMRA_ERR_INVALID_ARGUMENT;
 *   2. src->data or dst->data null: LUMRA_ERR_INVALID_ARGUMENT;
 *   3. src not FLOAT32: LUMRA_ERR_UNSUPPORTED;
 *   4. src->channels != 1: LUMRA_ERR_INVALID_ARGUMENT;
 *   5. dst not FLOAT32: LUMRA_ERR_UNSUPPORTED;
 *   6. dst->channels != 3: LUMRA_ERR_INVALID_ARGUMENT;
 *   7. heights differ, then widths differ: LUMRA_ERR_DIMENSION_MISMATCH;
 *   8. a pattern entry outside 0..2: LUMRA_ERR_INVALID_ARGUMENT;
 *   9. a pattern that is not a Bayer arrangement (one colour on the two sites
 *      of a diagonal, each other colour on one site): LUMRA_ERR_UNSUPPORTED;
 *  10. height or width of 2^62 or more: LUMRA_ERR_INVALID_ARGUMENT;
 *  11. scratch memory (under 1 MB) not available: LUMRA_ERR_INVALID_ARGUMENT.
 * As for lumra_bilinear_demosaic, the reserved fields are not read. An image
 * without pixels returns LUMRA_OK. */
LUMRA_API LumraStatus lumra_adaptive_demosaic(const LumraImage* src, LumraImage* dst,
                                              const int32_t* cfa_pattern) LUMRA_NOEXCEPT;

/* lumra_adaptive_demosaic on a part of the image (see "Regions"): dst holds
 * the part that dst_region places in the whole image; src is a source window
 * placed by src_region that must hold every sample within 5 rows and columns
 * of the part that lies in the whole image (the mirrored edges read only
 * such samples). The result is the whole-image call's on that part.
 * Checks, in order: checks 1 to 6 of lumra_adaptive_demosaic (check 1 also
 * tests src_region and dst_region for null), checks 8 and 9 (check 7 does not
 * apply: the window and the part differ in size), then those of a region
 * entry with a source window (reach 5), then check 10 on the whole image's
 * size (full_height, full_width), then check 11. */
LUMRA_API LumraStatus lumra_adaptive_demosaic_region(const LumraImage* src, const LumraRegion* src_region,
                                                     LumraImage* dst, const LumraRegion* dst_region,
                                                     const int32_t* cfa_pattern) LUMRA_NOEXCEPT;

/* Replaces each one-channel 16-bit site equal to bad_value by the mean (rounded
 * half up) of its good same-colour neighbours. bayer_phase uses this library's
 * own numbering: phases 0 and 3 put the diagonal (green) class on sites with
 * even row + column, phases 1 and 2 on odd ones. This is not the DNG opcode's
 * BayerPhase: a host reading a DNG FixBadPixelsConstant opcode passes
 * its BayerPhase XOR 1. src and dst may be the same buffer. */
LUMRA_API LumraStatus lumra_fix_bad_pixels_constant(const LumraImage* src, LumraImage* dst, uint16_t bad_value,
                                                    int32_t bayer_phase) LUMRA_NOEXCEPT;

/* lumra_fix_bad_pixels_constant on the part dst of the image, placed by
 * dst_region, which must already hold the part. src is a window placed by
 * src_region that must hold the part grown by two pixels on every side
 * (limited to the whole image). Classes follow whole-image positions; only the
 * whole image's edges limit the neighbours.
 *
 * Getting the whole-image call's bits from parts:
 *   - Out of place (src and dst are different buffers, src never written):
 *     any parts, bands or tiles, in any order, on any threads, each with a
 *     window of the unrepaired image.
 *   - In place (the whole-image call with src == dst, where a site repaired
 *     earlier in the scan serves later sites): full-width bands, one after
 *     another from top to bottom, on one buffer that holds the whole image;
 *     each call's dst is the band's rows of that buffer and its src a window
 *     of whole rows of the same buffer (the whole image will do). The rows
 *     above a band then hold their repaired values and the rows below their
 *     original ones, as in the whole scan. Bands run out of this order, at
 *     once on several threads, or as tiles narrower than the image do not
 *     give the in-place bits.
 * Checks, in order: src, src_region, dst, dst_region null [1]; src, dst data
 * null [1]; src or dst type not UINT16 [2]; src, dst reserved [1]; src or dst
 * channels != 1 [1]; src_region or dst_region reserved [1]; dst part outside
 * the whole image [4]; regions of different whole sizes [3]; src window
 * outside the whole image [4]; window not holding the grown part [4]; then an
 * empty part returns LUMRA_OK without work. The whole entry's test that src
 * and dst sizes agree gives way to the window checks. */
LUMRA_API LumraStatus lumra_fix_bad_pixels_constant_region(const LumraImage* src, const LumraRegion* src_region,
                                                           LumraImage* dst, const LumraRegion* dst_region,
                                                           uint16_t bad_value, int32_t bayer_phase) LUMRA_NOEXCEPT;

/* ---- Lens and sensor corrections ---------------------------------------- */

/* Gain grid (map_points_v x map_points_h x map_planes floats, planes fastest)
 * placed in relative image coordinates, multiplied into an area, channel range
 * and row/column lattice of a three-channel float image, result clamped to
 * [0, 1]. bottom/right <= 0 mean the image edge. */
LUMRA_API LumraStatus lumra_apply_gain_map(LumraImage* image, const float* gains, int32_t map_points_v,
                                           int32_t map_points_h, int32_t map_planes, int32_t top, int32_t left,
                                           int32_t bottom, int32_t right, int32_t plane, int32_t planes,
                                           int32_t row_pitch, int32_t col_pitch, double map_spacing_v,
                                           double map_spacing_h, double map_origin_v,
                                           double map_origin_h) LUMRA_NOEXCEPT;

/* lumra_apply_gain_map on a part of the image (see "Regions"). top, left,
 * bottom, right and the pitches keep their whole-image meaning: the lattice
 * and the grid positions are those of the whole image. Checks: image or
 * region null [1], then lumra_apply_gain_map's in its order (map_planes,
 * map_points_h, map_points_v, gains, data [1]; dtype [2]; reserved,
 * channels != 3, row_pitch < 1, col_pitch = 0, plane < 0 [1]), then region
 * reserved [1], part outside the whole image [4]. */
LUMRA_API LumraStatus lumra_apply_gain_map_region(LumraImage* image, const LumraRegion* region, const float* gains,
                                                  int32_t map_points_v, int32_t map_points_h, int32_t map_planes,
                                                  int32_t top, int32_t left, int32_t bottom, int32_t right,
                                                  int32_t plane, int32_t planes, int32_t row_pitch,
                                                  int32_t col_pitch, double map_spacing_v, double map_spacing_h,
                                                  double map_origin_v, double map_origin_h) LUMRA_NOEXCEPT;

/* lumra_apply_gain_map_cfa on a part of the mosaic, as
 * lumra_apply_gain_map_region (channels != 1 [1], no plane check). A band
 * may start on any row: the lattice's phase is the whole image's. */
LUMRA_API LumraStatus lumra_apply_gain_map_cfa_region(LumraImage* image, const LumraRegion* region,
                                                      const float* gains, int32_t map_points_v,
                                                      int32_t map_points_h, int32_t map_planes, int32_t top,
                                                      int32_t left, int32_t bottom, int32_t right,
                                                      int32_t row_pitch, int32_t col_pitch, double map_spacing_v,
                                                      double map_spacing_h, double map_origin_v,
                                                      double map_origin_h) LUMRA_NOEXCEPT;

/* The gain map on a one-channel mosaic; always reads map plane 0. */
LUMRA_API LumraStatus lumra_apply_gain_map_cfa(LumraImage* image, const float* gains, int32_t map_points_v,
                                               int32_t map_points_h, int32_t map_planes, int32_t top,
                                               int32_t left, int32_t bottom, int32_t right, int32_t row_pitch,
                                               int32_t col_pitch, double map_spacing_v, double map_spacing_h,
                                               double map_origin_v, double map_origin_h) LUMRA_NOEXCEPT;

/* A map_rows x map_cols (both >= 2) grid stretched over a one-channel float
 * image, extrapolated in its last interval, no clamp. */
LUMRA_API LumraStatus lumra_apply_flat_gain_map(LumraImage* image, const float* gains, int32_t map_rows,
                                                int32_t map_cols) LUMRA_NOEXCEPT;

/* lumra_apply_flat_gain_map on a part of the image, the grid stretched over
 * the whole image. Checks: image or region null [1]; map_cols < 2, map_rows
 * < 2, gains null, data null [1]; dtype [2]; reserved, channels != 1 [1];
 * full_height = 0, full_width = 0 [1]; region reserved [1]; part outside
 * [4]. A part without pixels returns 0. */
LUMRA_API LumraStatus lumra_apply_flat_gain_map_region(LumraImage* image, const LumraRegion* region,
                                                       const float* gains, int32_t map_rows,
                                                       int32_t map_cols) LUMRA_NOEXCEPT;

/* Each selected sample x becomes c0 + sign(x) * (c1 |x| + ... + cN |x|^N),
 * clamped to [-1, 1]. top = bottom = 0 (left = right = 0) means all rows
 * (columns). coefficients holds degree + 1 floats. */
LUMRA_API LumraStatus lumra_map_polynomial(LumraImage* image, int32_t top, int32_t left, int32_t bottom,
                                           int32_t right, int32_t plane, int32_t planes, int32_t row_pitch,
                                           int32_t col_pitch, const float* coefficients,
                                           int32_t degree) LUMRA_NOEXCEPT;

/* lumra_map_polynomial on a part of the image; the area and the pitches are
 * in whole-image rows and columns. Checks: image or region null [1], then
 * lumra_map_polynomial's in its order (degree, coefficients, data [1]; dtype
 * [2]; reserved, channels not 1 or 3, row_pitch, col_pitch [1]; full_height
 * or full_width >= 2^31 [1]; plane < 0, rows and columns of the area outside
 * the whole image [1]), then region reserved [1], part outside [4]. */
LUMRA_API LumraStatus lumra_map_polynomial_region(LumraImage* image, const LumraRegion* region, int32_t top,
                                                  int32_t left, int32_t bottom, int32_t right, int32_t plane,
                                                  int32_t planes, int32_t row_pitch, int32_t col_pitch,
                                                  const float* coefficients, int32_t degree) LUMRA_NOEXCEPT;

/* Radial gain 1 + k0 r^2 + ... + k4 r^10 around (center_x * width,
 * center_y * height), the farthest corner at r = 1; results clamped to [0, 1]. */
LUMRA_API LumraStatus lumra_fix_vignette(LumraImage* image, const double* coefficients, int32_t coefficient_count,
                                         double center_x, double center_y) LUMRA_NOEXCEPT;

/* lumra_fix_vignette on a part of the image: centre and radius are those of
 * the whole image. Checks: image or region null [1]; coefficient_count <= 0,
 * coefficients null, data null [1]; dtype [2]; reserved [1]; full_height,
 * full_width or channels >= 2^31 [1] (unless one of them is 0 as a 32-bit
 * signed size: then there is nothing to do); region reserved [1]; part
 * outside [4]. */
LUMRA_API LumraStatus lumra_fix_vignette_region(LumraImage* image, const LumraRegion* region,
                                                const double* coefficients, int32_t coefficient_count,
                                                double center_x, double center_y) LUMRA_NOEXCEPT;

/* Radial and tangential lens-distortion correction with bilinear or bicubic
 * resampling; radial holds radial_count doubles per plane, tangential (may be
 * null) two per plane. Bicubic needs at least 4 x 4 pixels. */
LUMRA_API LumraStatus lumra_warp_rectilinear(const LumraImage* source, LumraImage* destination,
                                             const double* radial, int32_t coefficient_planes, int32_t radial_count,
                                             const double* tangential, double center_x, double center_y,
                                             bool bicubic) LUMRA_NOEXCEPT;

/* lumra_warp_rectilinear from a window of the source into a part of the
 * destination (see "Regions"). Centre, radius and the clamping of positions
 * are those of the whole image. The window must hold every source pixel the
 * part reads: both rows and both columns of each bilinear position (also
 * where a weight is 0), the 4 x 4 window of each bicubic one, for every
 * plane written. Checks: any of source, source_region, destination,
 * destination_region null [1]; source data, radial_count <= 0,
 * coefficient_planes <= 0, radial null, destination data null [1]; dtypes
 * [2]; reserved [1]; channels differ [3]; channels >= 2^31 [1]; bicubic on a
 * whole image of fewer than 4 rows or columns [1]; a region's reserved [1];
 * destination part outside the whole image [4]; regions of different whole
 * sizes [3]; window outside the whole image [4]; window that does not hold
 * every pixel the part reads [4]. A window that holds the one
 * lumra_warp_rectilinear_source_window gives passes the last check at once;
 * a smaller one costs the check a pass of the position code over the part. */
LUMRA_API LumraStatus lumra_warp_rectilinear_region(const LumraImage* source, const LumraRegion* source_region,
                                                    LumraImage* destination, const LumraRegion* destination_region,
                                                    const double* radial, int32_t coefficient_planes,
                                                    int32_t radial_count, const double* tangential, double center_x,
                                                    double center_y, bool bicubic) LUMRA_NOEXCEPT;

/* A window of the source that holds every pixel the warp of a destination
 * part (height x width pixels of `channels` channels, placed by
 * destination_region) reads, for a host to size and fill its source buffer:
 * written as a region (*window, with the destination's whole size) and its
 * size (*window_height, *window_width). lumra_warp_rectilinear_region
 * accepts that window (or any window holding it) without going over the
 * part's positions. It is a bound proved from the position arithmetic over
 * at most 64 x 128 rectangles of the part (per plane with coefficients of
 * its own), so it costs little whatever the part's size: usually the exact
 * box of the taps or a row or column more, a few rows more where the
 * distortion is strong, the whole image where a term is not finite. A part that writes nothing gives a 0 x 0 window at its corner.
 * Checks: destination_region, window, window_height or window_width null
 * [1]; radial_count <= 0, coefficient_planes <= 0, radial null [1]; channels
 * >= 2^31 [1]; bicubic on a whole image below 4 x 4 [1]; region reserved [1];
 * part outside the whole image [4]. */
LUMRA_API LumraStatus lumra_warp_rectilinear_source_window(const LumraRegion* destination_region, uint64_t height,
                                                           uint64_t width, uint64_t channels, const double* radial,
                                                           int32_t coefficient_planes, int32_t radial_count,
                                                           const double* tangential, double center_x,
                                                           double center_y, bool bicubic, LumraRegion* window,
                                                           uint64_t* window_height,
                                                           uint64_t* window_width) LUMRA_NOEXCEPT;

/* ---- Profile adjustments ------------------------------------------------ */

/* Hue/saturation/value table (hue shift in degrees, saturation scale, value
 * scale per entry; saturation fastest, then hue, then value) on a
 * three-channel float image in place. sat_divisions must be at least 2. */
LUMRA_API LumraStatus lumra_apply_hue_sat_map(LumraImage* image, const float* map, int32_t hue_divisions,
                                              int32_t sat_divisions, int32_t val_divisions) LUMRA_NOEXCEPT;

/* Black-to-white ramp with a quadratic toe of half-width
 * min(ramp_width / 2, (white - black) / 16) around the black level. */
LUMRA_API LumraStatus lumra_apply_exposure_ramp(const LumraImage* src, LumraImage* dst, double white_level,
                                                double black_level, double ramp_width,
                                                bool allow_overrange) LUMRA_NOEXCEPT;

/* Spatially varying gain tables on a three-channel float image in place:
 * gains holds points_v x points_h tables of points_n floats (entries fastest);
 * the table input is (w0 R + w1 G + w2 B + w3 min + w4 max) * exposure_gain,
 * clamped to [0, 1] and raised to gamma; spacing and origin place the grid in
 * image-relative coordinates. */
LUMRA_API LumraStatus lumra_apply_profile_gain_table_map(LumraImage* image, const float* gains, int32_t points_v,
                                                         int32_t points_h, int32_t points_n, const float* weights,
                                                         float spacing_v, float spacing_h, float origin_v,
                                                         float origin_h, float gamma,
                                                         float exposure_gain) LUMRA_NOEXCEPT;

/* lumra_apply_profile_gain_table_map on a part of the image, placed by
 * region: the grid is placed relative to the whole image's height and width.
 * Checks, in order: image, region null [1]; weights null [1]; gains null [1];
 * data null [1]; type not FLOAT32 [2]; channels != 3 [1]; reserved [1];
 * points_v, points_h, points_n <= 0 [1]; full_height or full_width 2^31 or
 * more [1]; region reserved [1]; part outside the whole image [4]. */
LUMRA_API LumraStatus lumra_apply_profile_gain_table_map_region(LumraImage* image, const LumraRegion* region,
                                                                const float* gains, int32_t points_v,
                                                                int32_t points_h, int32_t points_n,
                                                                const float* weights, float spacing_v,
                                                                float spacing_h, float origin_v, float origin_h,
                                                                float gamma, float exposure_gain) LUMRA_NOEXCEPT;

/* ---- Regions -------------------------------------------------------------
 *
 * A host may run every stage on a part of the image (a band of rows or a tile)
 * with buffers that hold just that part plus the neighbourhood the stage reads,
 * and may run calls on different parts on different threads at once. The
 * result is, bit for bit and on every instruction-set path, the whole-image
 * call's result on that part.
 *
 * Position-free entries need no region form: lumra_convert_dtype,
 * lumra_transform_color, lumra_clip_and_transform_color, lumra_mono_lut,
 * lumra_apply_hue_sat_map and lumra_apply_exposure_ramp give each pixel a
 * result that depends only on its own value. A band of rows is a smaller
 * image: a descriptor on the band's first row with the band's height. (Rows
 * are packed, so a tile narrower than the image must be copied into a packed
 * buffer first.)
 *
 * The entries whose result depends on a pixel's position or on its neighbours
 * have a region form, named after the whole-image entry with _region. In it a
 * LumraImage describes only the part's own buffer (its height and width are
 * the part's), and a LumraRegion says where that buffer lies in the whole
 * image. Entries that read neighbours take a source window: a source buffer
 * with a region of its own that must hold every source pixel the part reads.
 *
 * Checks of a region entry: the whole-image entry's checks in its order, with
 * the region pointers tested for null together with the descriptor pointers,
 * and every size limit of the whole-image entry applied to the whole image's
 * size (full_height, full_width). Then, in this order:
 *   - a region whose reserved field is not 0: LUMRA_ERR_INVALID_ARGUMENT;
 *   - a part that does not lie inside the whole image (top + height >
 *     full_height or left + width > full_width): LUMRA_ERR_REGION;
 *   - for entries with a source window: source and destination regions that
 *     name different whole sizes: LUMRA_ERR_DIMENSION_MISMATCH; a window that
 *     does not lie inside the whole image, or does not hold every pixel the
 *     part reads: LUMRA_ERR_REGION.
 * As everywhere, nothing is written when a check fails.
 */

#ifdef __cplusplus
}
#endif

#endif /* LUMRA_H */
