// Profile gain table map: a grid of gain tables over the image; each pixel
// looks up a gain by a weighted mix of its channels in the tables around it.
//
// Once per row the two grid rows around it are blended into working tables,
// and once per call each column's grid place is worked out, so a pixel needs
// one table input, two lookups and one horizontal blend. The steps are
// written once over the lane vocabulary (simd/lanes.h); rows run in blocks of
// four or eight pixels, one per lane, and one pixel at a time for the rest.
// Without working memory (allocation failed) the same arithmetic runs on the
// spot.
//
// The pixels may be a part of the image (a band or a tile): positions on the
// grid are those of the whole image, so a part gets the whole image's bits.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <type_traits>

#include "common/numeric.h"
#include "profile/profile_kernels.h"
#include "profile/table_position.h"
#include "simd/lanes.h"
#include "simd/lanes_avx2.h"

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
    std::array<float, 5> weights;  // a copy, which the pixel stores cannot change
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
// written, the exposure gain, the clamp (NaN to 0) and the optional gamma
// (std::pow, lane by lane). std::min(a, b) is upper_limit(a, b) and
// std::max(a, b) is lower_limit(b, a), NaN and ties included.
template <typename V>
LUMRA_SHARED_BODY V table_input(const Rgb<V>& c, const GainTables& tables) {
    const std::array<float, 5>& w = tables.weights;
    const V low = upper_limit(upper_limit(c.r, c.g), c.b), high = lower_limit(c.b, lower_limit(c.g, c.r));
    const V mix = V(w[0]) * c.r + V(w[1]) * c.g + V(w[2]) * c.b + V(w[3]) * low + V(w[4]) * high;
    const V t = clamp_unit(mix * V(tables.exposure_gain));
    if (tables.gamma == 1.0f) return t;
    alignas(64) float lanes[kLanesOf<V>];
    store(lanes, t);
    for (float& lane : lanes) lane = std::pow(lane, tables.gamma);
    return clamp_unit(load(lanes, V{}));
}

// The gain between two tables (each read at entries k and k + 1) at the
// table position's fraction f and the column fraction fx.
template <typename V>
LUMRA_SHARED_BODY V blended_gain(V first0, V next0, V first1, V next1, V f, V fx) {
    const V gain0 = first0 + f * (next0 - first0);
    const V gain1 = first1 + f * (next1 - first1);
    return (V(1.0f) - fx) * gain0 + fx * gain1;
}

template <typename V>
LUMRA_SHARED_BODY void apply_gain(float* pixels, const Rgb<V>& c, V gain) {
    store_rgb_floats(pixels, Rgb<V>{c.r * gain, c.g * gain, c.b * gain});
}

// One pixel at a time, for any table size: the index in 64-bit integers
// (t is in [0, 1], so x is in [0, points_n - 1]).
template <typename Row, typename Columns>
void apply_pixels(float* pixel, int64_t begin, int64_t end, const Row& row, const Columns& columns,
                  const GainTables& tables) {
    for (int64_t c = begin; c < end; ++c, pixel += 3) {
        const Rgb<float> rgb = load_rgb_floats(pixel, 0.0f);
        const float x = upper_limit(table_input(rgb, tables) * tables.entries, tables.last_entry);
        const int64_t k = limited_floor(x, tables.last_k);
        const GridPlace column = columns.at(c);
        const int64_t e0 = column.index0 + k, e1 = column.index1 + k;
        apply_gain(pixel, rgb,
                   blended_gain(row.at(e0), row.at(e0 + tables.next), row.at(e1), row.at(e1 + tables.next),
                                x - static_cast<float>(k), column.fraction));
    }
}

// Blocks of one pixel per lane on stored rows and columns, for tables of 2
// to 2^24 entries (so the index is exact as a float and every lookup reads
// the pair at k and k + 1). Returns the pixels done.
template <typename V>
LUMRA_SHARED_BODY int64_t apply_row_blocks(float* pixel, int64_t width, const float* row,
                                           const StoredColumns& columns, const GainTables& tables) {
    constexpr int kLanes = kLanesOf<V>;
    // Locals, so that the pixel stores cannot be taken to change them.
    const GainTables local = tables;
    const int64_t* const first_of = columns.first;
    const int64_t* const second_of = columns.second;
    const float* const fraction_of = columns.fraction;
    int64_t c = 0;
    for (; c + kLanes <= width; c += kLanes, pixel += 3 * kLanes) {
        const Rgb<V> rgb = load_rgb_floats(pixel, V{});
        const V x = upper_limit(table_input(rgb, local) * V(local.entries), V(local.last_entry));
        const V k = upper_limit(whole_part(x), V(static_cast<float>(local.last_k)));
        alignas(64) uint32_t ks[kLanes];
        store_whole(ks, k);
        const float* left[kLanes];
        const float* right[kLanes];
        for (int lane = 0; lane < kLanes; ++lane) {
            left[lane] = row + first_of[c + lane] + ks[lane];
            right[lane] = row + second_of[c + lane] + ks[lane];
        }
        V first0, next0, first1, next1;
        gather_pairs_at(left, first0, next0);
        gather_pairs_at(right, first1, next1);
        apply_gain(pixel, rgb, blended_gain(first0, next0, first1, next1, x - k, load(fraction_of + c, V{})));
    }
    return c;
}

int64_t apply_row_baseline(float* pixels, int64_t width, const float* row, const StoredColumns& columns,
                           const GainTables& tables) {
    return apply_row_blocks<Lanes>(pixels, width, row, columns, tables);
}
#if LUMRA_SIMD_X86
LUMRA_TARGET_AVX2 int64_t apply_row_avx2(float* pixels, int64_t width, const float* row,
                                         const StoredColumns& columns, const GainTables& tables) {
    return apply_row_blocks<Lanes8>(pixels, width, row, columns, tables);
}
#endif

template <typename Row, typename Columns>
void apply_row(float* pixels, int64_t width, const Row& row, const Columns& columns, const GainTables& tables) {
    int64_t done = 0;
    if constexpr (std::is_same_v<Row, StoredRow> && std::is_same_v<Columns, StoredColumns>) {
        if (tables.points_n >= 2 && tables.points_n <= (int64_t{1} << 24)) {
#if LUMRA_SIMD_X86
            if (simd::runs(simd::Level::avx2)) done = apply_row_avx2(pixels, width, row.tables, columns, tables);
            else
#endif
                done = apply_row_baseline(pixels, width, row.tables, columns, tables);
        }
    }
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
                            {weights[0], weights[1], weights[2], weights[3], weights[4]},
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
