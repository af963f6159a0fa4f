// Profile gain table map: a grid of gain tables over the image; each pixel
// looks up a gain by a weighted mix of its channels in the tables around it.
//
// Once per row the two grid rows around it are blended into working tables,
// and once per call each column's grid place is worked out, so a pixel needs
// one table input, two lookups and one horizontal blend. Rows run in blocks
// of four pixels (SSE2) or eight (AVX2, where the processor has it), in
// gain_table_lanes.inc, with the one-pixel path's operations. Without working
// memory (allocation failed) the same arithmetic runs on the spot.
//
// The pixels may be a part of the image (a band or a tile): positions on the
// grid are those of the whole image, so a part gets the whole image's bits.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <type_traits>

#include "common/numeric.h"
#include "profile/float_lanes.h"
#include "profile/profile_kernels.h"
#include "profile/table_position.h"

namespace lumra {
namespace {

// Two neighbouring grid rows (or columns) and the weight of the second. With
// fraction 0 both indices are the same, so no table beyond the grid is read.
struct GridPlace {
    int64_t index0;
    int64_t index1;
    float fraction;
};

// Outside the grid (a NaN position counts as before it) the edge tables are
// replicated with fraction 0.
inline GridPlace place_on_grid(double position, int64_t points) {
    const int64_t last = points - 1;
    if (!(position > 0.0)) return {0, 0, 0.0f};
    if (position >= static_cast<double>(last)) return {last, last, 0.0f};
    const int64_t index = static_cast<int64_t>(position);  // 0 < position < last, so this is the floor
    const float fraction = static_cast<float>(position - static_cast<double>(index));
    return {index, fraction > 0.0f ? index + 1 : index, fraction};
}

// Pixel centre (index + 0.5) / size, relative to the grid's origin and spacing.
inline double grid_position(int64_t index, int64_t size, float origin, float spacing) {
    return ((static_cast<double>(index) + 0.5) / static_cast<double>(size) - static_cast<double>(origin)) /
           static_cast<double>(spacing);
}

struct GainTables {
    const float* gains;
    int64_t points_v, points_h, points_n;
    const float* weights;
    float gamma, exposure_gain;
    int64_t last_k;    // largest first index of an interpolation pair
    int64_t next;      // 1, or 0 for single-entry tables
    float entries;     // points_n
    float last_entry;  // points_n - 1
};

// Entry e of the row's tables, already blended vertically: either read from
// the working tables or blended on the spot with the same arithmetic.
struct StoredRow {
    const float* tables;
    float at(int64_t e) const { return tables[e]; }
};
struct BlendedRow {
    const float* top;
    const float* bottom;
    float keep, fraction;
    float at(int64_t e) const { return keep * top[e] + fraction * bottom[e]; }
};

// Each column's first entry in the row's tables (index0 x points_n, and the
// same for index1) and its horizontal fraction.
struct StoredColumns {
    const int64_t* first;
    const int64_t* second;
    const float* fraction;
    GridPlace at(int64_t c) const { return {first[c], second[c], fraction[c]}; }
};
struct ComputedColumns {
    int64_t left, full_width;  // the buffer's first column and the whole image's width
    float origin_h, spacing_h;
    int64_t points_h, points_n;
    GridPlace at(int64_t c) const {
        const GridPlace place = place_on_grid(grid_position(left + c, full_width, origin_h, spacing_h), points_h);
        return {place.index0 * points_n, place.index1 * points_n, place.fraction};
    }
};

// The table input, exact in single precision: the weighted sum in the order
// written, the exposure gain, the clamp (NaN to 0) and the optional gamma.
inline float table_input(const float* pixel, const GainTables& tables) {
    const float r = pixel[0], g = pixel[1], b = pixel[2];
    const float* w = tables.weights;
    const float low = std::min(std::min(r, g), b), high = std::max(std::max(r, g), b);
    const float mix = w[0] * r + w[1] * g + w[2] * b + w[3] * low + w[4] * high;
    const float t = clamp_unit(mix * tables.exposure_gain);
    return tables.gamma != 1.0f ? clamp_unit(std::pow(t, tables.gamma)) : t;
}

template <typename Row, typename Columns>
void apply_pixels(float* pixel, int64_t begin, int64_t end, const Row& row, const Columns& columns,
                  const GainTables& tables) {
    for (int64_t c = begin; c < end; ++c, pixel += 3) {
        const float t = table_input(pixel, tables);
        const float x = std::min(t * tables.entries, tables.last_entry);  // t is in [0, 1]
        const int64_t k = limited_floor(x, tables.last_k);
        const float f = x - static_cast<float>(k);
        const GridPlace column = columns.at(c);
        const int64_t e0 = column.index0 + k, e1 = column.index1 + k;
        const float first0 = row.at(e0), first1 = row.at(e1);
        const float gain0 = first0 + f * (row.at(e0 + tables.next) - first0);
        const float gain1 = first1 + f * (row.at(e1 + tables.next) - first1);
        const float gain = (1.0f - column.fraction) * gain0 + column.fraction * gain1;
        pixel[0] *= gain;
        pixel[1] *= gain;
        pixel[2] *= gain;
    }
}

#if LUMRA_SIMD_X86
namespace sse2_path {
using Lanes = Sse2Lanes;
#include "profile/gain_table_lanes.inc"
}  // namespace sse2_path

LUMRA_BEGIN_AVX2
namespace avx2_path {
using Lanes = Avx2Lanes;
#include "profile/gain_table_lanes.inc"
}  // namespace avx2_path
LUMRA_END_AVX2
#endif

template <typename Row, typename Columns>
void apply_row(float* pixels, int64_t width, const Row& row, const Columns& columns, const GainTables& tables) {
    int64_t done = 0;
#if LUMRA_SIMD_X86
    if constexpr (std::is_same_v<Row, StoredRow> && std::is_same_v<Columns, StoredColumns>) {
        if (tables.points_n >= 2 && tables.points_n <= (int64_t{1} << 24)) {
            done = simd::runs(simd::Level::avx2)
                       ? avx2_path::apply_row_lanes(pixels, width, row.tables, columns, tables)
                       : sse2_path::apply_row_lanes(pixels, width, row.tables, columns, tables);
        }
    }
#endif
    apply_pixels(pixels + done * 3, done, width, row, columns, tables);
}

template <typename Columns>
void apply_rows(float* data, int64_t height, int64_t width, const ImagePlace& image_place, float origin_v,
                float spacing_v, float* working, const Columns& columns, const GainTables& tables) {
    const int64_t row_floats = tables.points_h * tables.points_n;
    for (int64_t r = 0; r < height; ++r) {
        float* pixels = data + r * width * 3;
        const GridPlace place = place_on_grid(
            grid_position(image_place.top + r, image_place.full_height, origin_v, spacing_v), tables.points_v);
        const float* top = tables.gains + place.index0 * row_floats;
        if (place.fraction == 0.0f) {
            apply_row(pixels, width, StoredRow{top}, columns, tables);
            continue;
        }
        const BlendedRow blended{top, tables.gains + place.index1 * row_floats, 1.0f - place.fraction,
                                 place.fraction};
        if (working == nullptr) {
            apply_row(pixels, width, blended, columns, tables);
            continue;
        }
        for (int64_t e = 0; e < row_floats; ++e) working[e] = blended.at(e);
        apply_row(pixels, width, StoredRow{working}, columns, tables);
    }
}

void apply_gain_tables(float* data, int32_t height, int32_t width, const ImagePlace& place, int32_t points_v,
                       int32_t points_h, float spacing_v, float spacing_h, float origin_v, float origin_h,
                       int32_t points_n, const float* weights, float gamma, const float* gains, float exposure_gain,
                       bool use_working_memory) {
    if (height <= 0 || width <= 0) return;
    const GainTables tables{gains,
                            points_v,
                            points_h,
                            points_n,
                            weights,
                            gamma,
                            exposure_gain,
                            std::max<int64_t>(points_n - 2, 0),
                            points_n > 1 ? 1 : 0,
                            static_cast<float>(points_n),
                            static_cast<float>(points_n - 1)};

    // Working memory: the row's blended tables (needed only when the grid has
    // more than one row) and the columns' places, each optional.
    const uint64_t row_bytes = static_cast<uint64_t>(points_h) * static_cast<uint64_t>(points_n) * sizeof(float);
    const uint64_t columns = static_cast<uint64_t>(width);
    float* working = use_working_memory && points_v > 1 ? static_cast<float*>(std::malloc(row_bytes)) : nullptr;
    void* column_memory = use_working_memory ? std::malloc(columns * (2 * sizeof(int64_t) + sizeof(float))) : nullptr;
    const ComputedColumns computed{place.left, place.full_width, origin_h, spacing_h, points_h, points_n};
    if (column_memory != nullptr) {
        auto* first = static_cast<int64_t*>(column_memory);
        int64_t* second = first + columns;
        auto* fraction = reinterpret_cast<float*>(second + columns);
        for (int64_t c = 0; c < width; ++c) {
            const GridPlace column = computed.at(c);
            first[c] = column.index0, second[c] = column.index1, fraction[c] = column.fraction;
        }
        apply_rows(data, height, width, place, origin_v, spacing_v, working, StoredColumns{first, second, fraction},
                   tables);
    } else {
        apply_rows(data, height, width, place, origin_v, spacing_v, working, computed, tables);
    }
    std::free(column_memory);
    std::free(working);
}

}  // namespace

void apply_profile_gain_table_map_kernel(float* data, int32_t height, int32_t width, const ImagePlace& place,
                                         int32_t points_v, int32_t points_h, float spacing_v, float spacing_h,
                                         float origin_v, float origin_h, int32_t points_n, const float* weights,
                                         float gamma, const float* gains, float exposure_gain) noexcept {
    apply_gain_tables(data, height, width, place, points_v, points_h, spacing_v, spacing_h, origin_v, origin_h,
                      points_n, weights, gamma, gains, exposure_gain, true);
}

void apply_profile_gain_table_map_without_working_memory(float* data, int32_t height, int32_t width,
                                                         const ImagePlace& place, int32_t points_v, int32_t points_h,
                                                         float spacing_v, float spacing_h, float origin_v,
                                                         float origin_h, int32_t points_n, const float* weights,
                                                         float gamma, const float* gains,
                                                         float exposure_gain) noexcept {
    apply_gain_tables(data, height, width, place, points_v, points_h, spacing_v, spacing_h, origin_v, origin_h,
                      points_n, weights, gamma, gains, exposure_gain, false);
}

}  // namespace lumra
