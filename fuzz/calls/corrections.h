// The lens and sensor corrections' arguments as the entry targets draw them,
// with the whole-image and the region call of each.
#pragma once

#include "support/region_targets.h"

#include <algorithm>

namespace lumra_fuzz {

inline size_t entries_of(std::initializer_list<int32_t> counts) {
    size_t product = 1;
    for (int32_t count : counts) product *= size_t(std::max(count, 0));
    return product;
}

// lumra_apply_gain_map and lumra_apply_gain_map_cfa: any grid, area, plane
// range, lattice and placement.
template <bool kMosaic>
struct GainMapCall {
    int32_t points_v, points_h, map_planes;
    std::vector<float> gains;
    const float* gains_pointer;
    int32_t top, left, bottom, right, plane, planes, row_pitch, col_pitch;
    double spacing_v, spacing_h, origin_v, origin_h;

    explicit GainMapCall(Input& in)
        : points_v(in.count(1, 5)), points_h(in.count(1, 5)), map_planes(in.count(1, 3)),
          gains(in.numbers(entries_of({points_v, points_h, map_planes}))), gains_pointer(in.table(gains)),
          top(in.int32(-2, 10)), left(in.int32(-2, 40)), bottom(in.int32(-2, 12)), right(in.int32(-2, 42)),
          plane(in.int32(0, 3)), planes(in.int32(0, 4)), row_pitch(in.int32(1, 4)), col_pitch(in.int32(-3, 4)),
          spacing_v(in.dnumber()), spacing_h(in.dnumber()), origin_v(in.dnumber()), origin_h(in.dnumber()) {}

    Shape shape(Input& in) const { return draw_shape(in, 10, 40, kMosaic ? 1 : 3, {LUMRA_DTYPE_FLOAT32}); }
    LumraStatus whole(LumraImage* image) const {
        if constexpr (kMosaic)
            return lumra_apply_gain_map_cfa(image, gains_pointer, points_v, points_h, map_planes, top, left, bottom,
                                            right, row_pitch, col_pitch, spacing_v, spacing_h, origin_v, origin_h);
        else
            return lumra_apply_gain_map(image, gains_pointer, points_v, points_h, map_planes, top, left, bottom,
                                        right, plane, planes, row_pitch, col_pitch, spacing_v, spacing_h, origin_v,
                                        origin_h);
    }
    LumraStatus region(LumraImage* image, const LumraRegion* region) const {
        if constexpr (kMosaic)
            return lumra_apply_gain_map_cfa_region(image, region, gains_pointer, points_v, points_h, map_planes, top,
                                                   left, bottom, right, row_pitch, col_pitch, spacing_v, spacing_h,
                                                   origin_v, origin_h);
        else
            return lumra_apply_gain_map_region(image, region, gains_pointer, points_v, points_h, map_planes, top,
                                               left, bottom, right, plane, planes, row_pitch, col_pitch, spacing_v,
                                               spacing_h, origin_v, origin_h);
    }
};

// lumra_apply_flat_gain_map: any grid stretched over any mosaic.
struct FlatGainMapCall {
    int32_t rows, cols;
    std::vector<float> gains;
    const float* gains_pointer;

    explicit FlatGainMapCall(Input& in)
        : rows(in.count(2, 6)), cols(in.count(2, 6)), gains(in.numbers(entries_of({rows, cols}))),
          gains_pointer(in.table(gains)) {}

    Shape shape(Input& in) const { return draw_shape(in, 10, 40, 1, {LUMRA_DTYPE_FLOAT32}); }
    LumraStatus whole(LumraImage* image) const { return lumra_apply_flat_gain_map(image, gains_pointer, rows, cols); }
    LumraStatus region(LumraImage* image, const LumraRegion* region) const {
        return lumra_apply_flat_gain_map_region(image, region, gains_pointer, rows, cols);
    }
};

// lumra_map_polynomial: any area, plane range, lattice and coefficients.
struct MapPolynomialCall {
    int32_t degree;
    std::vector<float> coefficients;
    const float* coefficients_pointer;
    int32_t top, left, bottom, right, plane, planes, row_pitch, col_pitch;

    explicit MapPolynomialCall(Input& in)
        : degree(in.count(0, 8)), coefficients(in.numbers(size_t(std::max(degree, 0)) + 1)),
          coefficients_pointer(in.table(coefficients)), top(in.int32(0, 10)), left(in.int32(0, 40)),
          bottom(in.int32(0, 10)), right(in.int32(0, 40)), plane(in.int32(0, 3)), planes(in.int32(0, 4)),
          row_pitch(in.int32(1, 4)), col_pitch(in.int32(1, 4)) {}

