// The position-free entries split by row bands: a descriptor on a band's first
// row with the band's height gives the whole-image call's bits there. Bands of
// 1, 2 and 7 rows of a 37-pixel-wide image move every block boundary, so the
// vector blocks and the scalar rest must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <type_traits>
#include <vector>

#include "support/image.h"

namespace {

using namespace lumra_test;

using Entry = std::function<LumraStatus(const LumraImage*, LumraImage*)>;

// `in_place` entries get dst only, pre-filled with the source.
template <typename In, typename Out>
void expect_bands_match(const char* name, uint64_t in_channels, uint64_t out_channels, const Entry& entry,
                        bool in_place = false) {
    SCOPED_TRACE(name);
    const uint64_t H = 23, W = 37;
    std::vector<In> src(H * W * in_channels);
    if constexpr (std::is_floating_point_v<In>) fill_random(src, -0.1f, 1.2f);
    else fill_random(src);
    std::vector<Out> whole(H * W * out_channels);
    if constexpr (std::is_same_v<In, Out>) {
        if (in_place) whole = src;
    }
    const LumraImage s{src.data(), H, W, in_channels, dtype_of<In>(), 0};
    LumraImage d{whole.data(), H, W, out_channels, dtype_of<Out>(), 0};
    ASSERT_EQ(entry(&s, &d), LUMRA_OK);
    for (uint64_t band : {1, 2, 7}) {
        SCOPED_TRACE(testing::Message() << "bands of " << band);
        std::vector<Out> banded(whole.size());
        if constexpr (std::is_same_v<In, Out>) {
            if (in_place) banded = src;
        }
        for (uint64_t top = 0; top < H; top += band) {
            const uint64_t rows = std::min(band, H - top);
            const LumraImage bs{src.data() + top * W * in_channels, rows, W, in_channels, dtype_of<In>(), 0};
            LumraImage bd{banded.data() + top * W * out_channels, rows, W, out_channels, dtype_of<Out>(), 0};
            ASSERT_EQ(entry(&bs, &bd), LUMRA_OK);
        }
        EXPECT_EQ(std::memcmp(banded.data(), whole.data(), whole.size() * sizeof(Out)), 0);
    }
}

TEST(PositionFreeEntries, RowBandsGiveTheWholeImageBits) {
    std::vector<float> curve(1024), lut(4096), map(2 * 6 * 3 * 3), matrix(9);
    fill_random(curve), fill_random(lut, -0.2f, 1.3f), fill_random(matrix, -0.3f, 1.2f);
    for (size_t i = 0; i < map.size(); i += 3) {
        map[i] = uniform(-30, 30);  // hue shift in degrees, then saturation and value scales
        map[i + 1] = uniform(0.5f, 1.5f), map[i + 2] = uniform(0.5f, 1.5f);
    }
    const float clip_max[3] = {0.9f, 1.0f, 0.8f};
    expect_bands_match<float, uint16_t>("convert_dtype", 3, 3,
                                        [](auto s, auto d) { return lumra_convert_dtype(s, d, 0, 12, 0.9f); });
    expect_bands_match<uint16_t, uint8_t>("transform_color", 3, 3, [&](auto s, auto d) {
        return lumra_transform_color(s, d, curve.data(), 1024, matrix.data(), curve.data(), 256, 16, 0, false);
    });
    expect_bands_match<float, float>("transform_color, hue preserving", 3, 3, [&](auto s, auto d) {
        return lumra_transform_color(s, d, curve.data(), 1024, matrix.data(), nullptr, 0, 0, 0, true);
    });
    expect_bands_match<float, float>("clip_and_transform_color", 3, 3, [&](auto s, auto d) {
        return lumra_clip_and_transform_color(s, d, clip_max, matrix.data());
    });
    expect_bands_match<uint16_t, float>("mono_lut", 1, 1, [&](auto s, auto d) {
        return lumra_mono_lut(s, d, lut.data(), lut.size(), 12, 0);
    });
    expect_bands_match<float, float>(
        "apply_hue_sat_map", 3, 3, [&](auto, auto d) { return lumra_apply_hue_sat_map(d, map.data(), 6, 3, 2); },
        true);
    expect_bands_match<float, float>("apply_exposure_ramp", 3, 3, [](auto s, auto d) {
        return lumra_apply_exposure_ramp(s, d, 0.8, 0.02, 0.1, false);
    });
}

}  // namespace
