// The profile gain table map's arguments as the entry targets draw them.
#pragma once

#include "calls/corrections.h"

namespace lumra_fuzz {

// lumra_apply_profile_gain_table_map: any grid, table length, weights, gamma
// and exposure.
struct GainTableMapCall {
    int32_t points_v, points_h, points_n;
    std::vector<float> gains, weights;
    const float* gains_pointer;
    const float* weights_pointer;
    float spacing_v, spacing_h, origin_v, origin_h, gamma, exposure;

    explicit GainTableMapCall(Input& in)
        : points_v(in.count(1, 4)), points_h(in.count(1, 4)), points_n(in.count(1, 9)),
          gains(in.numbers(entries_of({points_v, points_h, points_n}))), weights(in.numbers(5)),
          gains_pointer(in.table(gains)), weights_pointer(in.table(weights)), spacing_v(in.number()),
          spacing_h(in.number()), origin_v(in.number()), origin_h(in.number()),
          gamma(in.flag() ? 1.0f : in.number()), exposure(in.flag() ? 1.0f : in.number()) {}

    Shape shape(Input& in) const { return draw_shape(in, 10, 40, 3, {LUMRA_DTYPE_FLOAT32}); }
    LumraStatus whole(LumraImage* image) const {
        return lumra_apply_profile_gain_table_map(image, gains_pointer, points_v, points_h, points_n,
                                                  weights_pointer, spacing_v, spacing_h, origin_v, origin_h, gamma,
                                                  exposure);
    }
    LumraStatus region(LumraImage* image, const LumraRegion* region) const {
        return lumra_apply_profile_gain_table_map_region(image, region, gains_pointer, points_v, points_h,
                                                         points_n, weights_pointer, spacing_v, spacing_h, origin_v,
                                                         origin_h, gamma, exposure);
    }
};

}  // namespace lumra_fuzz