    Shape shape(Input& in) const {
        return draw_shape(in, 10, 40, in.pick<uint64_t>({1, 3}), {LUMRA_DTYPE_FLOAT32});
    }
    LumraStatus whole(LumraImage* image) const {
        return lumra_map_polynomial(image, top, left, bottom, right, plane, planes, row_pitch, col_pitch,
                                    coefficients_pointer, degree);
    }
    LumraStatus region(LumraImage* image, const LumraRegion* region) const {
        return lumra_map_polynomial_region(image, region, top, left, bottom, right, plane, planes, row_pitch,
                                           col_pitch, coefficients_pointer, degree);
    }
};

// lumra_fix_vignette: any coefficients and centre, any channel count.
struct VignetteCall {
    int32_t count;
    std::vector<double> coefficients;
    const double* coefficients_pointer;
    double center_x, center_y;

    explicit VignetteCall(Input& in)
        : count(in.count(1, 6)), coefficients(in.dnumbers(size_t(std::max(count, 0)))),
          coefficients_pointer(in.table(coefficients)), center_x(in.dnumber()), center_y(in.dnumber()) {}

    Shape shape(Input& in) const {
        return draw_shape(in, 10, 40, in.pick<uint64_t>({1, 3, 1, 3, 2, 4}), {LUMRA_DTYPE_FLOAT32});
    }
    LumraStatus whole(LumraImage* image) const {
        return lumra_fix_vignette(image, coefficients_pointer, count, center_x, center_y);
    }
    LumraStatus region(LumraImage* image, const LumraRegion* region) const {
        return lumra_fix_vignette_region(image, region, coefficients_pointer, count, center_x, center_y);
    }
};

// lumra_warp_rectilinear: bilinear and bicubic, any coefficients per plane.
struct WarpCall {
    int32_t planes, radial_count;
    std::vector<double> radial, tangential;
    const double* radial_pointer;
    const double* tangential_pointer;
    double center_x, center_y;
    bool bicubic;
    static constexpr bool kDestinationHoldsSource = false;

    explicit WarpCall(Input& in) : planes(in.count(1, 3)), radial_count(in.count(1, 5)) {
        radial = in.dnumbers(entries_of({planes, radial_count}));
        // Mostly near the identity warp, so pixels land inside the image.
        if (in.flag())
            for (size_t i = 0; i < radial.size(); ++i)
                radial[i] = (i % size_t(radial_count) == 0 ? 1.0 : 0.0) + radial[i] / 16;
        tangential = in.dnumbers(entries_of({planes, 2}));
        radial_pointer = in.table(radial);
        tangential_pointer = in.flag() ? tangential.data() : nullptr;
        center_x = in.dnumber();
        center_y = in.dnumber();
        bicubic = in.flag();
    }

    Shape source(Input& in) const {
        return draw_shape(in, 10, 40, in.pick<uint64_t>({1, 3, 3, 2, 4}), {LUMRA_DTYPE_FLOAT32});
    }
    Shape destination(Input& in, const Shape& source) const { return draw_like(in, source); }
    LumraStatus whole(const LumraImage* src, LumraImage* dst) const {
        return lumra_warp_rectilinear(src, dst, radial_pointer, planes, radial_count, tangential_pointer, center_x,
                                      center_y, bicubic);
    }
    LumraStatus region(const LumraImage* src, const LumraRegion* src_region, LumraImage* dst,
                       const LumraRegion* dst_region) const {
        return lumra_warp_rectilinear_region(src, src_region, dst, dst_region, radial_pointer, planes, radial_count,
                                             tangential_pointer, center_x, center_y, bicubic);
    }
    // The window the library's own query gives must be accepted; any other
    // window may be refused, but when accepted must give the same bits.
    Placement window(Input& in, const Placement& part, uint64_t full_height, uint64_t full_width,
                     uint64_t channels, Expectation& expect) const {
        const LumraRegion placed{part.top, part.left, full_height, full_width, 0};
        LumraRegion found{};
        uint64_t height = 0, width = 0;
        if (!in.rare(4) &&
            lumra_warp_rectilinear_source_window(&placed, part.height, part.width, channels, radial_pointer, planes,
                                                 radial_count, tangential_pointer, center_x, center_y, bicubic,
                                                 &found, &height, &width) == LUMRA_OK) {
            if (found.full_height != full_height || found.full_width != full_width)
                lumra_fuzz::fail("the source window query changed the whole size");
            return Placement{found.top, found.left, height, width};
        }
        expect.accepted = false;
        return draw_window(in, part, in.in_range<uint64_t>(0, 3), full_height, full_width);
    }
};

}  // namespace lumra_fuzz
