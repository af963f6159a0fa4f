// Raw normalisation: value = (linear(x) - black) / (white - black), limited to
// [0, 1]. The dispatcher picks, once per call, either one of the reciprocal
// paths for the common delta-free, table-free layouts (normalize_raw_tiles.cpp)
// or the general path here, which handles every layout.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "raw/normalize_raw_paths.h"
#include "raw/raw_kernels.h"
#include "simd/lanes.h"

namespace lumra {
namespace {

// Table index of a float source value: truncated toward zero and limited to
// 0..last. The limits are applied in the float domain first so the conversion
// is always defined; a NaN takes entry 0.
inline int64_t table_index(float x, int32_t last) {
    if (!(x >= 1.0f)) return 0;
    if (x >= static_cast<float>(last)) return last;
    return std::min<int64_t>(static_cast<int64_t>(x), last);
}

// linear(x) of a row: the source values themselves ...
template <typename In>
struct Direct {
    const In* x;
    template <typename V>
    V at(int64_t i) const {
        return load(x + i, V{});
    }
};
// ... or a 16-bit source through the table, widened to floats once per call
// (a small table then stays in the first-level cache).
struct Tabled {
    const uint16_t* x;
    const float* table;
    uint16_t last;
    template <typename V>
    V at(int64_t i) const {
        return gather_limited(table, x + i, last, V{});
    }
};

// One row: black = (tile + delta_v) + delta_h, span = white - black,
// (linear - black) / span where span > 0 and 0 elsewhere, then the clamp.
// `tile`, `delta_h` and `white` are expanded to one entry per element.
template <typename V, typename Linear>
inline void normalize_general(const Linear& linear, float* out, int64_t i, const float* tile, float delta_v,
                              const float* delta_h, const float* white) {
    const V black = (load(tile + i, V{}) + V(delta_v)) + load(delta_h + i, V{});
    const V span = load(white + i, V{}) - black;
    const V value = zero_unless(greater(span, V(0.0f)), (linear.template at<V>(i) - black) / span);
    store(out + i, limit_high_then_low(value, V(0.0f), V(1.0f)));
}

template <typename Linear>
void normalize_row_general(const Linear& linear, float* out, int64_t count, const float* tile, float delta_v,
                           const float* delta_h, const float* white) {
    int64_t i = 0;
    for (; i + 4 <= count; i += 4) normalize_general<Lanes>(linear, out, i, tile, delta_v, delta_h, white);
    for (; i < count; ++i) normalize_general<float>(linear, out, i, tile, delta_v, delta_h, white);
}

// Fills `row` (count elements) by repeating its first `period` elements.
void repeat_prefix(float* row, int64_t period, int64_t count) {
    for (int64_t filled = period; filled < count;) {
        const int64_t step = std::min(filled, count - filled);
        std::memcpy(row + filled, row, static_cast<size_t>(step) * sizeof(float));
        filled += step;
    }
}

// A tile row of the black tile expanded to a row of the part, whose first
// column is tile column `first_col`: element i is tile element
// (first_col x samples + i) mod (repeat_cols x samples).
void expand_tile_row(float* row, const float* tile_row, int32_t repeat_cols, int32_t first_col, int64_t row_length,
                     int32_t samples) {
    const int64_t tile_length = int64_t{repeat_cols} * samples;
    const int64_t period = std::min(tile_length, row_length);
    const int64_t start = int64_t{first_col} * samples;
    const int64_t head = std::min(tile_length - start, period);
    std::memcpy(row, tile_row + start, static_cast<size_t>(head) * sizeof(float));
    std::memcpy(row + head, tile_row, static_cast<size_t>(period - head) * sizeof(float));
    repeat_prefix(row, period, row_length);
}

struct GeneralLayout {
    int32_t height, width, samples;
    int32_t top, left;  // whole-image row and column of the first element
    const float* black_levels;
    int32_t repeat_rows, repeat_cols;
    const float* delta_h;  // null when not in force
    int32_t delta_h_count;
    const float* delta_v;  // null when not in force
    int32_t delta_v_count;
    const float* white_levels;
    int32_t white_count;
    const uint16_t* table;  // null when not in force
    int32_t table_size;
};

// Tile rows kept expanded for the whole call; taller tiles are expanded row by row.
constexpr int32_t kCachedTileRows = 8;

template <typename In>
LumraStatus normalize_general(const In* src, float* dst, const GeneralLayout& g) {
    const int64_t row_length = int64_t{g.width} * g.samples;
    const bool tile_cached = g.repeat_rows <= kCachedTileRows;
    const int64_t tile_rows = tile_cached ? g.repeat_rows : 1;
    // A 16-bit source reads the table through its float widening; a float
    // source converts its table index row by row into a linear row.
    constexpr bool kWideTable = sizeof(In) == 2;
    const int64_t rows_needed = 2 + tile_rows + (g.table && !kWideTable ? 1 : 0);
    const int64_t wide_entries = g.table && kWideTable ? std::min(g.table_size, 65536) : 0;
    if (row_length > static_cast<int64_t>(SIZE_MAX / sizeof(float) / static_cast<uint64_t>(rows_needed + 1)))
        return LUMRA_ERR_INVALID_ARGUMENT;
    float* scratch =
        static_cast<float*>(std::malloc(static_cast<size_t>(row_length * rows_needed + wide_entries) * sizeof(float)));
    if (scratch == nullptr) return LUMRA_ERR_INVALID_ARGUMENT;
    float* delta_h_row = scratch;
    float* white_row = delta_h_row + row_length;
    float* tile_block = white_row + row_length;
    float* linear_row = tile_block + tile_rows * row_length;  // float sources with a table
    float* wide_table = tile_block + tile_rows * row_length;  // 16-bit sources with a table

    // Per-element column deltas (zeros when absent) and white levels, once per call.
    for (int64_t c = 0; c < g.width; ++c) {
        const float delta = g.delta_h ? g.delta_h[(g.left + c) % g.delta_h_count] : 0.0f;
        for (int32_t k = 0; k < g.samples; ++k) delta_h_row[c * g.samples + k] = delta;
    }
    for (int32_t k = 0; k < g.samples && k < row_length; ++k) white_row[k] = g.white_levels[k % g.white_count];
    repeat_prefix(white_row, g.samples, row_length);
    const int64_t tile_row_length = int64_t{g.repeat_cols} * g.samples;
    const int32_t first_col = g.left % g.repeat_cols;
    for (int64_t t = 0; t < tile_rows; ++t)
        expand_tile_row(tile_block + t * row_length, g.black_levels + t * tile_row_length, g.repeat_cols, first_col,
                        row_length, g.samples);

    const int32_t table_last = g.table ? g.table_size - 1 : 0;
    for (int64_t v = 0; v < wide_entries; ++v) wide_table[v] = static_cast<float>(g.table[v]);
    for (int64_t r = 0; r < g.height; ++r) {
        const int64_t whole_r = g.top + r;
        const int64_t tile_r = whole_r % g.repeat_rows;
        const float* tile_row = tile_block + (tile_cached ? tile_r * row_length : 0);
        if (!tile_cached)
            expand_tile_row(tile_block, g.black_levels + tile_r * tile_row_length, g.repeat_cols, first_col,
                            row_length, g.samples);
        const float delta_v = g.delta_v ? g.delta_v[whole_r % g.delta_v_count] : 0.0f;
        const In* x = src + r * row_length;
        float* out = dst + r * row_length;
        if constexpr (kWideTable) {
            if (g.table) {
                normalize_row_general(Tabled{x, wide_table, static_cast<uint16_t>(wide_entries - 1)}, out, row_length,
                                      tile_row, delta_v, delta_h_row, white_row);
                continue;
            }
        } else {
            if (g.table) {
                for (int64_t i = 0; i < row_length; ++i)
                    linear_row[i] = static_cast<float>(g.table[table_index(x[i], table_last)]);
                normalize_row_general(Direct<float>{linear_row}, out, row_length, tile_row, delta_v, delta_h_row,
                                      white_row);
                continue;
            }
        }
        normalize_row_general(Direct<In>{x}, out, row_length, tile_row, delta_v, delta_h_row, white_row);
    }
    std::free(scratch);
    return LUMRA_OK;
}

}  // namespace

LumraStatus normalize_raw_dispatch(const void* src, int32_t src_dtype, float* dst, int32_t height, int32_t width,
                                   int32_t top, int32_t left, int32_t samples_per_pixel, const float* black_levels,
                                   int32_t black_repeat_rows, int32_t black_repeat_cols, const float* black_delta_h,
                                   int32_t black_delta_h_count, const float* black_delta_v, int32_t black_delta_v_count,
                                   const float* white_levels, int32_t white_level_count,
                                   const uint16_t* linearization_table,
                                   int32_t linearization_table_size) noexcept {
    if (src_dtype != LUMRA_DTYPE_UINT16 && src_dtype != LUMRA_DTYPE_FLOAT32) return LUMRA_ERR_UNSUPPORTED;
    if (height <= 0 || width <= 0) return LUMRA_OK;

    const bool delta_h_on = black_delta_h != nullptr && black_delta_h_count >= 1;
    const bool delta_v_on = black_delta_v != nullptr && black_delta_v_count >= 1;
    const bool table_on = linearization_table != nullptr && linearization_table_size >= 1;

    if (!delta_h_on && !delta_v_on && !table_on) {
        const TileLayout tile{height,
                              width,
                              samples_per_pixel,
                              top,
                              left,
                              black_levels,
                              black_repeat_rows,
                              black_repeat_cols,
                              white_levels,
                              white_level_count};
        if (normalize_tile_reciprocal(src, src_dtype, dst, tile)) return LUMRA_OK;
    }

    const GeneralLayout layout{height,
                               width,
                               samples_per_pixel,
                               top,
                               left,
                               black_levels,
                               black_repeat_rows,
                               black_repeat_cols,
                               delta_h_on ? black_delta_h : nullptr,
                               black_delta_h_count,
                               delta_v_on ? black_delta_v : nullptr,
                               black_delta_v_count,
                               white_levels,
                               white_level_count,
                               table_on ? linearization_table : nullptr,
                               linearization_table_size};
    if (src_dtype == LUMRA_DTYPE_UINT16) return normalize_general(static_cast<const uint16_t*>(src), dst, layout);
    return normalize_general(static_cast<const float*>(src), dst, layout);
}

}  // namespace lumra
