// Radial vignette correction against a plain per-pixel reading, bit for bit.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "lumra.h"
#include "support/correct_reference.h"
#include "support/image.h"
#include "support/isa_levels.h"

namespace {

using lumra_test::Image;

TEST(Vignette, ZeroCoefficientOnlyLimitsToTheUnitRange) {
    Image<float> image(3, 4, 2);
    lumra_test::fill_random(image.pixels, -0.5f, 1.5f);
    image.pixels[0] = std::numeric_limits<float>::quiet_NaN();
    const Image<float> before = image;
    const double k0 = 0.0;
    ASSERT_EQ(lumra_fix_vignette(image.get(), &k0, 1, 0.5, 0.5), LUMRA_OK);
    EXPECT_EQ(image.pixels[0], 1.0f);
    for (size_t i = 1; i < image.pixels.size(); ++i)
        EXPECT_EQ(image.pixels[i], std::min(std::max(before.pixels[i], 0.0f), 1.0f));
}

TEST(Vignette, CornerOfACentredSquareSitsAtRadiusOne) {
    Image<float> image(100, 100, 1);
    std::fill(image.pixels.begin(), image.pixels.end(), 0.25f);
    const double k[] = {0.5, 0.25, 0.125, 0.0625, 0.03125};
    ASSERT_EQ(lumra_fix_vignette(image.get(), k, 5, 0.5, 0.5), LUMRA_OK);
    // Pixel (0, 0) is (50, 50) from the centre, D = sqrt(5000): q = 1.
    EXPECT_FLOAT_EQ(image.at(0, 0), 0.25f * static_cast<float>(1 + 0.5 + 0.25 + 0.125 + 0.0625 + 0.03125));
    // Nine coefficients behave as five.
    Image<float> again(100, 100, 1);
    std::fill(again.pixels.begin(), again.pixels.end(), 0.25f);
    const double nine[] = {0.5, 0.25, 0.125, 0.0625, 0.03125, 100, 100, 100, 100};
    ASSERT_EQ(lumra_fix_vignette(again.get(), nine, 9, 0.5, 0.5), LUMRA_OK);
    EXPECT_TRUE(lumra_test::same_bits(again.pixels, image.pixels));
}

TEST(Vignette, CentreAtTheOriginLeavesTheFirstPixelAlone) {
    Image<float> image(30, 40, 3);
    std::fill(image.pixels.begin(), image.pixels.end(), 0.5f);
    const double k[] = {1.0, 1.0};
    ASSERT_EQ(lumra_fix_vignette(image.get(), k, 2, 0.0, 0.0), LUMRA_OK);
    EXPECT_EQ(image.at(0, 0, 0), 0.5f);
    EXPECT_EQ(image.at(0, 0, 2), 0.5f);
    // The far corner pixel (29, 39) is just inside the diagonal of 50.
    const double q = (29.0 * 29 + 39.0 * 39) / 2500.0;
    EXPECT_FLOAT_EQ(image.at(29, 39, 1), std::min(1.0f, 0.5f * static_cast<float>(1 + q + q * q)));
}

TEST(Vignette, TinyImagesUseUnitNormaliser) {
    Image<float> image(1, 1, 1);
    image.pixels[0] = 0.5f;
    const double k0 = -1.0;
    // The centre (0.5, 0.5) is closer than 1 to every corner, so D = 1 and
    // pixel (0, 0) has q = 0.5.
    ASSERT_EQ(lumra_fix_vignette(image.get(), &k0, 1, 0.5, 0.5), LUMRA_OK);
    EXPECT_EQ(image.pixels[0], 0.25f);
}

class VignettePaths : public lumra_test::EveryLevel {};

TEST_P(VignettePaths, MatchesThePlainReadingOnAnyChannelCount) {
    const int shapes[][3] = {{1, 1, 1}, {7, 5, 1}, {9, 300, 3}, {5, 8, 2}, {4, 6, 7}, {3, 5, 8}, {3, 4, 11},
                             {2, 3, 16}, {2, 2, 19}};
    const double centres[][2] = {{0.5, 0.5}, {0.0, 1.0}, {-0.3, 0.7}, {1.5, 2.0}};
    for (const auto& shape : shapes)
        for (const auto& centre : centres)
            for (int count = 1; count <= 6; ++count) {
                Image<float> image(shape[0], shape[1], shape[2]);
                lumra_test::fill_random(image.pixels, -0.2f, 1.2f);
                std::vector<double> k(count);
                for (double& v : k) v = lumra_test::uniform(-1.0f, 1.0f);
                std::vector<float> expected = image.pixels;
                lumra_test::reference_vignette(expected, shape[0], shape[1], shape[2], k.data(), count, centre[0],
                                               centre[1]);
                ASSERT_EQ(lumra_fix_vignette(image.get(), k.data(), count, centre[0], centre[1]), LUMRA_OK);
                ASSERT_TRUE(lumra_test::same_bits(image.pixels, expected))
                    << shape[0] << "x" << shape[1] << "x" << shape[2] << " terms " << count;
            }
}

LUMRA_AT_EVERY_LEVEL(VignettePaths);

TEST(Vignette, EmptyImagesSucceedWithoutWork) {
    const double k0 = 1.0;
    for (const auto& shape : {std::array<uint64_t, 3>{0, 4, 1}, {4, 0, 1}, {4, 4, 0}}) {
        Image<float> image(shape[0], shape[1], shape[2]);
        EXPECT_EQ(lumra_fix_vignette(image.get(), &k0, 1, 0.5, 0.5), LUMRA_OK);
    }
}

}  // namespace
