// The gain map: a grid of gains placed over the image in relative
// coordinates, applied to a trimmed area, a channel range and a lattice of
// pitches. Along a row the gain is linear inside one grid cell, so each row is
// walked cell by cell: the grid is read only where a column enters a new
// cell, and every pixel in between costs one multiply-add.
#include <algorithm>
#include <cmath>
#include <limits>

#include "correct/correct_common.h"
#include "correct/correct_kernels.h"
#include "simd/isa.h"

namespace lumra {
namespace {

// A single-precision column counter stops growing at 2^24 (2^24 + 1 rounds
// back to 2^24), so counts from there on all read as 2^24.
constexpr uint64_t kCounterLimit = uint64_t{1} << 24;

// Channels walked together along a row; their cells change at the same
// columns because the cell boundaries depend only on the column.
constexpr int kGroup = 4;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The two grid rows a pixel row blends and its fraction between them.
struct RowBlend {
    const float* upper;
    const float* lower;
    float fraction;
};

// The walk's state for one cell: the gain at the column where it was built,
// the gain change per column, and the first column whose gain needs the grid
// again (a NaN or a value not above the next column means the very next one).
struct Cell {
    float start[kGroup];
    float slope[kGroup];
    double boundary;
};

class GainGrid {
  public:
    GainGrid(const float* gains, uint64_t height, uint64_t width, uint64_t points_v, uint64_t points_h,
             uint64_t planes, double spacing_v, double spacing_h, double origin_v, double origin_h)
        : gains_(gains), points_v_(points_v), points_h_(points_h), planes_(planes),
          inv_height_(1.0 / static_cast<double>(height)), inv_width_(1.0 / static_cast<double>(width)),
          width_(static_cast<double>(width)), inv_spacing_v_(1.0 / spacing_v), inv_spacing_h_(1.0 / spacing_h),
          spacing_h_(spacing_h), origin_v_(origin_v), origin_h_(origin_h) {}

    RowBlend row_blend(uint64_t row) const {
        const double v = ((static_cast<double>(row) + 0.5) * inv_height_ - origin_v_) * inv_spacing_v_;
        uint64_t upper = 0, lower = 0;
        float fraction = 0.0f;
        if (!(v > 0.0)) {
            // above the first grid row, or NaN: row 0
        } else if (v >= static_cast<double>(points_v_ - 1)) {
            upper = lower = points_v_ - 1;
        } else {
            upper = static_cast<uint64_t>(std::floor(v));
            lower = upper + 1;
            fraction = static_cast<float>(v - static_cast<double>(upper));
        }
        const uint64_t row_stride = points_h_ * planes_;
        return {gains_ + upper * row_stride, gains_ + lower * row_stride, fraction};
    }

    // The grid position of a column.
    double position(uint64_t column) const {
        return ((static_cast<double>(column) + 0.5) * inv_width_ - origin_h_) * inv_spacing_h_;
    }

    // Where the cell of a column at grid position u ends; it depends on the
    // column alone, so every row rebuilds its cells at the same columns.
    double boundary(double u) const {
        if (!(u > 0.0)) return left_boundary();
        if (u >= static_cast<double>(points_h_ - 1)) return right_boundary();
        return cell_boundary(std::floor(u));
    }

    // The walk's state at `column` for the map planes of `count` channels.
    Cell cell_at(uint64_t column, const RowBlend& blend, const uint64_t* map_plane, int count) const {
        Cell cell{};
        const double u = position(column);
        if (!(u > 0.0)) {
            for (int i = 0; i < count; ++i) cell.start[i] = blended(blend, 0, map_plane[i]);
            cell.boundary = left_boundary();
        } else if (u >= static_cast<double>(points_h_ - 1)) {
            for (int i = 0; i < count; ++i) cell.start[i] = blended(blend, points_h_ - 1, map_plane[i]);
            cell.boundary = right_boundary();
        } else {
            const double left_point = std::floor(u);
            const uint64_t j0 = static_cast<uint64_t>(left_point);
            const double offset = u - left_point;
            for (int i = 0; i < count; ++i) {
                const double a0 = blended(blend, j0, map_plane[i]);
                const double a1 = blended(blend, j0 + 1, map_plane[i]);
                cell.start[i] = static_cast<float>(a0 + offset * (a1 - a0));
                cell.slope[i] = static_cast<float>((a1 - a0) * inv_width_ * inv_spacing_h_);
            }
            cell.boundary = cell_boundary(left_point);
        }
        return cell;
    }

  private:
    // Left of grid column 0 the cell ends where u reaches 0.
    double left_boundary() const { return std::ceil(origin_h_ * width_ - 0.5); }
    // With a positive spacing u only grows along the row, so the gain stays
    // the last column's. Otherwise u falls again further right, and every
    // column is evaluated on its own.
    double right_boundary() const { return inv_spacing_h_ > 0.0 ? kInfinity : -kInfinity; }
    // The first column whose u reaches grid column left_point + 1.
    double cell_boundary(double left_point) const {
        return std::ceil(((left_point + 1.0) * spacing_h_ + origin_h_) * width_ - 0.5);
    }

