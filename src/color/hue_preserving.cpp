// The hue-preserving tone path. The largest, middle and smallest channel are
// picked by the documented comparisons without branches (lane masks, or
// selects on plain floats), so the lanes and the remainder agree bit for bit.
#include "color/hue_preserving.h"

#include "color/transform_kernels.h"

namespace lumra {
namespace {

template <typename V>
Rgb<V> hue_preserving_tone(const Rgb<V>& in, const float* lut1, LutBounds bounds) {
    const V r = clamp_unit(in.r), g = clamp_unit(in.g), b = clamp_unit(in.b);
    const auto r_ge_g = greater_equal(r, g);
    const auto g_gt_b = greater(g, b);
    const auto r_ge_b = greater_equal(r, b);
    const auto g_lt_b = less(g, b);

    // r >= g: (r, g, b) if g > b; else (r, b, g) if r >= b; else (b, r, g).
    // r < g:  (g, r, b) if r >= b; else (b, g, r) if g < b; else (g, b, r).
    const V hi = select(r_ge_g, select(g_gt_b, r, select(r_ge_b, r, b)), select(r_ge_b, g, select(g_lt_b, b, g)));
    const V mid = select(r_ge_g, select(g_gt_b, g, select(r_ge_b, b, r)), select(r_ge_b, r, select(g_lt_b, g, b)));
    const V lo = select(r_ge_g, select(g_gt_b, b, g), select(r_ge_b, b, r));

    const V hi_out = lut_lookup(lut1, hi * V(bounds.top), bounds);
    const V lo_out = lut_lookup(lut1, lo * V(bounds.top), bounds);

    // The case (r, b, g) with g = b skips the correction as well.
    const auto tied_case = both(both(r_ge_g, negate(g_gt_b)), both(r_ge_b, negate(g_lt_b)));
    const V range = hi - lo;
    const auto spread = both(greater(range, V(1e-10f)), negate(tied_case));
    const V divisor = select(spread, range, V(1.0f));  // never divide by a range that is not used
    const V mid_out = select(spread, lo_out + (mid - lo) * (hi_out - lo_out) / divisor, lo_out);

    // Each result goes back to the channel it came from.
    const V r_out = select(r_ge_g, select(g_gt_b, hi_out, select(r_ge_b, hi_out, mid_out)),
                           select(r_ge_b, mid_out, lo_out));
    const V g_out = select(r_ge_g, select(g_gt_b, mid_out, lo_out),
                           select(r_ge_b, hi_out, select(g_lt_b, mid_out, hi_out)));
    const V b_out = select(r_ge_g, select(g_gt_b, lo_out, select(r_ge_b, mid_out, hi_out)),
                           select(r_ge_b, lo_out, select(g_lt_b, hi_out, mid_out)));
    return {r_out, g_out, b_out};
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
    run_pixel_blocks(src, dst, pixel_total(pixel_count), [=](const float* pixel, auto tag) {
        return clamp_and_scale(m.apply(hue_preserving_tone(load_rgb(pixel, tag), lut1, bounds)), out_scale);
    });
}

void transform_hue_preserving_tone_impl(const float* src, float* dst, int64_t pixel_count, const float* lut1,
                                        int32_t lut1_size) {
    const LutBounds bounds = lut_bounds(lut1_size);
    run_pixel_blocks(src, dst, pixel_total(pixel_count), [=](const float* pixel, auto tag) {
        return hue_preserving_tone(load_rgb(pixel, tag), lut1, bounds);
    });
}

// Here the row is summed first and then scaled by N2 - 1, one rounding each.
template <typename Out>
void transform_hue_preserving_lut_matrix_lut_impl(const float* src, Out* dst, int64_t pixel_count, const float* lut1,
                                                  int32_t lut1_size, const float* matrix, const float* lut2,
                                                  int32_t lut2_size, float out_scale) {
    const LutBounds bounds = lut_bounds(lut1_size);
    const FinalCurve second{lut2, lut_bounds(lut2_size)};
    const Matrix3 m = Matrix3::plain(matrix);
    run_pixel_blocks(src, dst, pixel_total(pixel_count), [=](const float* pixel, auto tag) {
        using V = decltype(tag);
        const Rgb<V> toned = hue_preserving_tone(load_rgb(pixel, tag), lut1, bounds);
        const Rgb<V> position = each_channel(m.apply(toned), [&](V y) { return V(second.bounds.top) * y; });
        return second(position, out_scale);
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
