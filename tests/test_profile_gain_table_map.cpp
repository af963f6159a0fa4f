// Profile gain table map: a double-precision reading of the lookup and blend
// on random pixels and placements, the worked examples, and arguments that
// must not lead outside the gain tables.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "lumra.h"
#include "profile/profile_kernels.h"
#include "support/image.h"
#include "support/isa_levels.h"
#include "support/profile_reference.h"

namespace {

using lumra_test::GainTableMap;
using lumra_test::Image;
using lumra_test::uniform;

GainTableMap random_map(int points_v, int points_h, int points_n) {
    GainTableMap map;
    map.points_v = points_v, map.points_h = points_h, map.points_n = points_n;
    map.gains.resize(static_cast<size_t>(points_v) * points_h * points_n);
    for (float& g : map.gains) g = uniform(0.25f, 4.0f);
    for (float& w : map.weights) w = uniform(-0.2f, 0.8f);
    return map;
}

LumraStatus run(Image<float>& image, const GainTableMap& m) {
    return lumra_apply_profile_gain_table_map(image.get(), m.gains.data(), m.points_v, m.points_h, m.points_n,
                                              m.weights, m.spacing_v, m.spacing_h, m.origin_v, m.origin_h, m.gamma,
                                              m.exposure_gain);
}

// Every channel of every pixel against the pixel times the reference gain.
void expect_reference(const Image<float>& before, const Image<float>& after, const GainTableMap& map) {
    const uint64_t height = before.desc.height, width = before.desc.width;
    for (uint64_t r = 0; r < height; ++r) {
        for (uint64_t c = 0; c < width; ++c) {
            const double gain = lumra_test::reference_gain(map, before.at(r, c, 0), before.at(r, c, 1),
                                                           before.at(r, c, 2), r, c, height, width);
            for (int k = 0; k < 3; ++k) {
                const double expected = before.at(r, c, k) * gain;
                ASSERT_NEAR(after.at(r, c, k), expected, 3e-6 * std::fabs(expected) + 1e-30)
                    << "row " << r << " column " << c << " channel " << k;
            }
        }
    }
}

struct Placement {
    float origin_v, origin_h, spacing_v, spacing_h;
};

TEST(ProfileGainTableMap, MatchesDoublePrecisionReading) {
    const int grids[][2] = {{1, 1}, {1, 2}, {2, 1}, {2, 3}, {5, 7}};
    // Covering the image, inside it, beyond it, around it, reversed.
    const Placement placements[] = {{0.0f, 0.0f, 0.25f, 1.0f / 6}, {0.3f, 0.2f, 0.1f, 0.05f},
                                    {1.2f, 1.5f, 0.3f, 0.2f},      {-0.4f, -0.3f, 0.45f, 0.3f},
                                    {1.0f, 0.9f, -0.2f, -0.15f}};
    for (const auto& grid : grids) {
        for (int points_n : {1, 2, 256}) {
            for (const Placement& place : placements) {
                SCOPED_TRACE(testing::Message() << grid[0] << " x " << grid[1] << " x " << points_n << " at "
                                                << place.origin_v << ", " << place.origin_h);
                GainTableMap map = random_map(grid[0], grid[1], points_n);
                map.origin_v = place.origin_v, map.origin_h = place.origin_h;
                map.spacing_v = place.spacing_v, map.spacing_h = place.spacing_h;
                map.gamma = points_n == 2 ? 2.2f : 1.0f;
                map.exposure_gain = points_n == 256 ? 1.5f : 1.0f;
                Image<float> image(9, 13, 3);
                lumra_test::fill_random(image.pixels, 0.0f, 1.3f);
                const Image<float> before = image;
                ASSERT_EQ(run(image, map), LUMRA_OK);
                expect_reference(before, image, map);
            }
        }
    }
}

TEST(ProfileGainTableMap, WithoutWorkingMemoryGivesIdenticalResults) {
    GainTableMap map = random_map(5, 7, 6);
    map.origin_v = -0.1f, map.origin_h = 0.05f, map.spacing_v = 0.3f, map.spacing_h = 0.13f;
    Image<float> image(11, 17, 3);
    lumra_test::fill_random(image.pixels, 0.0f, 1.2f);
    Image<float> fallback = image;
    ASSERT_EQ(run(image, map), LUMRA_OK);
    lumra::apply_profile_gain_table_map_without_working_memory(
        fallback.pixels.data(), 11, 17, {0, 0, 11, 17}, map.points_v, map.points_h, map.spacing_v, map.spacing_h,
        map.origin_v, map.origin_h, map.points_n, map.weights, map.gamma, map.gains.data(), map.exposure_gain);
    EXPECT_TRUE(lumra_test::same_bits(image.pixels, fallback.pixels));
}

TEST(ProfileGainTableMap, EveryLevelGivesIdenticalResults) {
    // Each level's blocks (four lanes at the baseline, eight from AVX2 on)
    // against the widest, with and without gamma, on rows of 8k + 4 + 3
    // pixels so that every block kind and the rest occur.
    for (int points_n : {2, 3, 256}) {
        for (float gamma : {1.0f, 0.45f}) {
            SCOPED_TRACE(testing::Message() << points_n << " entries, gamma " << gamma);
            GainTableMap map = random_map(4, 5, points_n);
            map.origin_v = -0.1f, map.origin_h = 0.05f, map.spacing_v = 0.3f, map.spacing_h = 0.13f;
            map.gamma = gamma, map.exposure_gain = 1.25f;
            Image<float> image(5, 23, 3);
            lumra_test::fill_random(image.pixels, -0.2f, 1.3f);
            image.pixels[7] = std::numeric_limits<float>::quiet_NaN();
            image.pixels[40] = std::numeric_limits<float>::infinity();
            const Image<float> before = image;
            ASSERT_EQ(run(image, map), LUMRA_OK);
            lumra_test::at_every_level([&] {
                Image<float> narrower = before;
                ASSERT_EQ(run(narrower, map), LUMRA_OK);
                EXPECT_TRUE(lumra_test::same_bits(image.pixels, narrower.pixels));
            });
        }
    }
}

TEST(ProfileGainTableMap, OneTableOfOneEntryScalesWithoutClamp) {
    GainTableMap map;
    map.gains = {2.0f};
    Image<float> image(3, 4, 3);
    lumra_test::fill_random(image.pixels, 0.0f, 1.5f);
    const Image<float> before = image;
    ASSERT_EQ(run(image, map), LUMRA_OK);
    for (size_t i = 0; i < image.pixels.size(); ++i) EXPECT_EQ(image.pixels[i], 2.0f * before.pixels[i]);
}

// One pixel through a single two-entry table (1, 3) with the given settings.
float gain_of(std::vector<float> pixel, float w0, float w3, float w4, float gamma, float exposure_gain) {
    GainTableMap map;
    map.points_n = 2;
    map.gains = {1.0f, 3.0f};
    map.weights[0] = w0, map.weights[3] = w3, map.weights[4] = w4;
    map.gamma = gamma, map.exposure_gain = exposure_gain;
    Image<float> image(1, 1, 3);
    image.pixels = pixel;
    EXPECT_EQ(run(image, map), LUMRA_OK);
    return image.pixels[1] / pixel[1];
}

TEST(ProfileGainTableMap, TableInputExamples) {
    EXPECT_EQ(gain_of({0.25f, 1.0f, 0.0f}, 1, 0, 0, 1, 1), 2.0f);  // x = 0.5
    EXPECT_EQ(gain_of({0.5f, 1.0f, 0.0f}, 1, 0, 0, 1, 1), 3.0f);   // x = 1, the last entry
    EXPECT_EQ(gain_of({7.0f, 1.0f, 0.0f}, 1, 0, 0, 1, 1), 3.0f);   // t above 1
    EXPECT_EQ(gain_of({-1.0f, 1.0f, 0.0f}, 1, 0, 0, 1, 1), 1.0f);  // t below 0
    EXPECT_EQ(gain_of({0.0f, 1.0f, 0.125f}, 0, 0, 1, 1, 1), 3.0f);  // largest channel: t = 1
    EXPECT_EQ(gain_of({0.5f, 1.0f, 0.125f}, 0, 1, 0, 1, 1), 1.5f);  // smallest channel: t = 0.125, x = 0.25
    EXPECT_EQ(gain_of({0.5f, 1.0f, 0.0f}, 1, 0, 0, 2, 1), 2.0f);   // gamma 2: t = 0.25
    EXPECT_EQ(gain_of({0.125f, 1.0f, 0.0f}, 1, 0, 0, 1, 2), 2.0f);  // exposure gain 2: t = 0.25
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Image<float> image(1, 1, 3);
    image.pixels = {nan, 0.5f, 0.5f};
    GainTableMap map;
    map.points_n = 2, map.gains = {1.0f, 3.0f};
    ASSERT_EQ(run(image, map), LUMRA_OK);
    EXPECT_EQ(image.pixels[1], 0.5f);  // a NaN input reads the first entry
}

TEST(ProfileGainTableMap, PixelsBeforeTheFirstColumnTakeItsTablesExactly) {
    // Grid columns at 0.5 and 0.75 of the width; eight columns, so pixel
    // centres 1/16 .. 7/16 lie before column 0.
    GainTableMap map = random_map(1, 2, 1);
    map.gains = {1.5f, 3.0f};
    map.origin_h = 0.5f, map.spacing_h = 0.25f;
    Image<float> image(2, 8, 3);
    image.pixels.assign(image.pixels.size(), 0.5f);
    ASSERT_EQ(run(image, map), LUMRA_OK);
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 4; ++c) EXPECT_EQ(image.at(r, c, 0), 0.75f) << c;
        EXPECT_EQ(image.at(r, 7, 0), 1.5f);  // centre 15/16 is past column 1
    }
}

