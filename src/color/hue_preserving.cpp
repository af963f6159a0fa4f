// The hue-preserving tone path. The largest, middle and smallest channel are
// found without branches (maxima and minima), and the documented comparisons
// send each result back to its channel (lane masks, or selects on plain
// floats), so the lanes and the remainder agree bit for bit.
#include "color/hue_preserving.h"

#include <type_traits>

#include "color/transform_kernels.h"

namespace lumra {
namespace {

// The largest, middle and smallest of three channels limited to [0, 1]: no
// NaN and no -0 is left there (the lower limit turns both into +0), so each
// of the three is one definite value, and maxima and minima give exactly
// what the documented comparisons pick.
template <typename V>
struct Extremes {
    V hi, mid, lo;
};

template <typename V>
inline Extremes<V> extremes(V r, V g, V b) {
    const V low_rg = upper_limit(r, g), high_rg = lower_limit(r, g);
    return {lower_limit(high_rg, b), lower_limit(low_rg, upper_limit(high_rg, b)), upper_limit(low_rg, b)};
}

// The documented comparisons on channels already limited to [0, 1], which
// decide where each result goes back (ties included).
template <typename V>
struct ToneOrder {
    using Mask = decltype(greater(V{}, V{}));
    V r, g, b;
    Mask r_ge_g, g_gt_b, r_ge_b, g_lt_b;

    explicit ToneOrder(const Rgb<V>& unit)
        : r(unit.r), g(unit.g), b(unit.b), r_ge_g(greater_equal(r, g)), g_gt_b(greater(g, b)),
          r_ge_b(greater_equal(r, b)), g_lt_b(less(g, b)) {}

