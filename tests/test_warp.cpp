// Rectilinear warp against a plain per-pixel reading (geometry, bilinear and
// cubic resampling, the weight table), bit for bit, plus the identity maps
// and the border rule of the cubic window.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "correct/bicubic_weights.h"
#include "lumra.h"
#include "support/correct_reference.h"
#include "support/image.h"
#include "support/isa_levels.h"

namespace {

using lumra_test::Image;

Image<float> random_image(uint64_t height, uint64_t width, uint64_t channels, float low = 0.0f, float high = 1.0f) {
    Image<float> image(height, width, channels);
    lumra_test::fill_random(image.pixels, low, high);
    return image;
}

LumraStatus warp(const Image<float>& source, Image<float>& destination, const std::vector<double>& radial,
                 int planes, const double* tangential, bool bicubic, double cx = 0.5, double cy = 0.5) {
    return lumra_warp_rectilinear(source.get(), destination.get(), radial.data(), planes,
                                  static_cast<int>(radial.size()) / planes, tangential, cx, cy, bicubic);
}

TEST(BicubicWeights, TableIsTheNormalisedCubicKernel) {
    const float* table = lumra::bicubic_weight_table();
    ASSERT_EQ(table, lumra::bicubic_weight_table());  // built once
    const std::vector<float> expected = lumra_test::reference_bicubic_table();
    EXPECT_EQ(std::memcmp(table, expected.data(), expected.size() * sizeof(float)), 0);
    for (int e = 0; e < 32 * 32; ++e) {
        float sum = 0;
        for (int i = 0; i < 16; ++i) sum += table[e * 16 + i];
        EXPECT_NEAR(sum, 1.0f, 1e-6f) << "entry " << e;
    }
    // Fraction 0 in both directions picks the window's second row and column.
    for (int i = 0; i < 16; ++i) EXPECT_EQ(table[i], i == 5 ? 1.0f : 0.0f);
}

TEST(Warp, IdentityBilinearCopiesTheWrittenPlanes) {
    const Image<float> source = random_image(10, 14, 3, -0.5f, 1.5f);
    Image<float> destination(10, 14, 3);
    ASSERT_EQ(warp(source, destination, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}, 3, nullptr, false), LUMRA_OK);
    EXPECT_TRUE(lumra_test::same_bits(destination.pixels, source.pixels));  // not clamped either
}

TEST(Warp, OnePlaneWritesOnlyChannelZero) {
    const Image<float> source = random_image(6, 8, 3);
    Image<float> destination(6, 8, 3);
    std::fill(destination.pixels.begin(), destination.pixels.end(), -7.0f);
    ASSERT_EQ(warp(source, destination, {1.0}, 1, nullptr, false), LUMRA_OK);
    for (uint64_t r = 0; r < 6; ++r)
        for (uint64_t c = 0; c < 8; ++c) {
            EXPECT_EQ(destination.at(r, c, 0), source.at(r, c, 0));
            EXPECT_EQ(destination.at(r, c, 1), -7.0f);
            EXPECT_EQ(destination.at(r, c, 2), -7.0f);
        }
}

TEST(Warp, PositionsBeyondTheImageTakeTheEdge) {
    const Image<float> source = random_image(7, 9, 1);
    for (bool bicubic : {false, true}) {
        Image<float> destination(7, 9, 1);
        // A huge radial factor throws every pixel but the centre far outside.
        ASSERT_EQ(warp(source, destination, {50.0}, 1, nullptr, bicubic, 0.5, 0.5), LUMRA_OK);
        const float first = bicubic ? source.at(1, 1) : source.at(0, 0);
        const float last = bicubic ? source.at(4, 6) : source.at(6, 8);
        EXPECT_EQ(destination.at(0, 0), first);
        EXPECT_EQ(destination.at(6, 8), last);
    }
}

