// The five kinds of colour-transform kernel, each one template over the input
// and output element types (and, for the kinds that start with a curve, the
// direct-index flag). Members differ only in how elements are read and
// stored; the per-pixel arithmetic is written once and runs both in lanes and
// on the remainder pixels. Kinds with a curve run in steps over blocks of
// pixels (stage_blocks.h), so that the curve reads of many pixels overlap.
#pragma once

#include <cstdint>
#include <type_traits>

#include "color/lut_lookup.h"
#include "color/pixel_io.h"
#include "color/stage_blocks.h"
#include "color/value_table.h"

namespace lumra {

inline uint64_t pixel_total(int64_t pixel_count) { return pixel_count > 0 ? static_cast<uint64_t>(pixel_count) : 0; }

// The first curve of a pixel: interpolated at element * in_scale * (N - 1), or
// read directly at the 8-bit element value (no normalisation, no interpolation).
template <bool kDirect>
struct FirstCurve {
    const float* lut;
    LutBounds bounds;
    float position_scale;  // in_scale * (N - 1), formed once

    FirstCurve(const float* table, int32_t size, float in_scale)
        : lut(table), bounds(lut_bounds(size)), position_scale(in_scale * bounds.top) {}

    // The curve's value for one element value.
    template <typename In>
    float at(In element) const {
        if constexpr (kDirect) return lut[element];
        else return lut_lookup(lut, read_element(element) * position_scale, bounds);
    }

    template <typename In, typename V>
    Rgb<V> operator()(const In* pixel, V tag) const {
        if constexpr (kDirect) {
            static_assert(!std::is_same_v<In, float>, "a table indexed by value needs integer input");
            return {direct_lookup(lut, pixel, 0, tag), direct_lookup(lut, pixel, 1, tag),
                    direct_lookup(lut, pixel, 2, tag)};
        } else {
            const Rgb<V> x = load_rgb(pixel, tag);
            return each_channel(x, [&](V c) { return lut_lookup(lut, c * V(position_scale), bounds); });
        }
    }

    // The curve's values for the block's n pixels into planes 0 to 2: the
    // elements are read first, then each plane goes through the curve.
    template <typename In, int kPlanes, typename V>
    void to_planes(const In* pixels, uint64_t n, Planes<kPlanes>& s, V /*tag*/) const {
        if constexpr (kDirect) {
            // One element read, one table read and one store per value, no lane
            // assembly.
            for (uint64_t i = 0; i < n; ++i) {
                s.v[0][i] = lut[pixels[3 * i]];
                s.v[1][i] = lut[pixels[3 * i + 1]];
                s.v[2][i] = lut[pixels[3 * i + 2]];
            }
        } else {
            load_block(pixels, n, s, V{});
            map_planes<V>(s, 0, 3, n, [&](auto x) {
                using W = decltype(x);
                return lut_lookup(lut, x * W(position_scale), bounds);
            });
        }
    }
};

// Runs run(curve) with the first curve. For interpolated curves on integer
// input with at least four times as many elements as element values, the
// curve's value for every element value is computed once with the same lookup
// (so the same bits) and the pixels read it by value; if that table cannot be
// allocated the curve interpolates at every element, with the same result.
template <typename In, bool kDirect, typename Run>
void with_first_curve(const float* lut, int32_t size, float in_scale, int64_t pixel_count, Run run) {
    const FirstCurve<kDirect> curve(lut, size, in_scale);
    if constexpr (!kDirect && !std::is_same_v<In, float>) {
        if (3 * pixel_total(pixel_count) >= 4 * uint64_t{kValueCount<In>}) {
            const bool tabled = with_value_table<In, float>([&](In element) { return curve.at(element); },
                                                            [&](const float* by_value) {
                                                                run(FirstCurve<true>(by_value, 1, 1.0f));
                                                            });
            if (tabled) return;
        }
    }
    run(curve);
}

// A curve read at positions that a matrix already scaled to [0, N - 1].
struct FinalCurve {
    const float* lut;
    LutBounds bounds;

    template <typename V>
    Rgb<V> operator()(const Rgb<V>& position, float out_scale) const {
        return each_channel(position, [&](V p) { return lut_lookup(lut, p, bounds) * V(out_scale); });
    }

