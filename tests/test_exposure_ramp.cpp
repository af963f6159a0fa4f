// Exposure ramp: the plain reading on random samples for several ramps, the
// worked edge cases, in-place use, and calls whose results are left open.
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

using lumra_test::Image;

struct Ramp {
    double white, black, width;
};

// Odd pixel counts leave a remainder after any four-sample blocks.
Image<float> random_image(uint64_t height, uint64_t width, float low, float high) {
    Image<float> image(height, width, 3);
    lumra_test::fill_random(image.pixels, low, high);
    return image;
}

TEST(ExposureRamp, MatchesPlainReadingOnRandomSamples) {
    // The toe-free ramps (a zero width, or one too narrow to move toe_low
    // off the black level) take a shorter path.
    const Ramp ramps[] = {{1.0, 0.0, 0.1}, {0.8, 0.05, 0.2}, {1.0, 0.05, 100.0}, {1.0, 0.1, 0.0},
                          {2.5, -0.1, 0.04}, {0.3, 0.25, 1.0}, {1.0, 0.2, -0.2}, {0.7, 0.0, 0.0},
                          {3.0, 1.0, 1e-9}};
    for (const Ramp& ramp : ramps) {
        for (bool overrange : {false, true}) {
            SCOPED_TRACE(testing::Message() << ramp.white << " " << ramp.black << " " << ramp.width << " "
                                            << overrange);
            const Image<float> src = random_image(5, 7, -0.5f, 2.5f);
            Image<float> dst(5, 7, 3);
            ASSERT_EQ(lumra_apply_exposure_ramp(src.get(), dst.get(), ramp.white, ramp.black, ramp.width, overrange),
                      LUMRA_OK);
            std::vector<float> expected(src.pixels.size());
            for (size_t i = 0; i < expected.size(); ++i)
                expected[i] =
                    lumra_test::reference_exposure_ramp(src.pixels[i], ramp.white, ramp.black, ramp.width, overrange);
            EXPECT_TRUE(lumra_test::same_bits(dst.pixels, expected));
        }
    }
}

TEST(ExposureRamp, ToeFreeRampsAtAndAroundTheBlackLevel) {
    const float inf = std::numeric_limits<float>::infinity();
    Image<float> src(3, 3, 3);
    src.pixels = {0.0f, -0.0f, 1.0f, std::nextafter(1.0f, 0.0f), std::nextafter(1.0f, 2.0f), inf, -inf, 1e-30f,
                  -1e-30f, 0.7f, 3.0f, 5.0f, 0.5f, 1.5f, 2.0f, 1e30f, -2.0f, 0.25f, 1.0f, 0.0f, 2.9f,
                  0.1f, 0.2f, 0.3f, 0.4f, 0.6f, 0.8f};
    for (const Ramp ramp : {Ramp{0.7, 0.0, 0.0}, Ramp{3.0, 1.0, 0.0}, Ramp{3.0, 1.0, 1e-9}}) {
        for (bool overrange : {false, true}) {
            Image<float> dst(3, 3, 3);
            ASSERT_EQ(lumra_apply_exposure_ramp(src.get(), dst.get(), ramp.white, ramp.black, ramp.width, overrange),
                      LUMRA_OK);
            for (size_t i = 0; i < src.pixels.size(); ++i) {
                const float expected =
                    lumra_test::reference_exposure_ramp(src.pixels[i], ramp.white, ramp.black, ramp.width, overrange);
                EXPECT_TRUE(lumra_test::same_bits(std::vector<float>{dst.pixels[i]}, std::vector<float>{expected}))
                    << ramp.black << " " << ramp.width << " " << overrange << " at " << src.pixels[i];
            }
        }
    }
}

TEST(ExposureRamp, EveryLevelGivesTheSameBits) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float specials[] = {nan, -nan, inf, -inf, 0.0f, -0.0f, 1.0f, 0.1f, 1e-40f, -1e-40f};
    Image<float> src = random_image(3, 337, -0.5f, 2.5f);
    for (size_t i = 0; i < src.pixels.size(); i += 7) src.pixels[i] = specials[(i / 7) % 10];
    const Ramp ramps[] = {{0.7, 0.0, 0.0}, {1.0, 0.1, 0.0}, {3.0, 1.0, 1e-9}, {0.8, 0.05, 0.2}};
    for (const Ramp& ramp : ramps) {
        for (bool overrange : {false, true}) {
            std::vector<std::vector<float>> results;
            for (lumra::simd::Level level : lumra_test::machine_levels()) {
                const lumra_test::LevelCap cap(level);
                results.emplace_back(src.pixels.size());
                lumra::apply_exposure_ramp_kernel(src.pixels.data(), results.back().data(), 3, 337, ramp.white,
                                                  ramp.black, ramp.width, overrange);
            }
            for (size_t k = 1; k < results.size(); ++k)
                EXPECT_TRUE(lumra_test::same_bits(results[0], results[k])) << ramp.black << " " << overrange << " " << k;
        }
    }
}

