// Resampling of the rectilinear warp: one plane of the source read at a run
// of positions already limited to [0, H - 1] x [0, W - 1]. The per-sample
// functions here are the arithmetic every path must reproduce bit for bit;
// the wide paths use them for the samples left over at the end of a run.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "correct/bicubic_weights.h"
#include "correct/correct_common.h"
#include "correct/correct_kernels.h"
#include "simd/isa.h"

namespace lumra {

// The source the warp reads: a window of the whole source image that holds
// every pixel the destination part reads. Positions and taps are in whole-
// image rows and columns; `at` finds them in the window.
struct WarpSource {
    const float* pixels;          // the window's first element
    uint64_t height, width, channels;  // of the whole image
    uint64_t last_row, last_col;  // H - 1 and W - 1
    const float* table;           // cubic weights, or null for the bilinear resampler
    const float* spread;          // the weights laid out for a wide path, if it needs them
    uint64_t top, left;           // the window's first row and column in the whole image
    uint64_t rows, stride;        // the window's rows, and elements per window row

    const float* at(uint64_t row, uint64_t col, uint64_t plane) const {
        return pixels + (row - top) * stride + (col - left) * channels + plane;
    }
};

struct PlaneCoefficients {
    // Radial terms past radial_count are 0: adding 0 x r^n (r^n in [0, 1])
    // changes a result only by the sign of a zero, which the position limits
    // then remove, so every position is the same as with the terms left out.
    double kr[4];
    bool tangential;
    double kt0, kt1;
};

struct Geometry {
    double cx, cy, extent, scale, last_row, last_col;
    const double* radial;  // coefficient_planes x radial_count
    int radial_count, terms;
    const double* tangential;

    PlaneCoefficients plane(int k) const {
        PlaneCoefficients c{};
        const double* kr = radial + static_cast<int64_t>(k) * radial_count;
        for (int t = 0; t < terms; ++t) c.kr[t] = kr[t];
        if (tangential) {
            c.kt0 = tangential[2 * k];
            c.kt1 = tangential[2 * k + 1];
            c.tangential = !(c.kt0 == 0.0 && c.kt1 == 0.0);
        }
        return c;
    }

    // Plane k's coefficients are bitwise those of plane k - 1, so are its positions.
    bool same_as_previous(int k) const {
        const double* kr = radial + static_cast<int64_t>(k) * radial_count;
        if (std::memcmp(kr, kr - radial_count, sizeof(double) * static_cast<size_t>(terms)) != 0) return false;
        return !tangential || std::memcmp(tangential + 2 * k, tangential + 2 * k - 2, 2 * sizeof(double)) == 0;
    }