    // r >= g: (r, g, b) if g > b; else (r, b, g) if r >= b; else (b, r, g).
    // r < g:  (g, r, b) if r >= b; else (b, g, r) if g < b; else (g, b, r).
    // The middle channel keeps its proportion between the mapped largest and
    // smallest; each result goes back to the channel it came from.
    Rgb<V> place(V hi_out, V lo_out) const {
        const Extremes<V> e = extremes(r, g, b);
        // The case (r, b, g) with g = b skips the correction as well.
        const auto tied_case = both(both(r_ge_g, negate(g_gt_b)), both(r_ge_b, negate(g_lt_b)));
        const V range = e.hi - e.lo;
        const auto spread = both(greater(range, V(1e-10f)), negate(tied_case));
        const V divisor = select(spread, range, V(1.0f));  // never divide by a range that is not used
        const V mid_out = select(spread, lo_out + (e.mid - e.lo) * (hi_out - lo_out) / divisor, lo_out);

        const V r_out = select(r_ge_g, select(g_gt_b, hi_out, select(r_ge_b, hi_out, mid_out)),
                               select(r_ge_b, mid_out, lo_out));
        const V g_out = select(r_ge_g, select(g_gt_b, mid_out, lo_out),
                               select(r_ge_b, hi_out, select(g_lt_b, mid_out, hi_out)));
        const V b_out = select(r_ge_g, select(g_gt_b, lo_out, select(r_ge_b, mid_out, hi_out)),
                               select(r_ge_b, lo_out, select(g_lt_b, hi_out, mid_out)));
        return {r_out, g_out, b_out};
    }
};

template <typename V>
Rgb<V> hue_preserving_tone(const Rgb<V>& in, const float* lut1, LutBounds bounds) {
    const Rgb<V> unit = each_channel(in, [](V c) { return clamp_unit(c); });
    const Extremes<V> e = extremes(unit.r, unit.g, unit.b);
    return ToneOrder<V>(unit).place(lut_lookup(lut1, e.hi * V(bounds.top), bounds),
                                    lut_lookup(lut1, e.lo * V(bounds.top), bounds));
}

// The tone over a block in steps: the limited channels into planes 0 to 2 and
// the largest and smallest into planes 3 and 4; both of those through the
// curve; then finish(i, tone) with the placed results of pixel i (or lanes
// from i on). finish may overwrite planes 0 to 2 at the pixels it is given.
template <typename V, typename Finish>
void hue_preserving_tone_block(const float* pixels, uint64_t n, const float* lut1, LutBounds bounds,
                               Planes<5>& p, Finish finish) {
    each_group<V>(n, [&](uint64_t i, auto tag) {
        using W = decltype(tag);
        const Rgb<W> unit = each_channel(load_rgb(pixels + 3 * i, tag), [](W c) { return clamp_unit(c); });
        put_rgb(p, 0, i, unit);
        const Extremes<W> e = extremes(unit.r, unit.g, unit.b);
        store_lanes(p.v[3] + i, e.hi);
        store_lanes(p.v[4] + i, e.lo);
    });
    map_planes<V>(p, 3, 2, n, [&](auto x) {
        using W = decltype(x);
        return lut_lookup(lut1, x * W(bounds.top), bounds);
    });
    each_group<V>(n, [&](uint64_t i, auto tag) {
        const ToneOrder<decltype(tag)> order(get_rgb(p, 0, i, tag));
        finish(i, order.place(load_lanes(p.v[3] + i, tag), load_lanes(p.v[4] + i, tag)));
    });
}

}  // namespace

void apply_hue_preserving_tone(float r, float g, float b, float& r_out, float& g_out, float& b_out,
                               const float* lut1, float tone_max, int32_t last_index) {
    const Rgb<float> out = hue_preserving_tone(Rgb<float>{r, g, b}, lut1, LutBounds{tone_max, last_index});
    r_out = out.r;
    g_out = out.g;
    b_out = out.b;
}

template <typename Out>
void transform_hue_preserving_lut_matrix_impl(const float* src, Out* dst, int64_t pixel_count, const float* lut1,
                                              int32_t lut1_size, const float* matrix, float out_scale) {
    const LutBounds bounds = lut_bounds(lut1_size);
    const Matrix3 m = Matrix3::plain(matrix);
    run_stage_blocks(src, dst, pixel_total(pixel_count), [=](const float* s, Out* d, uint64_t n, auto tag) {
        Planes<5> p;
        hue_preserving_tone_block<decltype(tag)>(s, n, lut1, bounds, p, [&](uint64_t i, const auto& toned) {
            store_rgb(d + 3 * i, clamp_and_scale(m.apply(toned), out_scale));
        });
    });
}

void transform_hue_preserving_tone_impl(const float* src, float* dst, int64_t pixel_count, const float* lut1,
                                        int32_t lut1_size) {
    const LutBounds bounds = lut_bounds(lut1_size);
    run_stage_blocks(src, dst, pixel_total(pixel_count), [=](const float* s, float* d, uint64_t n, auto tag) {
        Planes<5> p;
        hue_preserving_tone_block<decltype(tag)>(s, n, lut1, bounds, p,
                                                 [&](uint64_t i, const auto& toned) { store_rgb(d + 3 * i, toned); });
    });
}

// Here the row is summed first and then scaled by N2 - 1, one rounding each.
// Each step runs over the whole block in planes 0 to 2 (tone, matrix, second
// curve as one run through the three planes, store): short loops that keep
// their values in registers, which measured about a third faster than one
// step per pixel.
template <typename Out>
void transform_hue_preserving_lut_matrix_lut_impl(const float* src, Out* dst, int64_t pixel_count, const float* lut1,
                                                  int32_t lut1_size, const float* matrix, const float* lut2,
                                                  int32_t lut2_size, float out_scale) {
    const LutBounds bounds = lut_bounds(lut1_size);
    const FinalCurve second{lut2, lut_bounds(lut2_size)};
    const Matrix3 m = Matrix3::plain(matrix);
    run_stage_blocks(src, dst, pixel_total(pixel_count), [=](const float* s, Out* d, uint64_t n, auto tag) {
        Planes<5> p;
        hue_preserving_tone_block<decltype(tag)>(s, n, lut1, bounds, p, [&](uint64_t i, const auto& toned) {
            put_rgb(p, 0, i, toned);
        });
        each_group<decltype(tag)>(n, [&](uint64_t i, auto t) {
            using V = decltype(t);
            put_rgb(p, 0, i, each_channel(m.apply(get_rgb(p, 0, i, t)), [&](V y) { return V(second.bounds.top) * y; }));
        });
        second.on_planes(p, n, out_scale, tag);
        store_block(d, n, p, tag);
    });
}

#define LUMRA_HUE_OUTPUT(Out)                                                                                      \
    template void transform_hue_preserving_lut_matrix_impl<Out>(const float*, Out*, int64_t, const float*, int32_t, \
                                                                const float*, float);                              \
    template void transform_hue_preserving_lut_matrix_lut_impl<Out>(const float*, Out*, int64_t, const float*,      \
                                                                    int32_t, const float*, const float*, int32_t,  \
                                                                    float);
LUMRA_HUE_OUTPUT(uint8_t)
LUMRA_HUE_OUTPUT(uint16_t)
LUMRA_HUE_OUTPUT(float)
#undef LUMRA_HUE_OUTPUT

}  // namespace lumra