TEST(Warp, IdentityBicubicKeepsInteriorAndFollowsTheBorderRule) {
    const uint64_t height = 9, width = 11;
    const Image<float> source = random_image(height, width, 2);
    Image<float> destination(height, width, 2);
    ASSERT_EQ(warp(source, destination, {1.0, 0.0, 1.0, 0.0}, 2, nullptr, true), LUMRA_OK);
    // Column 0 reads column 1, columns W - 2 and W - 1 read W - 3; rows likewise.
    const auto source_index = [](uint64_t i, uint64_t n) { return i == 0 ? 1 : (i >= n - 2 ? n - 3 : i); };
    for (uint64_t r = 0; r < height; ++r)
        for (uint64_t c = 0; c < width; ++c)
            for (uint64_t k = 0; k < 2; ++k)
                EXPECT_NEAR(destination.at(r, c, k),
                            source.at(source_index(r, height), source_index(c, width), k), 1e-6f)
                    << r << "," << c;
    EXPECT_EQ(destination.at(0, 0, 0), source.at(1, 1, 0));
    EXPECT_EQ(destination.at(height - 1, width - 2, 1), source.at(height - 3, width - 3, 1));
}

TEST(Warp, BicubicIsLimitedToTheUnitRangeAndBilinearIsNot) {
    Image<float> source(10, 10, 1);
    std::fill(source.pixels.begin(), source.pixels.end(), 3.0f);
    source.at(2, 2) = -2.0f;
    source.at(6, 6) = std::numeric_limits<float>::quiet_NaN();
    Image<float> cubic(10, 10, 1), linear(10, 10, 1);
    ASSERT_EQ(warp(source, cubic, {1.0}, 1, nullptr, true), LUMRA_OK);
    ASSERT_EQ(warp(source, linear, {1.0}, 1, nullptr, false), LUMRA_OK);
    EXPECT_EQ(cubic.at(1, 1), 1.0f);
    EXPECT_EQ(cubic.at(2, 2), 0.0f);
    EXPECT_EQ(cubic.at(6, 6), 1.0f);  // NaN takes the upper limit
    EXPECT_EQ(linear.at(1, 1), 3.0f);
    EXPECT_EQ(linear.at(2, 2), -2.0f);
}

// Every case on each resampler path.
class WarpPaths : public lumra_test::EveryLevel {};

TEST_P(WarpPaths, MatchesThePlainReading) {
    const uint64_t shapes[][3] = {{4, 4, 1}, {5, 9, 3}, {12, 7, 4}, {16, 16, 3}, {1, 1, 1}, {2, 6, 2}, {6, 1, 3}};
    const double centres[][2] = {{0.5, 0.5}, {0.3, 0.6}, {0.0, 0.0}, {1.2, -0.4}};
    for (const auto& shape : shapes)
        for (bool bicubic : {false, true}) {
            if (bicubic && (shape[0] < 4 || shape[1] < 4)) continue;
            for (const auto& centre : centres)
                for (int planes = 1; planes <= 5; ++planes)
                    for (int radial_count : {1, 2, 3, 4, 6})
                        for (int tangent_kind = 0; tangent_kind < 3; ++tangent_kind) {
                            const Image<float> source = random_image(shape[0], shape[1], shape[2], -0.1f, 1.1f);
                            std::vector<double> radial(planes * radial_count), tangential(2 * planes);
                            for (double& k : radial) k = lumra_test::uniform(-0.2f, 0.2f);
                            for (int p = 0; p < planes; ++p) radial[p * radial_count] += 1.0;
                            for (double& k : tangential) k = lumra_test::uniform(-0.02f, 0.02f);
                            if (tangent_kind == 2) tangential[0] = tangential[1] = 0.0;  // plane 0 has none
                            const double* tangent = tangent_kind == 0 ? nullptr : tangential.data();
                            Image<float> destination(shape[0], shape[1], shape[2]);
                            lumra_test::fill_random(destination.pixels, 5.0f, 6.0f);
                            std::vector<float> expected = destination.pixels;
                            lumra_test::reference_warp(source.pixels, expected, shape[0], shape[1],
                                                       static_cast<int>(shape[2]), radial.data(), planes,
                                                       radial_count, tangent, centre[0], centre[1], bicubic);
                            ASSERT_EQ(lumra_warp_rectilinear(source.get(), destination.get(), radial.data(), planes,
                                                             radial_count, tangent, centre[0], centre[1], bicubic),
                                      LUMRA_OK);
                            ASSERT_TRUE(lumra_test::same_bits(destination.pixels, expected))
                                << shape[0] << "x" << shape[1] << "x" << shape[2] << " bicubic " << bicubic
                                << " planes " << planes << " radial " << radial_count << " tangent "
                                << tangent_kind << " centre " << centre[0] << "," << centre[1];
                        }
        }
}

