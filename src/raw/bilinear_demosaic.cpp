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

#include "raw/raw_kernels.h"
#include "simd/lanes.h"

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

// The candidate values of interior pixels (all eight neighbours exist, so
// the means divide by 4 and 2, which the products with 0.25 and 0.5
// reproduce exactly): of one pixel (V = float) or of one pixel per lane.
template <typename V>
inline void interior_values(const float* up, const float* mid, const float* down, int64_t c, V values[kSourceCount]) {
    const V left = load(mid + c - 1, V{}), right = load(mid + c + 1, V{});
    const V vertical_sum = load(up + c, V{}) + load(down + c, V{});
    values[kZero] = V(0.0f);
    values[kOwn] = load(mid + c, V{});
    values[kAxial] = ((vertical_sum + left) + right) * V(0.25f);
    const V diagonal_sum =
        ((load(up + c - 1, V{}) + load(up + c + 1, V{})) + load(down + c - 1, V{})) + load(down + c + 1, V{});
    values[kDiagonal] = diagonal_sum * V(0.25f);
    values[kHorizontal] = (left + right) * V(0.5f);
    values[kVertical] = vertical_sum * V(0.5f);
}

inline void interior_pixel(const float* up, const float* mid, const float* down, int64_t c, const uint8_t* s,
                           float* out) {
    float values[kSourceCount];
    interior_values(up, mid, down, c, values);
    for (int k = 0; k < 3; ++k) out[k] = values[s[k]];
}

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

// Four interior pixels from column c; `out` is pixel c's output. `Pick`
// yields the lane sources: fixed at compile time for the rows of Bayer
// layouts, read from a LaneSources otherwise.
template <typename Pick>
inline void interior_block(const float* up, const float* mid, const float* down, int64_t c, const Pick& sources,
                           float* out) {
    Lanes values[kSourceCount];
    interior_values(up, mid, down, c, values);
    const auto channel = [&](int k) { return alternate(values[sources.first(k)], values[sources.second(k)]); };
    store_rgb_floats(out, Rgb<Lanes>{channel(0), channel(1), channel(2)});
}

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
