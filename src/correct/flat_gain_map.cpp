// The flat-field gain map: a map_rows x map_cols grid stretched over a whole
// one-channel image, in single precision, with no clamping. Map sample k sits
// at image row k * height / map_rows, so the last interval extrapolates from
// the map's last two rows (columns likewise).
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "correct/correct_kernels.h"

namespace lumra {
namespace {

// Position of pixel `index` on a map of `samples` points over `extent` pixels.
template <typename Product>
inline float map_position(Product index, Product samples, float inv_extent) {
    return static_cast<float>(index * samples) * inv_extent;
}

// The interval a position falls in, held at samples - 2 so that the last
// interval extrapolates. The comparison is made before converting, so no
// position converts out of range.
inline int64_t interval_of(float position, int samples) {
    const float whole = std::trunc(position);
    if (static_cast<double>(whole) >= static_cast<double>(samples - 1)) return samples - 2;
    return static_cast<int64_t>(whole);
}

struct Corners {
    float upper_left, upper_right, lower_left, lower_right;
};


// upper and lower - upper for columns [begin, end) of interval `interval`,
// stored from `upper` and `lower_minus_upper` on.
template <typename Product>
void interval_terms(float* upper, float* lower_minus_upper, Product begin, Product end, Product map_cols,
                    float inv_width, int64_t interval, const Corners& m) {
    const float left = static_cast<float>(interval);
    for (Product c = begin; c < end; ++c) {
        const float fx = map_position(c, map_cols, inv_width) - left;
        const float top = m.upper_left * (1.0f - fx) + m.upper_right * fx;
        upper[c - begin] = top;
        lower_minus_upper[c - begin] = (m.lower_left * (1.0f - fx) - top) + m.lower_right * fx;
    }
}

// The terms of columns [begin, end) of a `width`-column image between map
// rows `upper_row` and `lower_row`, stored from `upper` and
// `lower_minus_upper` on. Each column's terms depend on its own position only.
void column_terms(float* upper, float* lower_minus_upper, uint64_t begin, uint64_t end_col, uint64_t width,
                  const float* upper_row, const float* lower_row, int map_cols, float inv_width,
                  bool narrow_columns) {
    const uint64_t cols = static_cast<uint64_t>(map_cols);
    // Columns come in runs that share one map interval (positions never fall
    // along a row); each run reads the map once.
    uint64_t c = begin;
    while (c < end_col) {
        const int64_t x0 = interval_of(map_position(c, cols, inv_width), map_cols);
        uint64_t end = width;
        if (x0 < map_cols - 2) {
            // First column at or past the next map sample: estimate, then settle.
            const double next = static_cast<double>(x0 + 1);
            const auto reaches = [&](uint64_t column) {
                return static_cast<double>(map_position(column, cols, inv_width)) >= next;
            };
            const double estimate = std::ceil(next * static_cast<double>(width) / static_cast<double>(cols));
            end = estimate >= static_cast<double>(width) ? width : static_cast<uint64_t>(estimate);
            if (end <= c) end = c + 1;
            while (end > c + 1 && reaches(end - 1)) --end;
            while (end < width && !reaches(end)) ++end;
        }
        end = std::min(end, end_col);
        const Corners corners{upper_row[x0], upper_row[x0 + 1], lower_row[x0], lower_row[x0 + 1]};
        float* u = upper + (c - begin);
        float* d = lower_minus_upper + (c - begin);
        if (narrow_columns)
            interval_terms<int32_t>(u, d, static_cast<int32_t>(c), static_cast<int32_t>(end), map_cols, inv_width,
                                    x0, corners);
        else
            interval_terms<uint64_t>(u, d, c, end, cols, inv_width, x0, corners);
        c = end;
    }
}

}  // namespace

// Rows between the same two map rows share the terms upper and lower - upper
// of every column and differ only in fy, so a row of terms is computed once
// per pair of map rows, and each pixel then costs one multiply-add and a
// multiply while the rows stream through memory as a copy does.
LumraStatus apply_flat_gain_map_impl(float* data, const PartOfWhole& part, const float* gains, int map_rows,
                                     int map_cols) noexcept {
    if (part.height == 0 || part.width == 0) return LUMRA_OK;
    const uint64_t width = part.full_width;
    const float inv_height = 1.0f / static_cast<float>(part.full_height);
    const float inv_width = 1.0f / static_cast<float>(width);
    const uint64_t cols = static_cast<uint64_t>(map_cols);
    // Column products that fit in 32 bits take the loop that vectorises.
    const bool narrow_columns = (width - 1) <= static_cast<uint64_t>(INT32_MAX) / cols;
    const uint64_t columns = part.width;
    if (columns > SIZE_MAX / (2 * sizeof(float))) return LUMRA_ERR_INVALID_ARGUMENT;
    float* terms = static_cast<float*>(std::malloc(2 * columns * sizeof(float)));
    if (!terms) return LUMRA_ERR_INVALID_ARGUMENT;
    float* upper = terms;
    float* lower_minus_upper = terms + columns;
    int64_t terms_row = -1;  // the map row pair the terms were computed for
    for (uint64_t r = part.top; r < part.top + part.height; ++r) {
        const float y = map_position<uint64_t>(r, static_cast<uint64_t>(map_rows), inv_height);
        const int64_t y0 = interval_of(y, map_rows);
        const float fy = y - static_cast<float>(y0);
        if (y0 != terms_row) {
            const float* upper_row = gains + static_cast<uint64_t>(y0) * cols;
            column_terms(upper, lower_minus_upper, part.left, part.left + columns, width, upper_row,
                         upper_row + cols, map_cols, inv_width, narrow_columns);
            terms_row = y0;
        }
        float* row = data + (r - part.top) * columns;
        for (uint64_t c = 0; c < columns; ++c) row[c] *= upper[c] + fy * lower_minus_upper[c];
    }
    std::free(terms);
    return LUMRA_OK;
}

}  // namespace lumra