// Wider images, so that the wide paths run whole groups of pixels as well
// as their leftovers, with positions reaching every border. With shared
// coefficients every plane of three- and four-channel images is warped, and
// a strong variant sends many positions to the last row and column, whose
// pixels end the buffer.
TEST_P(WarpPaths, WideImagesMatchThePlainReading) {
    const uint64_t shapes[][3] = {{37, 70, 3}, {9, 133, 1}, {20, 67, 4}, {11, 150, 3}};
    for (const auto& shape : shapes)
        for (bool bicubic : {false, true})
            for (bool shared : {false, true})
                for (double strength : {0.0, 2.0}) {
                    const Image<float> source = random_image(shape[0], shape[1], shape[2], -0.1f, 1.1f);
                    const int planes = shared && shape[2] >= 3 ? static_cast<int>(shape[2]) : 3;
                    std::vector<double> radial(planes * 4), tangential(2 * planes);
                    for (double& k : radial) k = lumra_test::uniform(-0.3f, 0.3f);
                    for (int p = 0; p < planes; ++p) radial[p * 4] += 1.0 + strength;
                    for (double& k : tangential) k = lumra_test::uniform(-0.05f, 0.05f);
                    if (shared)
                        for (int p = 1; p < planes; ++p) {
                            std::copy(radial.begin(), radial.begin() + 4, radial.begin() + p * 4);
                            tangential[2 * p] = tangential[0];
                            tangential[2 * p + 1] = tangential[1];
                        }
                    Image<float> destination(shape[0], shape[1], shape[2]);
                    std::vector<float> expected = destination.pixels;
                    lumra_test::reference_warp(source.pixels, expected, shape[0], shape[1],
                                               static_cast<int>(shape[2]), radial.data(), planes, 4,
                                               tangential.data(), 0.45, 0.55, bicubic);
                    ASSERT_EQ(lumra_warp_rectilinear(source.get(), destination.get(), radial.data(), planes, 4,
                                                     tangential.data(), 0.45, 0.55, bicubic),
                              LUMRA_OK);
                    ASSERT_TRUE(lumra_test::same_bits(destination.pixels, expected))
                        << shape[0] << "x" << shape[1] << "x" << shape[2] << " bicubic " << bicubic << " shared "
                        << shared << " strength " << strength;
                }
}

LUMRA_AT_EVERY_LEVEL(WarpPaths);

TEST(Warp, RefusesBicubicOnImagesBelowFourByFour) {
    for (const auto& size : {std::array<uint64_t, 2>{3, 10}, {10, 3}}) {
        const Image<float> source = random_image(size[0], size[1], 1);
        Image<float> destination(size[0], size[1], 1);
        const std::vector<float> before = destination.pixels;
        EXPECT_EQ(warp(source, destination, {1.0}, 1, nullptr, true), LUMRA_ERR_INVALID_ARGUMENT);
        EXPECT_TRUE(lumra_test::same_bits(destination.pixels, before));
        EXPECT_EQ(warp(source, destination, {1.0}, 1, nullptr, false), LUMRA_OK);
    }
    // Mismatched sizes are still reported first.
    const Image<float> source = random_image(3, 3, 1);
    Image<float> destination(3, 4, 1);
    EXPECT_EQ(warp(source, destination, {1.0}, 1, nullptr, true), LUMRA_ERR_DIMENSION_MISMATCH);
}

TEST(Warp, EmptyImagesWriteNothing) {
    for (const auto& size : {std::array<uint64_t, 2>{0, 5}, {5, 0}}) {
        const Image<float> source(size[0], size[1], 3);
        Image<float> destination(size[0], size[1], 3);
        EXPECT_EQ(warp(source, destination, {1.0}, 1, nullptr, false), LUMRA_OK);
    }
    // No columns but 2^40 rows: still no pixels, and the call returns at once
    // rather than walking the empty rows.
    float none = 0.0f;
    LumraImage tall{&none, uint64_t{1} << 40, 0, 1, LUMRA_DTYPE_FLOAT32, 0};
    LumraImage tall_out = tall;
    const double radial[1] = {1.0};
    EXPECT_EQ(lumra_warp_rectilinear(&tall, &tall_out, radial, 1, 1, nullptr, 0.5, 0.5, false), LUMRA_OK);
}

}  // namespace