TEST(ExposureRamp, InPlaceEqualsSeparateBuffers) {
    Image<float> image = random_image(3, 11, -0.2f, 1.5f);
    Image<float> separate(3, 11, 3);
    ASSERT_EQ(lumra_apply_exposure_ramp(image.get(), separate.get(), 0.9, 0.1, 0.3, true), LUMRA_OK);
    ASSERT_EQ(lumra_apply_exposure_ramp(image.get(), image.get(), 0.9, 0.1, 0.3, true), LUMRA_OK);
    EXPECT_TRUE(lumra_test::same_bits(image.pixels, separate.pixels));
}

TEST(ExposureRamp, PointsOnTheRamp) {
    // white 1, black 0.2, width 0.1: radius 0.05, toe from 0.15 to 0.25.
    const float toe_high = 0.2f + 0.05f;
    Image<float> src(1, 4, 3);
    src.pixels = {1.0f, 2.0f, 0.2f, toe_high, 0.15f, 0.1f, -1.0f, 0.175f, 0.0f, 0.5f, 1.0f, 0.0f};
    Image<float> clamped(1, 4, 3), open(1, 4, 3);
    ASSERT_EQ(lumra_apply_exposure_ramp(src.get(), clamped.get(), 1.0, 0.2, 0.1, false), LUMRA_OK);
    ASSERT_EQ(lumra_apply_exposure_ramp(src.get(), open.get(), 1.0, 0.2, 0.1, true), LUMRA_OK);
    const float slope = 1.0f / 0.8f;
    EXPECT_FLOAT_EQ(clamped.pixels[0], 1.0f);            // white maps to 1
    EXPECT_EQ(clamped.pixels[1], 1.0f);                  // above white, clamped
    EXPECT_FLOAT_EQ(open.pixels[1], 2.25f);              // above white, kept
    EXPECT_FLOAT_EQ(clamped.pixels[2], 0.05f * 0.05f * slope / (4.0f * 0.05f));  // toe centre: radius x slope / 4
    EXPECT_EQ(clamped.pixels[3], (toe_high - 0.2f) * slope);  // toe_high takes the line
    EXPECT_EQ(clamped.pixels[4], 0.0f);                  // toe_low and below give 0
    EXPECT_EQ(clamped.pixels[6], 0.0f);

    // A zero ramp width: the black level itself gives 0, anything above the line.
    Image<float> sharp(1, 4, 3);
    ASSERT_EQ(lumra_apply_exposure_ramp(src.get(), sharp.get(), 1.0, 0.2, 0.0, false), LUMRA_OK);
    EXPECT_EQ(sharp.pixels[2], 0.0f);
    EXPECT_EQ(sharp.pixels[7], 0.0f);
    EXPECT_EQ(sharp.pixels[9], (0.5f - 0.2f) * slope);

    // A huge width is capped at span / 16: toe from 0.15 to 0.25 again.
    Image<float> wide(1, 4, 3);
    ASSERT_EQ(lumra_apply_exposure_ramp(src.get(), wide.get(), 1.0, 0.2, 1000.0, false), LUMRA_OK);
    EXPECT_EQ(wide.pixels[4], 0.0f);
    EXPECT_GT(wide.pixels[7], 0.0f);
    EXPECT_EQ(wide.pixels[3], (toe_high - 0.2f) * slope);
}

TEST(ExposureRamp, OpenCasesStayInsideTheBuffers) {
    // White at or below black and NaN samples: any result, but no fault.
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    Image<float> src(1, 3, 3);
    src.pixels = {nan, inf, -inf, 0.0f, 1.0f, -1.0f, 1e38f, -1e38f, 0.5f};
    Image<float> dst(1, 3, 3);
    const double levels[][3] = {{0.5, 0.5, 0.1}, {0.2, 0.8, 0.1}, {1e300, -1e300, 1e300}, {nan, 0.0, nan}};
    for (const auto& l : levels) {
        for (bool overrange : {false, true})
            EXPECT_EQ(lumra_apply_exposure_ramp(src.get(), dst.get(), l[0], l[1], l[2], overrange), LUMRA_OK);
    }
}

TEST(ExposureRamp, EntryChecks) {
    Image<float> empty_src(0, 5, 3), empty_dst(0, 5, 3);
    EXPECT_EQ(lumra_apply_exposure_ramp(empty_src.get(), empty_dst.get(), 1.0, 0.0, 0.1, false), LUMRA_OK);
    Image<float> one(1, 1, 1);
    Image<uint8_t> bytes(1, 1, 3);
    EXPECT_EQ(lumra_apply_exposure_ramp(one.get(), bytes.get(), 1.0, 0.0, 0.1, false), LUMRA_ERR_UNSUPPORTED);
    Image<float> src(1, 2, 3), dst(1, 3, 3);
    dst.pixels.assign(dst.pixels.size(), 7.0f);
    EXPECT_EQ(lumra_apply_exposure_ramp(src.get(), dst.get(), 1.0, 0.0, 0.1, false), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(dst.pixels, std::vector<float>(9, 7.0f));
}

}  // namespace