    // Every one of the first `count` planes has plane 0's positions.
    bool planes_alike(int count) const {
        for (int k = 1; k < count; ++k)
            if (!same_as_previous(k)) return false;
        return true;
    }
};

// The geometry of a warp of the whole image that `part` lies in.
Geometry warp_geometry(const PartOfWhole& part, const double* radial, int radial_count, const double* tangential,
                       double center_x, double center_y);

// The source box read by positions from (low_y, low_x) to (high_y, high_x),
// all in [0, H - 1] x [0, W - 1].
SourceBox taps_of(const PartOfWhole& part, double low_y, double high_y, double low_x, double high_x, bool bicubic);

// Positions are limited to [0, H - 1] x [0, W - 1] before resampling, so
// truncation is the floor and every conversion is in range.
inline uint64_t whole_part(double position) { return static_cast<uint64_t>(static_cast<int64_t>(position)); }

inline float bilinear_sample(const WarpSource& s, double y, double x, uint64_t plane) {
    const uint64_t y0 = whole_part(y), x0 = whole_part(x);
    const uint64_t y1 = std::min(y0 + 1, s.last_row), x1 = std::min(x0 + 1, s.last_col);
    const double fx = x - static_cast<double>(static_cast<int64_t>(x0));
    const double fy = y - static_cast<double>(static_cast<int64_t>(y0));
    const double top = static_cast<double>(*s.at(y0, x1, plane)) * fx +
                       static_cast<double>(*s.at(y0, x0, plane)) * (1.0 - fx);
    const double bottom_minus_top = static_cast<double>(*s.at(y1, x1, plane)) * fx +
                                    ((1.0 - fx) * static_cast<double>(*s.at(y1, x0, plane)) - top);
    return static_cast<float>(top + bottom_minus_top * fy);
}

// Where a cubic window starts along one axis and which fraction it uses.
// Within one pixel of the start, or from size - 2 on, the fraction is 0 and
// the window's second sample is taken as it is.
struct Tap {
    uint64_t start;
    int index;
};

inline Tap cubic_tap(double position, uint64_t size) {
    const uint64_t base = whole_part(position);
    if (base < 1) return {0, 0};
    if (base - 1 > size - 4) return {size - 4, 0};
    const double fraction = position - static_cast<double>(static_cast<int64_t>(base));
    const int index = static_cast<int>(fraction * kBicubicSteps);
    return {base - 1, std::min(index, kBicubicSteps - 1)};
}

// The 4 x 4 window at `window` (row stride `row_step`, column stride
// `col_step` elements) weighted by one table entry: each row's four products
// together, rows combined as (0 + 2) + (3 + 1) per column, columns as
// (1 + 3) + (0 + 2), then limited to [0, 1].
inline float cubic_window(const float* window, uint64_t row_step, uint64_t col_step, const float* w) {
    float products[4][4];
    for (int t = 0; t < 4; ++t) {
        const float* row = window + t * row_step;
        for (int u = 0; u < 4; ++u) products[t][u] = row[u * col_step] * w[t * 4 + u];
    }
    float columns[4];
    for (int u = 0; u < 4; ++u) columns[u] = (products[0][u] + products[2][u]) + (products[3][u] + products[1][u]);
    const float value = (columns[1] + columns[3]) + (columns[0] + columns[2]);
    return limit_high_then_low(value, 0.0f, 1.0f);
}

inline float cubic_sample(const WarpSource& s, double y, double x, uint64_t plane) {
    const Tap ty = cubic_tap(y, s.height), tx = cubic_tap(x, s.width);
    const float* w = s.table + (ty.index * kBicubicSteps + tx.index) * kBicubicTaps;
    return cubic_window(s.at(ty.start, tx.start, plane), s.stride, s.channels, w);
}

// One sample with the call's resampler.
inline float resample_one(const WarpSource& s, double y, double x, uint64_t plane) {
    return s.table ? cubic_sample(s, y, x, plane) : bilinear_sample(s, y, x, plane);
}

// Resamples plane `plane` at positions (ys[j], xs[j]), j < n, into
// out[j * channels + plane].
using ResampleRun = void (*)(const WarpSource& s, const double* ys, const double* xs, int n, uint64_t plane,
                             float* out);

void bilinear_run(const WarpSource& s, const double* ys, const double* xs, int n, uint64_t plane, float* out);
void cubic_run(const WarpSource& s, const double* ys, const double* xs, int n, uint64_t plane, float* out);

// Planes the wide path produces at most.
constexpr int kWidePlanes = 4;

// Warps `count` destination pixels of row `row` from column `first_col` on,
// but for the last (count mod 4), with geometry and resampling four pixels at
// a time into out_row; returns the pixels done.
using WideRows = uint64_t (*)(const WarpSource& s, const Geometry& g, int plane_count, uint64_t row,
                              uint64_t first_col, uint64_t count, float* out_row);

// Memory a wide path borrows for one call, freed when the call ends.
struct WideScratch {
    void* memory = nullptr;
    WideScratch() = default;
    WideScratch(const WideScratch&) = delete;
    WideScratch& operator=(const WideScratch&) = delete;
    ~WideScratch() { std::free(memory); }
};

// The wide row warp the processor runs for this source, geometry and plane
// count, or null. It addresses the window with 32-bit offsets and works out
// whole-image element offsets exactly in double, and may set the source's
// `spread` to memory it takes in `scratch`.
WideRows warp_wide_rows(WarpSource& s, const Geometry& g, int plane_count, WideScratch& scratch) noexcept;
#if LUMRA_SIMD_X86
uint64_t warp_rows_avx2(const WarpSource& s, const Geometry& g, int plane_count, uint64_t row, uint64_t first_col,
                        uint64_t count, float* out_row);
// Rows of an image of three or four channels whose planes are all warped
// alike, every channel of a pixel at once; null for other channel counts or
// when its scratch cannot be had.
WideRows warp_pixel_rows_avx2(WarpSource& s, WideScratch& scratch) noexcept;
#endif

}  // namespace lumra
