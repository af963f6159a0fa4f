// Gain maps: the clamped gain map (three channels and mosaic) against a direct
// evaluation of every gain, and the flat-field map bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "lumra.h"
#include "support/correct_reference.h"
#include "support/image.h"
#include "support/isa_levels.h"

namespace {

using lumra_test::GainMapArgs;
using lumra_test::Image;
using lumra_test::Touched;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

GainMapArgs whole_image(const float* gains, int points_v, int points_h, int planes) {
    return GainMapArgs{gains, points_v, points_h, planes, 0, 0, 0, 0, 0, 3, 1, 1, 1.0, 1.0, 0.0, 0.0};
}

LumraStatus run(Image<float>& image, const GainMapArgs& a) {
    if (image.desc.channels == 1)
        return lumra_apply_gain_map_cfa(image.get(), a.gains, a.map_points_v, a.map_points_h, a.map_planes, a.top,
                                        a.left, a.bottom, a.right, a.row_pitch, a.col_pitch, a.map_spacing_v,
                                        a.map_spacing_h, a.map_origin_v, a.map_origin_h);
    return lumra_apply_gain_map(image.get(), a.gains, a.map_points_v, a.map_points_h, a.map_planes, a.top, a.left,
                                a.bottom, a.right, a.plane, a.planes, a.row_pitch, a.col_pitch, a.map_spacing_v,
                                a.map_spacing_h, a.map_origin_v, a.map_origin_h);
}

// Runs the entry and the direct evaluation on copies of `image`; processed
// samples agree within single-precision rounding of the row walk, all other
// samples keep their bits.
void expect_matches_direct(const Image<float>& image, GainMapArgs a, const char* what) {
    Image<float> actual = image;
    ASSERT_EQ(run(actual, a), LUMRA_OK) << what;
    std::vector<float> expected = image.pixels;
    Touched touched;
    if (image.desc.channels == 1) a.plane = 0, a.planes = 1;
    lumra_test::reference_gain_map(expected, image.desc.height, image.desc.width,
                                   static_cast<int>(image.desc.channels), a, &touched);
    for (size_t i = 0; i < expected.size(); ++i) {
        if (touched[i]) {
            ASSERT_NEAR(actual.pixels[i], expected[i], 2e-6f) << what << " element " << i;
        } else {
            ASSERT_EQ(std::memcmp(&actual.pixels[i], &image.pixels[i], sizeof(float)), 0)
                << what << " untouched element " << i;
        }
    }
}

Image<float> random_image(uint64_t height, uint64_t width, uint64_t channels) {
    Image<float> image(height, width, channels);
    lumra_test::fill_random(image.pixels, 0.0f, 1.0f);
    return image;
}

std::vector<float> random_map(int points_v, int points_h, int planes) {
    std::vector<float> map(static_cast<size_t>(points_v) * points_h * planes);
    lumra_test::fill_random(map, 0.25f, 1.75f);
    return map;
}

TEST(GainMap, ConstantMapScalesAndClampsChosenChannels) {
    Image<float> image(2, 3, 3);
    for (size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = 0.1f * static_cast<float>(i % 9);
    const Image<float> before = image;
    const float two = 2.0f;
    GainMapArgs a = whole_image(&two, 1, 1, 1);
    a.plane = 1;
    a.planes = 1;
    ASSERT_EQ(run(image, a), LUMRA_OK);
    for (uint64_t r = 0; r < 2; ++r)
        for (uint64_t c = 0; c < 3; ++c) {
            EXPECT_EQ(image.at(r, c, 0), before.at(r, c, 0));
            EXPECT_EQ(image.at(r, c, 1), std::min(before.at(r, c, 1) * 2.0f, 1.0f));
            EXPECT_EQ(image.at(r, c, 2), before.at(r, c, 2));
        }
    const float negative = -1.0f;
    a = whole_image(&negative, 1, 1, 1);
    ASSERT_EQ(run(image, a), LUMRA_OK);
    for (float v : image.pixels) EXPECT_EQ(std::memcmp(&v, "\0\0\0\0", 4), 0) << v;  // +0, not -0
}

TEST(GainMap, NaNProductBecomesOneAndInfinityIsLimited) {
    Image<float> image(1, 3, 3);
    image.pixels = {kNaN, 0.5f, 0.25f, 0.5f, kNaN, -0.0f, 0.0f, 1.0f, 0.5f};
    const float gain = std::numeric_limits<float>::infinity();
    ASSERT_EQ(run(image, whole_image(&gain, 1, 1, 1)), LUMRA_OK);
    // inf * 0 is NaN, which the upper limit turns into 1.
    const std::vector<float> expected = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(image.pixels, expected);
}

TEST(GainMap, CfaPitchesSelectOneColourSite) {
    Image<float> mosaic = random_image(6, 8, 1);
    const Image<float> before = mosaic;
    const std::vector<float> map = {0.5f, 0.5f, 0.5f};  // three planes: the mosaic reads plane 0 only
    GainMapArgs a = whole_image(map.data(), 1, 1, 3);
    a.top = 1;
    a.row_pitch = 2;
    a.col_pitch = 2;
    ASSERT_EQ(run(mosaic, a), LUMRA_OK);
    for (uint64_t r = 0; r < 6; ++r)
        for (uint64_t c = 0; c < 8; ++c) {
            const bool site = r % 2 == 1 && c % 2 == 0;
            EXPECT_EQ(mosaic.at(r, c), site ? before.at(r, c) * 0.5f : before.at(r, c)) << r << "," << c;
        }
    expect_matches_direct(before, a, "cfa site");
}

TEST(GainMap, PlanesBeyondTheChannelsAndTheMapReuseTheLast) {
    const Image<float> image = random_image(4, 5, 3);
    const std::vector<float> map = {0.5f, 0.75f};  // two planes
    GainMapArgs a = whole_image(map.data(), 1, 1, 2);
    a.plane = 1;
    a.planes = 5;
    Image<float> actual = image;
    ASSERT_EQ(run(actual, a), LUMRA_OK);
    for (uint64_t r = 0; r < 4; ++r)
        for (uint64_t c = 0; c < 5; ++c) {
            EXPECT_EQ(actual.at(r, c, 0), image.at(r, c, 0));
            EXPECT_EQ(actual.at(r, c, 1), image.at(r, c, 1) * 0.75f);
            EXPECT_EQ(actual.at(r, c, 2), image.at(r, c, 2) * 0.75f);
        }
}

TEST(GainMap, PixelsOutsideTheGridTakeTheEdgeColumnsExactly) {
    // Grid columns at 0.25 and 0.75 of the width: the first two of eight
    // columns lie left of the grid, the last two right of it.
    const std::vector<float> map = {0.25f, 0.75f};
    GainMapArgs a = whole_image(map.data(), 1, 2, 1);
    a.map_origin_h = 0.25;
    a.map_spacing_h = 0.5;
    Image<float> image(1, 8, 3);
    std::fill(image.pixels.begin(), image.pixels.end(), 1.0f);
    a.planes = 3;
    ASSERT_EQ(run(image, a), LUMRA_OK);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(image.at(0, 0, k), 0.25f);
        EXPECT_EQ(image.at(0, 1, k), 0.25f);
        EXPECT_EQ(image.at(0, 6, k), 0.75f);
        EXPECT_EQ(image.at(0, 7, k), 0.75f);
        // Column 4's centre is at 4.5 / 8, so u = 0.625 and the gain 0.25 + 0.625 * 0.5.
        EXPECT_NEAR(image.at(0, 4, k), 0.5625f, 1e-6f);
    }
}

class GainMapPaths : public lumra_test::EveryLevel {};

TEST_P(GainMapPaths, AreasPitchesAndGridsAgreeWithDirectEvaluation) {
    struct Placement {
        double spacing_v, spacing_h, origin_v, origin_h;
    };
    const Placement placements[] = {
        {0.25, 0.25, 0.0, 0.0},      // grid exactly over the image
        {0.1, 0.07, 0.2, 0.3},       // grid inside the image
        {1.0, 1.5, -0.5, -0.75},     // grid beyond the image
        {0.5, 0.4, -0.25, -0.1},     // grid around the image
        {0.0, 0.0, 0.4, 0.6},        // zero spacing
        {-0.25, -0.3, 1.0, 1.1},     // grid laid right to left
        {0.3, -0.0, 0.1, 0.5},       // negative zero spacing
    };
    const uint64_t sizes[][2] = {{1, 1}, {1, 9}, {7, 1}, {5, 6}, {13, 17}, {16, 33}};
    const int areas[][4] = {{0, 0, 0, 0}, {1, 2, -1, -3}, {-4, -1, 100, 100}, {2, 3, 4, 5}, {0, 1, 3, 0},
                            {3, 3, 3, 9}, {5, 5, 2, 2}};
    for (const auto& size : sizes)
        for (uint64_t channels : {1u, 3u}) {
            const Image<float> image = random_image(size[0], size[1], channels);
            for (const auto& place : placements)
                for (const auto& area : areas)
                    for (int row_pitch = 1; row_pitch <= 4; ++row_pitch)
                        for (int col_pitch : {1, 2, 3, 4, -1, -7}) {
                            const int points_v = 1 + static_cast<int>(size[0] % 4), points_h = 2 + row_pitch;
                            const std::vector<float> map = random_map(points_v, points_h, 2);
                            GainMapArgs a{map.data(), points_v, points_h, 2, area[0], area[1], area[2], area[3],
                                          row_pitch - 1, 2 + col_pitch % 3, row_pitch, col_pitch,
                                          place.spacing_v, place.spacing_h, place.origin_v, place.origin_h};
                            const std::string what = std::to_string(size[0]) + "x" + std::to_string(size[1]) +
                                                     "x" + std::to_string(channels) + " area " +
                                                     std::to_string(area[0]) + "," + std::to_string(area[1]) +
                                                     " pitch " + std::to_string(row_pitch) + "/" +
                                                     std::to_string(col_pitch) + " spacing " +
                                                     std::to_string(place.spacing_h);
                            expect_matches_direct(image, a, what.c_str());
                        }
        }
}

TEST_P(GainMapPaths, LongRowsWalkManyColumnsPerCell) {
    const Image<float> image = random_image(3, 5000, 3);
    const std::vector<float> map = random_map(3, 4, 3);
    GainMapArgs a{map.data(), 3, 4, 3, 0, 0, 0, 0, 0, 3, 1, 1, 0.4, 0.31, 0.05, 0.02};
    expect_matches_direct(image, a, "wide, pitch 1");
    a.col_pitch = 3;
    a.left = 7;
    expect_matches_direct(image, a, "wide, pitch 3");
    const Image<float> mosaic = random_image(4, 6000, 1);
    a.col_pitch = 2;
    a.row_pitch = 2;
    a.left = 1;
    expect_matches_direct(mosaic, a, "wide mosaic");
}

LUMRA_AT_EVERY_LEVEL(GainMapPaths);

TEST(GainMap, RefusesPitchesAndPlanesThatCannotBeWalked) {
    Image<float> image = random_image(4, 4, 3);
    Image<float> mosaic = random_image(4, 4, 1);
    const Image<float> before = image, mosaic_before = mosaic;
    const float gain = 0.5f;
    GainMapArgs a = whole_image(&gain, 1, 1, 1);
    a.row_pitch = 0;
    EXPECT_EQ(run(image, a), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(run(mosaic, a), LUMRA_ERR_INVALID_ARGUMENT);
    a.row_pitch = -2;
    a.col_pitch = 0;  // row pitch is judged first
    EXPECT_EQ(run(image, a), LUMRA_ERR_INVALID_ARGUMENT);
    a.row_pitch = 1;
    EXPECT_EQ(run(image, a), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(run(mosaic, a), LUMRA_ERR_INVALID_ARGUMENT);
    a.col_pitch = 1;
    a.plane = -1;
    EXPECT_EQ(run(image, a), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_TRUE(lumra_test::same_bits(image.pixels, before.pixels));
    EXPECT_TRUE(lumra_test::same_bits(mosaic.pixels, mosaic_before.pixels));
    // The specified checks come first: a wrong channel count with a zero pitch is still a channel error,
    // and an unsupported type wins over the pitches.
    image.desc.dtype = LUMRA_DTYPE_UINT16;
    a.row_pitch = 0;
    EXPECT_EQ(run(image, a), LUMRA_ERR_UNSUPPORTED);
}

TEST(GainMap, ExtremeArgumentsDoNotOverflow) {
    const Image<float> image = random_image(5, 6, 3);
    const std::vector<float> map = random_map(2, 2, 3);
    const int32_t big = std::numeric_limits<int32_t>::max();
    GainMapArgs a{map.data(), 2, 2, 3, 0, 0, 0, 0, 1, big, big, big, 0.5, 0.5, 0.0, 0.0};
    expect_matches_direct(image, a, "huge planes and pitches");
    a.plane = big;
    expect_matches_direct(image, a, "plane beyond the channels");
    a.plane = 0;
    a.top = big;
    a.left = big;
    expect_matches_direct(image, a, "area beyond the image");
    a.top = std::numeric_limits<int32_t>::min();
    a.left = std::numeric_limits<int32_t>::min();
    a.bottom = std::numeric_limits<int32_t>::min();
    a.right = big;
    a.col_pitch = std::numeric_limits<int32_t>::min();
    expect_matches_direct(image, a, "extreme corners");
}

TEST(FlatGainMap, ExtrapolatesInTheLastInterval) {
    Image<float> image(1, 4, 1);
    std::fill(image.pixels.begin(), image.pixels.end(), 1.0f);
    const float map[] = {1, 2, 1, 2};
    ASSERT_EQ(lumra_apply_flat_gain_map(image.get(), map, 2, 2), LUMRA_OK);
    EXPECT_EQ(image.pixels, (std::vector<float>{1.0f, 1.5f, 2.0f, 2.5f}));
}

TEST(FlatGainMap, NaNStaysAndNothingIsClamped) {
    Image<float> image(2, 2, 1);
    image.pixels = {kNaN, 0.75f, -0.5f, 0.9f};
    const float map[] = {3, 3, 3, 3};
    ASSERT_EQ(lumra_apply_flat_gain_map(image.get(), map, 2, 2), LUMRA_OK);
    EXPECT_TRUE(std::isnan(image.pixels[0]));
    EXPECT_EQ(image.pixels[1], 2.25f);
    EXPECT_EQ(image.pixels[2], -1.5f);
    EXPECT_FLOAT_EQ(image.pixels[3], 2.7f);
}

TEST(FlatGainMap, MatchesThePlainReadingBitForBit) {
    const uint64_t sizes[][2] = {{1, 1}, {1, 5}, {6, 1}, {7, 11}, {40, 37}, {3, 1500}};
    const int maps[][2] = {{2, 2}, {3, 5}, {7, 2}, {9, 12}, {50, 64}, {2, 1500}};
    for (const auto& size : sizes)
        for (const auto& m : maps) {
            Image<float> image = random_image(size[0], size[1], 1);
            std::vector<float> gains = random_map(m[0], m[1], 1);
            std::vector<float> expected = image.pixels;
            lumra_test::reference_flat_gain_map(expected, size[0], size[1], gains.data(), m[0], m[1]);
            ASSERT_EQ(lumra_apply_flat_gain_map(image.get(), gains.data(), m[0], m[1]), LUMRA_OK);
            ASSERT_TRUE(lumra_test::same_bits(image.pixels, expected))
                << size[0] << "x" << size[1] << " map " << m[0] << "x" << m[1];
        }
}

TEST(FlatGainMap, RefusesEmptyImages) {
    Image<float> image(0, 4, 1);
    const float map[] = {1, 1, 1, 1};
    EXPECT_EQ(lumra_apply_flat_gain_map(image.get(), map, 2, 2), LUMRA_ERR_INVALID_ARGUMENT);
}

}  // namespace