TEST(ProfileGainTableMap, ExtremePlacementsStayInsideTheTables) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const Placement placements[] = {{nan, nan, 0.2f, 0.2f}, {0.0f, 0.0f, nan, nan},   {0.0f, 0.0f, 0.0f, 0.0f},
                                    {inf, -inf, 0.1f, 0.1f}, {0.0f, 0.0f, inf, -inf}, {-3e38f, 3e38f, 1e-38f, 1e-45f},
                                    {0.5f, 0.5f, 1e-45f, -1e-45f}};
    for (const Placement& place : placements) {
        GainTableMap map = random_map(3, 4, 5);
        map.origin_v = place.origin_v, map.origin_h = place.origin_h;
        map.spacing_v = place.spacing_v, map.spacing_h = place.spacing_h;
        for (float gamma : {1.0f, nan, -inf, 0.0f}) {
            map.gamma = gamma;
            map.exposure_gain = gamma == 0.0f ? nan : 3e38f;
            Image<float> image(4, 5, 3);
            lumra_test::fill_random(image.pixels, -1.0f, 2.0f);
            image.pixels[0] = nan, image.pixels[4] = inf, image.pixels[8] = -inf;
            EXPECT_EQ(run(image, map), LUMRA_OK);
        }
    }
}

TEST(ProfileGainTableMap, EntryChecksComeBeforeAnyWrite) {
    GainTableMap map;
    map.gains = {2.0f};
    Image<float> image(1, 2, 3);
    image.pixels.assign(6, 0.5f);
    EXPECT_EQ(lumra_apply_profile_gain_table_map(image.get(), map.gains.data(), 1, 1, 0, map.weights, 1, 1, 0, 0, 1,
                                                 1),
              LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(lumra_apply_profile_gain_table_map(image.get(), map.gains.data(), 1, 1, 1, nullptr, 1, 1, 0, 0, 1, 1),
              LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(image.pixels, std::vector<float>(6, 0.5f));
    Image<float> empty(0, 3, 3);
    EXPECT_EQ(run(empty, map), LUMRA_OK);
}

}  // namespace
