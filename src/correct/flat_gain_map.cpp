// The flat-field gain map: a map_rows x map_cols grid stretched over a whole
// one-channel image, in single precision, with no clamping. Map sample k sits
// at image row k * height / map_rows, so the last interval extrapolates from
// the map's last two rows (columns likewise).
#include <cmath>

#include "correct_kernels.h"

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

inline float flat_gain(const Corners& m, float fx, float fy) {
    const float upper = m.upper_left * (1.0f - fx) + m.upper_right * fx;
    const float lower_minus_upper = (m.lower_left * (1.0f - fx) - upper) + m.lower_right * fx;
    return upper + fy * lower_minus_upper;
}

// Scales columns [begin, end) of one row, all inside map interval `interval`.
template <typename Product>
void scale_interval(float* row, Product begin, Product end, Product map_cols, float inv_width, int64_t interval,
                    const Corners& corners, float fy) {
    const float left = static_cast<float>(interval);
    for (Product c = begin; c < end; ++c) {
        const float fx = map_position(c, map_cols, inv_width) - left;
        row[c] *= flat_gain(corners, fx, fy);
    }
}

}  // namespace

void apply_flat_gain_map_impl(float* data, uint64_t height, uint64_t width, const float* gains, int map_rows,
                              int map_cols) noexcept {
    const float inv_height = 1.0f / static_cast<float>(height);
    const float inv_width = 1.0f / static_cast<float>(width);
    const uint64_t cols = static_cast<uint64_t>(map_cols);
    // Column products that fit in 32 bits take the loop that vectorises.
    const bool narrow_columns = (width - 1) <= static_cast<uint64_t>(INT32_MAX) / cols;
    for (uint64_t r = 0; r < height; ++r) {
        const float y = map_position<uint64_t>(r, static_cast<uint64_t>(map_rows), inv_height);
        const int64_t y0 = interval_of(y, map_rows);
        const float fy = y - static_cast<float>(y0);
        const float* upper = gains + static_cast<uint64_t>(y0) * cols;
        const float* lower = upper + cols;
        float* row = data + r * width;
        // Columns come in runs that share one map interval (positions never
        // fall along a row); each run reads the map once.
        uint64_t c = 0;
        while (c < width) {
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
            const Corners corners{upper[x0], upper[x0 + 1], lower[x0], lower[x0 + 1]};
            if (narrow_columns)
                scale_interval<int32_t>(row, static_cast<int32_t>(c), static_cast<int32_t>(end), map_cols, inv_width,
                                        x0, corners, fy);
            else
                scale_interval<uint64_t>(row, c, end, cols, inv_width, x0, corners, fy);
            c = end;
        }
    }
}

}  // namespace lumra