    // The same on the positions in planes 0 to 2 of a block of n pixels.
    template <int kPlanes, typename V>
    void on_planes(Planes<kPlanes>& s, uint64_t n, float out_scale, V /*tag*/) const {
        map_planes<V>(s, 0, 3, n, [&](auto p) {
            using W = decltype(p);
            return lut_lookup(lut, p, bounds) * W(out_scale);
        });
    }
};

template <typename V>
inline Rgb<V> clamp_and_scale(const Rgb<V>& value, float out_scale) {
    return each_channel(value, [&](V c) { return clamp_unit(c) * V(out_scale); });
}

// Each channel's result depends only on its element's value. For integer input
// on an image with many more elements than values, the results are computed
// once per value (with the same per-channel function) and looked up; a table
// that cannot be allocated falls back to the pixel loop, with the same result.
template <typename In, typename Out, bool kDirect>
void transform_lut_only_impl(const In* src, Out* dst, int64_t pixel_count, const float* lut, int32_t lut_size,
                             float in_scale, float out_scale) {
    const FirstCurve<kDirect> curve(lut, lut_size, in_scale);
    if constexpr (!std::is_same_v<In, float>) {
        const uint64_t elements = 3 * pixel_total(pixel_count);
        const bool applied = apply_through_value_table<In, Out>(src, dst, elements, [&](In element) {
            return store_element<Out>(clamp_unit(curve.at(element)) * out_scale);
        });
        if (applied) return;
    }
    run_pixel_blocks(src, dst, pixel_total(pixel_count),
                     [=](const In* pixel, auto tag) { return clamp_and_scale(curve(pixel, tag), out_scale); });
}

template <typename In, typename Out>
void transform_matrix_only_impl(const In* src, Out* dst, int64_t pixel_count, const float* matrix, float in_scale,
                                float out_scale) {
    const Matrix3 m = Matrix3::plain(matrix);
    run_pixel_blocks(src, dst, pixel_total(pixel_count), [=](const In* pixel, auto tag) {
        using V = decltype(tag);
        const Rgb<V> x = each_channel(load_rgb(pixel, tag), [&](V c) { return c * V(in_scale); });
        return clamp_and_scale(m.apply(x), out_scale);
    });
}

template <typename In, typename Out, bool kDirect>
void transform_lut_matrix_impl(const In* src, Out* dst, int64_t pixel_count, const float* lut, int32_t lut_size,
                               const float* matrix, float in_scale, float out_scale) {
    const Matrix3 m = Matrix3::plain(matrix);
    with_first_curve<In, kDirect>(lut, lut_size, in_scale, pixel_count, [&](const auto& curve) {
        run_stage_blocks(src, dst, pixel_total(pixel_count), [=](const In* s, Out* d, uint64_t n, auto tag) {
            Planes<3> p;
            curve.to_planes(s, n, p, tag);
            each_group<decltype(tag)>(n, [&](uint64_t i, auto t) {
                store_rgb(d + 3 * i, clamp_and_scale(m.apply(get_rgb(p, 0, i, t)), out_scale));
            });
        });
    });
}

// The matrix rows carry in_scale * (N - 1), so each position is one dot
// product of the raw elements.
template <typename In, typename Out>
void transform_matrix_lut_impl(const In* src, Out* dst, int64_t pixel_count, const float* matrix, const float* lut,
                               int32_t lut_size, float in_scale, float out_scale) {
    const FinalCurve curve{lut, lut_bounds(lut_size)};
    const Matrix3 m = Matrix3::scaled(matrix, in_scale * curve.bounds.top);
    run_stage_blocks(src, dst, pixel_total(pixel_count), [=](const In* s, Out* d, uint64_t n, auto tag) {
        using V = decltype(tag);
        Planes<3> p;
        each_group<V>(n, [&](uint64_t i, auto t) { put_rgb(p, 0, i, m.apply(load_rgb(s + 3 * i, t))); });
        curve.on_planes(p, n, out_scale, tag);
        store_block(d, n, p, tag);
    });
}

// The matrix rows carry (N2 - 1) of the second curve.
template <typename In, typename Out, bool kDirect>
void transform_lut_matrix_lut_impl(const In* src, Out* dst, int64_t pixel_count, const float* pre_lut,
                                   int32_t pre_lut_size, const float* matrix, const float* post_lut,
                                   int32_t post_lut_size, float in_scale, float out_scale) {
    const FinalCurve second{post_lut, lut_bounds(post_lut_size)};
    const Matrix3 m = Matrix3::scaled(matrix, second.bounds.top);
    with_first_curve<In, kDirect>(pre_lut, pre_lut_size, in_scale, pixel_count, [&](const auto& first) {
        run_stage_blocks(src, dst, pixel_total(pixel_count), [=](const In* s, Out* d, uint64_t n, auto tag) {
            using V = decltype(tag);
            Planes<3> p;
            first.to_planes(s, n, p, tag);
            each_group<V>(n, [&](uint64_t i, auto t) { put_rgb(p, 0, i, m.apply(get_rgb(p, 0, i, t))); });
            second.on_planes(p, n, out_scale, tag);
            store_block(d, n, p, tag);
        });
    });
}

}  // namespace lumra