    // The grid column j of a map plane, blended between the row pair.
    float blended(const RowBlend& blend, uint64_t j, uint64_t map_plane) const {
        const uint64_t at = j * planes_ + map_plane;
        const float upper = blend.upper[at];
        return upper + blend.fraction * (blend.lower[at] - upper);
    }

    const float* gains_;
    uint64_t points_v_, points_h_, planes_;
    double inv_height_, inv_width_, width_, inv_spacing_v_, inv_spacing_h_, spacing_h_, origin_v_, origin_h_;
};

// The first column after `built` at which the state is rebuilt, or `end`
// when that lies at or beyond it.
uint64_t next_rebuild(uint64_t built, double boundary, uint64_t end) {
    const uint64_t next = built + 1;
    if (!(static_cast<double>(next) < boundary)) return next;
    if (boundary >= static_cast<double>(end)) return end;
    return static_cast<uint64_t>(boundary);
}

// The first lattice point first + k * step (k >= 0) at or after `at`, or
// `end` when none lies before `end` (first < end).
uint64_t first_lattice_point(uint64_t first, uint64_t step, uint64_t at, uint64_t end) {
    if (at <= first) return first;
    const uint64_t distance = at - first;
    const uint64_t k = distance / step + (distance % step != 0 ? 1 : 0);
    if (k > (end - first - 1) / step) return end;
    return first + k * step;
}

LUMRA_SHARED_BODY float scaled(float sample, float slope, float start, float counter) {
    return limit_high_then_low(sample * (slope * counter + start), 0.0f, 1.0f);
}

// `count` consecutive pixels of C channels, all of them processed; `first`
// counts columns from where the cell was built. The counters stay below 2^24
// here, so they are exact in single precision and are kept as floats; four
// pixels are taken at a time so that the per-channel slopes line up with
// vector lanes.
template <int C>
LUMRA_SHARED_BODY void scale_packed(float* pixels, int32_t first, int32_t count, const Cell& cell) {
    constexpr int kPixels = 4, kLanes = kPixels * C;
    float slope[kLanes], start[kLanes], pixel_of[kLanes];
    for (int j = 0; j < kLanes; ++j) {
        slope[j] = cell.slope[j % C];
        start[j] = cell.start[j % C];
        pixel_of[j] = static_cast<float>(j / C);
    }
    const float first_counter = static_cast<float>(first);
    int32_t m = 0;
    for (; m + kPixels <= count; m += kPixels) {
        float* x = pixels + static_cast<int64_t>(m) * C;
        const float base = first_counter + static_cast<float>(m);
        for (int j = 0; j < kLanes; ++j) x[j] = scaled(x[j], slope[j], start[j], base + pixel_of[j]);
    }
    for (; m < count; ++m)
        for (int i = 0; i < C; ++i) {
            float& x = pixels[static_cast<int64_t>(m) * C + i];
            x = scaled(x, cell.slope[i], cell.start[i], static_cast<float>(first + m));
        }
}

// One channel at a fixed step (the mosaic's colour sites): only the chosen
// sites are read and written, so other sites may be worked on at the same time.
template <int Step>
LUMRA_SHARED_BODY void scale_sites(float* pixels, int32_t first, int32_t count, const Cell& cell) {
    const float slope = cell.slope[0], start = cell.start[0], first_counter = static_cast<float>(first);
    for (int32_t m = 0; m < count; ++m) {
        float& x = pixels[static_cast<int64_t>(m) * Step];
        x = scaled(x, slope, start, first_counter + static_cast<float>(m * Step));
    }
}

// Any lattice: pixel m of the run is `m * pixel_stride` elements on and
// `first + m * step` columns from where the cell was built.
LUMRA_SHARED_BODY void scale_strided(float* pixels, uint64_t first, uint64_t count, uint64_t step, uint64_t pixel_stride,
                   const Cell& cell, int channel_count) {
    for (uint64_t m = 0; m < count; ++m) {
        const uint64_t offset = first + m * step;
        const float counter = static_cast<float>(std::min(offset, kCounterLimit));
        float* x = pixels + m * pixel_stride;
        for (int i = 0; i < channel_count; ++i) x[i] = scaled(x[i], cell.slope[i], cell.start[i], counter);
    }
}

// Scales the processed pixels of one cell: `count` pixels from `pixels`,
// `first` columns after the column where the cell was built.
LUMRA_SHARED_BODY void scale_run(float* pixels, uint64_t first, uint64_t count, uint64_t step, int channels,
                                 int channel_count, const Cell& cell) {
    const bool exact_counters = first + count * step <= kCounterLimit;
    const bool packed = exact_counters && step == 1 && channel_count == channels;
    const auto first32 = static_cast<int32_t>(first);
    const auto count32 = static_cast<int32_t>(count);
    if (packed && channels == 3)
        scale_packed<3>(pixels, first32, count32, cell);
    else if (packed && channels == 1)
        scale_packed<1>(pixels, first32, count32, cell);
    else if (exact_counters && step == 2 && channels == 1)
        scale_sites<2>(pixels, first32, count32, cell);
    else
        scale_strided(pixels, first, count, step, step * static_cast<uint64_t>(channels), cell, channel_count);
}

using ScaleRun = void (*)(float* pixels, uint64_t first, uint64_t count, uint64_t step, int channels,
                         int channel_count, const Cell& cell);

void scale_run_baseline(float* pixels, uint64_t first, uint64_t count, uint64_t step, int channels,
                        int channel_count, const Cell& cell) {
    scale_run(pixels, first, count, step, channels, channel_count, cell);
}

#if LUMRA_SIMD_X86
LUMRA_TARGET_AVX2 void scale_run_avx2(float* pixels, uint64_t first, uint64_t count, uint64_t step, int channels,
                                      int channel_count, const Cell& cell) {
    scale_run(pixels, first, count, step, channels, channel_count, cell);
}
#endif

// The widest cell loop the processor runs, chosen once per call.
ScaleRun widest_scale_run() {
#if LUMRA_SIMD_X86
    if (simd::runs(simd::Level::avx2)) return scale_run_avx2;
#endif
    return scale_run_baseline;
}

}  // namespace

void apply_gain_map_impl(float* data, const PartOfWhole& part, int channels, const float* gains,
                         uint64_t map_points_v, uint64_t map_points_h, uint64_t map_planes, int top, int left,
                         int bottom, int right, int plane, int planes, int row_pitch, int col_pitch,
                         double map_spacing_v, double map_spacing_h, double map_origin_v,
                         double map_origin_h) noexcept {
    const uint64_t height = part.full_height, width = part.full_width;
    const uint64_t first_row = top > 0 ? static_cast<uint64_t>(top) : 0;
    const uint64_t first_col = left > 0 ? static_cast<uint64_t>(left) : 0;
    const uint64_t end_row = bottom <= 0 ? height : std::min(static_cast<uint64_t>(bottom), height);
    const uint64_t end_col = right <= 0 ? width : std::min(static_cast<uint64_t>(right), width);
    if (first_row >= end_row || end_col <= first_col) return;
    const uint64_t area_width = end_col - first_col;
    // A negative column pitch reads as a huge unsigned step: the first column only.
    const uint64_t step = std::min<uint64_t>(static_cast<uint32_t>(col_pitch), area_width);
    const int64_t plane_end = std::min<int64_t>(int64_t{plane} + planes, channels);
    if (plane_end <= plane) return;
    const uint64_t row_step = static_cast<uint64_t>(row_pitch);
    // The area's lattice rows and columns that lie in the part.
    const uint64_t part_end_row = std::min(end_row, part.top + part.height);
    const uint64_t part_end_col = std::min(end_col, part.left + part.width);
    const uint64_t part_first_row = first_lattice_point(first_row, row_step, part.top, end_row);
    const uint64_t part_first_col = first_lattice_point(first_col, step, part.left, end_col);
    if (part_first_row >= part_end_row || part_first_col >= part_end_col) return;

    const GainGrid grid(gains, height, width, map_points_v, map_points_h, map_planes, map_spacing_v, map_spacing_h,
                        map_origin_v, map_origin_h);
    // The column where the whole row's walk builds the cell of the part's
    // first processed column: the walk rebuilds at the same columns in every row.
    uint64_t part_built = first_col;
    while (true) {
        const uint64_t next = next_rebuild(part_built, grid.boundary(grid.position(part_built)), end_col);
        if (next > part_first_col) break;
        part_built = next;
    }
    const uint64_t pixel_stride = static_cast<uint64_t>(channels);
    const ScaleRun scale_cells = widest_scale_run();
    for (uint64_t row = part_first_row; row < part_end_row; row += row_step) {
        const RowBlend blend = grid.row_blend(row);
        float* row_pixels = data + (row - part.top) * part.width * pixel_stride;
        for (int64_t group = plane; group < plane_end; group += kGroup) {
            const int count = static_cast<int>(std::min<int64_t>(kGroup, plane_end - group));
            uint64_t map_plane[kGroup];
            for (int i = 0; i < count; ++i)
                map_plane[i] = std::min(static_cast<uint64_t>(group + i), map_planes - 1);
            // `built` is the column where the current cell state was set up,
            // `column` the next processed column.
            uint64_t built = part_built, column = part_first_col;
            Cell cell = grid.cell_at(built, blend, map_plane, count);
            while (true) {
                const uint64_t cell_end = next_rebuild(built, cell.boundary, part_end_col);
                if (column < cell_end) {
                    const uint64_t run = (cell_end - 1 - column) / step + 1;
                    float* pixels = row_pixels + (column - part.left) * pixel_stride + static_cast<uint64_t>(group);
                    scale_cells(pixels, column - built, run, step, channels, count, cell);
                    if (part_end_col - column <= run * step) break;
                    column += run * step;
                }
                built = cell_end;
                cell = grid.cell_at(built, blend, map_plane, count);
            }
        }
        if (part_end_row - row <= row_step) break;
    }
}

}  // namespace lumra
