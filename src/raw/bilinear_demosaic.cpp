// Bilinear demosaic of a 2 x 2 colour-filter mosaic. Each output channel of a
// site is one of five values: the site's own sample S, the axial mean A, the
// diagonal mean D, the horizontal mean H or the vertical mean V (or 0). Which
// one depends only on the site's colour and the pattern, so it is resolved once
// per row parity into a plan; the interior then runs without bounds tests and
// the border, where neighbours drop out, takes the plain per-pixel rules.
//
// The kernel runs on a part of the image (the whole image, a band or a tile):
// colours and borders follow whole-image rows and columns, and the pixels read
// come from a source window around the part, so a part's output is the whole
// image's output there. Which path (border, one pixel or a block) computes a
// pixel never changes its bits: all give the same single-precision sums.
#include <cstring>
#include <initializer_list>

#include "raw/lanes.h"
#include "raw/raw_kernels.h"

namespace lumra {
namespace {

enum Source : uint8_t { kOwn, kAxial, kDiagonal, kHorizontal, kVertical, kZero, kSourceCount };

// plan[column parity][channel] for one row parity.
struct RowPlan {
    uint8_t source[2][3];
};

int32_t colour_at(const int32_t* pattern, uint64_t r, uint64_t c) { return pattern[(r & 1) * 2 + (c & 1)]; }

// The plan of a whole-image row parity for the part's columns: entry p is for
// the part's columns of parity p, whose whole-image parity is p ^ column_shift.
RowPlan make_plan(const int32_t* pattern, uint64_t row_parity, uint64_t column_shift, uint64_t full_width) {
    RowPlan plan{};
    for (uint64_t p = 0; p < 2; ++p) {
        uint8_t* s = plan.source[p];
        const uint64_t column_parity = p ^ column_shift;
        const int32_t own = colour_at(pattern, row_parity, column_parity);
        if (own == 1) {
            const int32_t horizontal = colour_at(pattern, row_parity, column_parity ^ 1);
            const int32_t vertical = colour_at(pattern, row_parity ^ 1, column_parity);
            s[1] = kOwn;
            for (int32_t colour : {0, 2}) {
                if (full_width >= 2 && horizontal == colour)
                    s[colour] = kHorizontal;
                else if (vertical == colour)
                    s[colour] = kVertical;
                else
                    s[colour] = kZero;
            }
        } else {
            s[own] = kOwn;
            s[1] = kAxial;
            s[2 - own] = kDiagonal;
        }
    }
    return plan;
}

// A mean of the values that exist, summed in the order given; 0 when none does.
struct Mean {
    float sum = 0.0f;
    int count = 0;
    void add(float value) {
        sum = count == 0 ? value : sum + value;
        ++count;
    }
    float value() const { return count == 0 ? 0.0f : sum / static_cast<float>(count); }
};

// The source rows around one row of the part: `mid` is the source of the
// part's column 0, rows are `stride` floats apart.
struct Neighbourhood {
    const float* mid;
    int64_t stride;
    uint64_t full_height, full_width;
};

// Any pixel, with every neighbour tested against the whole image's bounds:
// whole-image row r, column c, the part's column j.
void border_pixel(const Neighbourhood& n, float* out, uint64_t r, uint64_t c, int64_t j, const RowPlan& plan) {
    const bool has_up = r > 0, has_down = r + 1 < n.full_height, has_left = c > 0, has_right = c + 1 < n.full_width;
    // at(dr, dc) is read only where the neighbour exists, and the window holds it.
    const auto at = [&](int dr, int dc) { return n.mid[dr * n.stride + j + dc]; };
    float values[kSourceCount] = {};
    values[kOwn] = at(0, 0);
    Mean axial, diagonal, horizontal, vertical;
    if (has_up) axial.add(at(-1, 0));
    if (has_down) axial.add(at(1, 0));
    if (has_left) axial.add(at(0, -1));
    if (has_right) axial.add(at(0, 1));
    if (has_up && has_left) diagonal.add(at(-1, -1));
    if (has_up && has_right) diagonal.add(at(-1, 1));
    if (has_down && has_left) diagonal.add(at(1, -1));
    if (has_down && has_right) diagonal.add(at(1, 1));
    if (has_left) horizontal.add(at(0, -1));
    if (has_right) horizontal.add(at(0, 1));
    if (has_up) vertical.add(at(-1, 0));
    if (has_down) vertical.add(at(1, 0));
    values[kAxial] = axial.value();
    values[kDiagonal] = diagonal.value();
    values[kHorizontal] = horizontal.value();
    values[kVertical] = vertical.value();
    const uint8_t* s = plan.source[j & 1];
    for (int k = 0; k < 3; ++k) out[k] = values[s[k]];
}

// An interior pixel: all eight neighbours exist, so the means divide by 4 and
// 2, which the products with 0.25 and 0.5 reproduce exactly.
inline void interior_pixel(const float* up, const float* mid, const float* down, int64_t c, const uint8_t* s,
                           float* out) {
    float values[kSourceCount];
    const float vertical_sum = up[c] + down[c];
    values[kOwn] = mid[c];
    values[kAxial] = ((vertical_sum + mid[c - 1]) + mid[c + 1]) * 0.25f;
    values[kDiagonal] = (((up[c - 1] + up[c + 1]) + down[c - 1]) + down[c + 1]) * 0.25f;
    values[kHorizontal] = (mid[c - 1] + mid[c + 1]) * 0.5f;
    values[kVertical] = vertical_sum * 0.5f;
    values[kZero] = 0.0f;
    for (int k = 0; k < 3; ++k) out[k] = values[s[k]];
}

#if LUMRA_SIMD_X86

// The sources of the block lanes: lanes 0 and 2 hold columns of one parity,
// lanes 1 and 3 of the other. Plain ints, so they stay in registers while the
// stores to the destination go on.
struct LaneSources {
    int first_lanes[3];
    int second_lanes[3];
    int first(int k) const { return first_lanes[k]; }
    int second(int k) const { return second_lanes[k]; }
    bool operator==(const LaneSources&) const = default;
};

template <int F0, int F1, int F2, int S0, int S1, int S2>
struct FixedSources {
    static constexpr int kFirst[3] = {F0, F1, F2}, kSecond[3] = {S0, S1, S2};
    static constexpr LaneSources kAsRuntime{{F0, F1, F2}, {S0, S1, S2}};
    constexpr int first(int k) const { return kFirst[k]; }
    constexpr int second(int k) const { return kSecond[k]; }
};

template <typename Pick>
void interior_blocks(const float* up, const float* mid, const float* down, int64_t& c, int64_t end,
                     const Pick& sources, float* out) {
    for (; c + 4 <= end; c += 4) interior_block(up, mid, down, c, sources, out + c * 3);
}

// Runs the blocks with compile-time sources when they match `Fixed`.
template <typename Fixed>
bool try_fixed(const LaneSources& sources, const float* up, const float* mid, const float* down, int64_t& c,
               int64_t end, float* out) {
    if (!(sources == Fixed::kAsRuntime)) return false;
    interior_blocks(up, mid, down, c, end, Fixed{}, out);
    return true;
}

// Lanes 0 and 2 from a, lanes 1 and 3 from b.
inline __m128 alternate(__m128 a, __m128 b) {
    const __m128 even = _mm_castsi128_ps(_mm_set_epi32(0, -1, 0, -1));
    return _mm_or_ps(_mm_and_ps(even, a), _mm_andnot_ps(even, b));
}

// Four interior pixels from column c; `out` is pixel c's output. `Pick`
// yields the lane sources: fixed at compile time for the rows of Bayer
// layouts, read from a LaneSources otherwise.
template <typename Pick>
inline void interior_block(const float* up, const float* mid, const float* down, int64_t c, const Pick& sources,
                           float* out) {
    const __m128 left = _mm_loadu_ps(mid + c - 1), right = _mm_loadu_ps(mid + c + 1);
    const __m128 vertical_sum = _mm_add_ps(_mm_loadu_ps(up + c), _mm_loadu_ps(down + c));
    __m128 values[kSourceCount];
    values[kZero] = _mm_setzero_ps();
    values[kOwn] = _mm_loadu_ps(mid + c);
    values[kAxial] = _mm_mul_ps(_mm_add_ps(_mm_add_ps(vertical_sum, left), right), _mm_set1_ps(0.25f));
    const __m128 diagonal_sum = _mm_add_ps(
        _mm_add_ps(_mm_add_ps(_mm_loadu_ps(up + c - 1), _mm_loadu_ps(up + c + 1)), _mm_loadu_ps(down + c - 1)),
        _mm_loadu_ps(down + c + 1));
    values[kDiagonal] = _mm_mul_ps(diagonal_sum, _mm_set1_ps(0.25f));
    values[kHorizontal] = _mm_mul_ps(_mm_add_ps(left, right), _mm_set1_ps(0.5f));
    values[kVertical] = _mm_mul_ps(vertical_sum, _mm_set1_ps(0.5f));
    const __m128 x = alternate(values[sources.first(0)], values[sources.second(0)]);
    const __m128 y = alternate(values[sources.first(1)], values[sources.second(1)]);
    const __m128 z = alternate(values[sources.first(2)], values[sources.second(2)]);
    // Planar x, y, z to interleaved x0 y0 z0 x1 | y1 z1 x2 y2 | z2 x3 y3 z3.
    const __m128 xy_low = _mm_unpacklo_ps(x, y), xy_high = _mm_unpackhi_ps(x, y);
    const __m128 z0x1 = _mm_shuffle_ps(z, x, _MM_SHUFFLE(1, 1, 0, 0));
    const __m128 yz_low = _mm_unpacklo_ps(y, z), yz_high = _mm_unpackhi_ps(y, z);
    const __m128 z2x3 = _mm_shuffle_ps(z, x, _MM_SHUFFLE(3, 3, 2, 2));
    _mm_storeu_ps(out, _mm_shuffle_ps(xy_low, z0x1, _MM_SHUFFLE(2, 0, 1, 0)));
    _mm_storeu_ps(out + 4, _mm_shuffle_ps(yz_low, xy_high, _MM_SHUFFLE(1, 0, 3, 2)));
    _mm_storeu_ps(out + 8, _mm_shuffle_ps(z2x3, yz_high, _MM_SHUFFLE(3, 2, 2, 0)));
}

#endif

struct Rows {
    const float* up;
    const float* mid;
    const float* down;
    float* out;  // output of the part's column 0
};

// Interior pixels of one row: the part's columns [begin, end), whose eight
// neighbours all exist.
void interior_row(const Rows& row, int64_t begin, int64_t end, const RowPlan& plan) {
    int64_t c = begin;
#if LUMRA_SIMD_X86
    // Blocks start where pixel output lands on 16 bytes (within four pixels
    // when the buffer holds aligned floats), so fewer stores straddle cache
    // lines; the pixels before go one by one.
    const auto aligned = [&](int64_t column) { return reinterpret_cast<uintptr_t>(row.out + column * 3) % 16 == 0; };
    int64_t first = begin;
    while (first < begin + 4 && first < end && !aligned(first)) ++first;
    if (first == begin + 4) first = begin;
    for (; c < first && c < end; ++c)
        interior_pixel(row.up, row.mid, row.down, c, plan.source[c & 1], row.out + c * 3);
    LaneSources sources;
    for (int k = 0; k < 3; ++k) {
        sources.first_lanes[k] = plan.source[first & 1][k];
        sources.second_lanes[k] = plan.source[(first & 1) ^ 1][k];
    }
    // The two row kinds of the Bayer layouts, in either lane order.
    using ColourZeroRow = FixedSources<kOwn, kAxial, kDiagonal, kHorizontal, kOwn, kVertical>;
    using ColourZeroRowSwapped = FixedSources<kHorizontal, kOwn, kVertical, kOwn, kAxial, kDiagonal>;
    using ColourTwoRow = FixedSources<kVertical, kOwn, kHorizontal, kDiagonal, kAxial, kOwn>;
    using ColourTwoRowSwapped = FixedSources<kDiagonal, kAxial, kOwn, kVertical, kOwn, kHorizontal>;
    const bool fixed = try_fixed<ColourZeroRow>(sources, row.up, row.mid, row.down, c, end, row.out) ||
                       try_fixed<ColourZeroRowSwapped>(sources, row.up, row.mid, row.down, c, end, row.out) ||
                       try_fixed<ColourTwoRow>(sources, row.up, row.mid, row.down, c, end, row.out) ||
                       try_fixed<ColourTwoRowSwapped>(sources, row.up, row.mid, row.down, c, end, row.out);
    if (!fixed) interior_blocks(row.up, row.mid, row.down, c, end, sources, row.out);
#endif
    for (; c < end; ++c) interior_pixel(row.up, row.mid, row.down, c, plan.source[c & 1], row.out + c * 3);
}

}  // namespace

void bilinear_demosaic_kernel(const float* src, const PartPlace& window, float* dst, const PartPlace& part,
                              uint64_t full_height, uint64_t full_width, const int32_t* cfa_pattern) noexcept {
    // No pixels, nothing to do, however many empty rows the part claims.
    if (part.height == 0 || part.width == 0) return;
    const RowPlan plans[2] = {make_plan(cfa_pattern, part.top & 1, part.left & 1, full_width),
                              make_plan(cfa_pattern, (part.top & 1) ^ 1, part.left & 1, full_width)};
    const auto stride = static_cast<int64_t>(window.width);
    // The source of the part's first pixel; the window holds it and its neighbours.
    const float* origin = src + (part.top - window.top) * window.width + (part.left - window.left);
    const auto width = static_cast<int64_t>(part.width);
    // The part's columns whose whole-image column is neither the first nor the last.
    const int64_t begin = part.left == 0 ? 1 : 0;
    const int64_t end = part.left + part.width == full_width ? width - 1 : width;
    for (uint64_t i = 0; i < part.height; ++i) {
        const RowPlan& plan = plans[i & 1];
        const uint64_t r = part.top + i;
        const Neighbourhood n{origin + static_cast<int64_t>(i) * stride, stride, full_height, full_width};
        float* out = dst + i * part.width * 3;
        const bool interior = r > 0 && r + 1 < full_height && full_width >= 3;
        if (!interior) {
            for (int64_t j = 0; j < width; ++j) border_pixel(n, out + j * 3, r, part.left + j, j, plan);
            continue;
        }
        for (int64_t j = 0; j < begin; ++j) border_pixel(n, out + j * 3, r, part.left + j, j, plan);
        interior_row(Rows{n.mid - stride, n.mid, n.mid + stride, out}, begin, end, plan);
        for (int64_t j = end; j < width; ++j) border_pixel(n, out + j * 3, r, part.left + j, j, plan);
    }
}

}  // namespace lumra
