// Hue/saturation/value table: RGB to HSV, a trilinear table read at the
// pixel's (hue, saturation, value) position, and back to RGB.
//
// Blocks of four pixels (SSE2), eight (AVX2) or sixteen (AVX-512), the widest
// the processor has, one pixel per lane, in hue_sat_lanes.inc: the colour
// conversions run across the lanes, and the table entries of the lanes are
// loaded side by side from a copy of the table with paired hue rows and
// transposed so that each lane blends its own. Every step is the one-pixel
// path's operation, so all paths give identical results.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>

#include "profile/float_lanes.h"
#include "profile/float_lanes_avx512.h"
#include "profile/profile_kernels.h"
#include "profile/table_position.h"

namespace lumra {
namespace {

struct HueSatTable {
    const float* map;
    int64_t hue_divisions;
    int64_t sat_divisions;
    int64_t val_divisions;
    float hue_scale;  // hue_divisions / 6, or 0 with a single hue division
    float sat_scale;  // sat_divisions - 1
    float val_scale;  // val_divisions - 1
    int64_t slice;    // floats between two value slices
};

// The table's (hue shift, saturation scale, value scale) at one HSV point.
struct Adjustment {
    float shift, sat_scale, val_scale;
};

// fmodf(x, 6) with a negative remainder moved up by 6. The remainder is exact,
// so the common ranges are taken without the library call.
inline float wrap_hue(float x) {
    float wrapped;
    if (x >= 0.0f && x < 6.0f) wrapped = x;
    else if (x >= 6.0f && x < 12.0f) wrapped = x - 6.0f;  // exact: x and 6 are within a factor of 2
    else if (x > -6.0f && x < 0.0f) wrapped = x;
    else wrapped = std::fmod(x, 6.0f);
    return wrapped < 0.0f ? wrapped + 6.0f : wrapped;
}

// Row and column of the interpolation, with the fractions. Positions are made
// safe first (a NaN reads row 0 with fraction 0; huge ones are capped before
// conversion), so no pixel value leads outside the table.
struct TablePlace {
    const float* row0;  // (h0, s0): six floats, the (s0, s1) pair of entries
    const float* row1;  // (h1, s0)
    float hue_fraction, sat_fraction;
    float val_fraction;  // only with a value axis
};

inline TablePlace place_in_table(const HueSatTable& table, float hue, float saturation, float value) {
    const float hue_position = non_negative_position(hue * table.hue_scale);
    const int64_t hue_floor = limited_floor(hue_position, table.hue_divisions - 1);
    const int64_t h1 = hue_floor < table.hue_divisions - 1 ? hue_floor + 1 : 0;  // the hue axis wraps
    const float sat_position = non_negative_position(saturation * table.sat_scale);
    const int64_t s0 = limited_floor(sat_position, table.sat_divisions - 2);
    int64_t offset = s0 * 3;
    float val_fraction = 0.0f;
    if (table.val_divisions > 1) {
        const float val_position = non_negative_position(value * table.val_scale);
        const int64_t l0 = limited_floor(val_position, table.val_divisions - 2);
        val_fraction = val_position - static_cast<float>(l0);
        offset += l0 * table.slice;
    }
    const int64_t row_length = table.sat_divisions * 3;
    return TablePlace{table.map + hue_floor * row_length + offset, table.map + h1 * row_length + offset,
                      hue_position - static_cast<float>(hue_floor), sat_position - static_cast<float>(s0),
                      val_fraction};
}

// The same blends one float at a time.
inline void blend_slice(const float* row0, const float* row1, float hue_fraction, float sat_fraction, float out[3]) {
    const float hue_keep = 1.0f - hue_fraction;
    float pair[6];
    for (int k = 0; k < 6; ++k) pair[k] = hue_keep * row0[k] + hue_fraction * row1[k];
    const float sat_keep = 1.0f - sat_fraction;
    for (int k = 0; k < 3; ++k) out[k] = sat_keep * pair[k] + sat_fraction * pair[k + 3];
}

inline Adjustment adjustment_at(const HueSatTable& table, float hue, float saturation, float value) {
    const TablePlace place = place_in_table(table, hue, saturation, value);
    float low[3];
    blend_slice(place.row0, place.row1, place.hue_fraction, place.sat_fraction, low);
    if (table.val_divisions > 1) {
        float high[3];
        blend_slice(place.row0 + table.slice, place.row1 + table.slice, place.hue_fraction, place.sat_fraction,
                    high);
        const float keep = 1.0f - place.val_fraction;
        for (int k = 0; k < 3; ++k) low[k] = keep * low[k] + place.val_fraction * high[k];
    }
    return Adjustment{low[0], low[1], low[2]};
}

// Pixels the table arithmetic cannot place are left as they are: a NaN or
// infinite component, or a negative component while the largest is not
// positive (its saturation would divide by a value of 0 or less).
inline bool outside_table_domain(float r, float g, float b, float largest) {
    const float finite_limit = 3.40282347e38f;
    const bool finite = std::fabs(r) <= finite_limit && std::fabs(g) <= finite_limit && std::fabs(b) <= finite_limit;
    const bool negative = r < 0.0f || g < 0.0f || b < 0.0f;
    return !finite || (negative && !(largest > 0.0f));
}

inline void hue_sat_pixel(float* pixel, const HueSatTable& table) {
    const float r = pixel[0], g = pixel[1], b = pixel[2];
    const float value = std::max(std::max(r, g), b);
    if (outside_table_domain(r, g, b, value)) return;
    const float delta = value - std::min(std::min(r, g), b);

    float saturation = 0.0f, hue = 0.0f;
    if (delta > 0.0f) {
        saturation = delta / value;
        const bool red_top = r == value, green_top = g == value;
        const float sextant = (red_top ? g - b : (green_top ? b - r : r - g)) / delta;
        hue = red_top ? (sextant < 0.0f ? sextant + 6.0f : sextant) : sextant + (green_top ? 2.0f : 4.0f);
    }
    const Adjustment adjust = adjustment_at(table, hue, saturation, value);

    const float new_sat = std::min(saturation * adjust.sat_scale, 1.0f);  // a NaN stays NaN and turns grey below
    const float new_value = std::max(std::min(adjust.val_scale * value, 1.0f), 0.0f);
    if (!(new_sat > 0.0f)) {
        pixel[0] = pixel[1] = pixel[2] = new_value;
        return;
    }
    const float new_hue = wrap_hue(adjust.shift * 0.016666668f + hue);
    if (!(new_hue <= 6.0f)) return;  // a NaN hue has no sextant
    const int sextant = static_cast<int>(new_hue);
    const float f = new_hue - static_cast<float>(sextant);
    // Corners of the sextant: V', t, p, q in that order.
    const float corner[4] = {new_value, ((f - 1.0f) * new_sat + 1.0f) * new_value, (1.0f - new_sat) * new_value,
                             (1.0f - f * new_sat) * new_value};
    static constexpr unsigned char kPick[7][3] = {{0, 1, 2}, {3, 0, 2}, {2, 0, 1}, {2, 3, 0},
                                                  {1, 2, 0}, {0, 2, 3}, {0, 1, 2}};
    pixel[0] = corner[kPick[sextant][0]];
    pixel[1] = corner[kPick[sextant][1]];
    pixel[2] = corner[kPick[sextant][2]];
}

#if LUMRA_SIMD_X86
// The table with paired hue rows has twice the floats of the table. The
// blocks' offsets into it are worked out as floats, exact below 2^24.
inline bool fits_lanes(const HueSatTable& table) {
    return std::max<int64_t>(table.val_divisions, 1) * table.slice * 2 < (int64_t{1} << 24);
}

// A copy of the table in which entry (l, h, s) is followed by entry (l, h1, s),
// h1 being the next hue row (row 0 after the last): six floats per place, so
// the entries (h0, s0), (h1, s0), (h0, s0 + 1), (h1, s0 + 1) a pixel blends
// are twelve consecutive floats, read with one offset. Null if the memory is
// not there (the pixels are then taken one by one).
std::unique_ptr<float[]> pair_hue_rows(const HueSatTable& table) {
    const int64_t slices = std::max<int64_t>(table.val_divisions, 1), rows = table.hue_divisions;
    const int64_t row_length = table.sat_divisions * 3;
    std::unique_ptr<float[]> paired(new (std::nothrow) float[static_cast<size_t>(slices * table.slice * 2)]);
    if (!paired) return paired;
    float* to = paired.get();
    for (int64_t l = 0; l < slices; ++l) {
        for (int64_t h = 0; h < rows; ++h) {
            const float* row = table.map + l * table.slice + h * row_length;
            const float* next_row = table.map + l * table.slice + (h + 1 < rows ? h + 1 : 0) * row_length;
            for (int64_t s = 0; s < row_length; s += 3, to += 6) {
                std::copy(row + s, row + s + 3, to);
                std::copy(next_row + s, next_row + s + 3, to + 3);
            }
        }
    }
    return paired;
}

namespace sse2_path {
using Lanes = Sse2Lanes;
#include "profile/hue_sat_lanes.inc"
}  // namespace sse2_path

LUMRA_BEGIN_AVX2
namespace avx2_path {
using Lanes = Avx2Lanes;
#include "profile/hue_sat_lanes.inc"
}  // namespace avx2_path
LUMRA_END_AVX2

LUMRA_BEGIN_AVX512
namespace avx512_path {
using Lanes = Avx512Lanes;
#include "profile/hue_sat_lanes.inc"
}  // namespace avx512_path
LUMRA_END_AVX512
#endif

}  // namespace


void apply_hue_sat_map_kernel(float* data, int32_t height, int32_t width, const float* map, int32_t hue_divisions,
                              int32_t sat_divisions, int32_t val_divisions) noexcept {
    const HueSatTable table{map,
                            hue_divisions,
                            sat_divisions,
                            val_divisions,
                            hue_divisions < 2 ? 0.0f : static_cast<float>(hue_divisions) * 0.16666667f,
                            static_cast<float>(sat_divisions - 1),
                            static_cast<float>(val_divisions - 1),
                            int64_t{hue_divisions} * sat_divisions * 3};
    const uint64_t pixels = static_cast<uint64_t>(height) * static_cast<uint64_t>(width);
    uint64_t n = 0;
#if LUMRA_SIMD_X86
    const std::unique_ptr<float[]> paired = pixels >= 4 && fits_lanes(table) ? pair_hue_rows(table) : nullptr;
    if (paired) {
        if (simd::runs(simd::Level::avx512)) {
            avx512_path::hue_sat_blocks(data, pixels / 16, table, paired.get());
            n = pixels / 16 * 16;
        }
        if (simd::runs(simd::Level::avx2)) {
            avx2_path::hue_sat_blocks(data + n * 3, (pixels - n) / 8, table, paired.get());
            n += (pixels - n) / 8 * 8;
        }
        sse2_path::hue_sat_blocks(data + n * 3, (pixels - n) / 4, table, paired.get());
        n += (pixels - n) / 4 * 4;
    }
#endif
    for (; n < pixels; ++n) hue_sat_pixel(data + n * 3, table);
}

}  // namespace lumra
