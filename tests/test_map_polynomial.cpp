// The polynomial map against a plain per-sample reading of each evaluation
// form, bit for bit, and against the odd-symmetric polynomial it stands for.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "lumra.h"
#include "support/correct_reference.h"
#include "support/image.h"
#include "support/isa_levels.h"

namespace {

using lumra_test::Image;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

LumraStatus map_all(Image<float>& image, const std::vector<float>& c) {
    return lumra_map_polynomial(image.get(), 0, 0, 0, 0, 0, 3, 1, 1, c.data(), static_cast<int>(c.size()) - 1);
}

float map_one(float x, const std::vector<float>& c) {
    Image<float> image(1, 1, 1);
    image.pixels[0] = x;
    EXPECT_EQ(map_all(image, c), LUMRA_OK);
    return image.pixels[0];
}

TEST(MapPolynomial, WorkedExamples) {
    EXPECT_EQ(map_one(0.3f, {2.5f}), 1.0f);
    EXPECT_EQ(map_one(kNaN, {2.5f}), 1.0f);
    EXPECT_EQ(map_one(0.3f, {-3.0f}), -1.0f);
    EXPECT_EQ(map_one(0.5f, {0, 0, 1}), 0.25f);
    EXPECT_EQ(map_one(-0.5f, {0, 0, 1}), -0.25f);
    EXPECT_EQ(map_one(-0.8f, {0.1f, 2}), -1.0f);
    EXPECT_EQ(map_one(0.3f, {0.1f, 2}), 2.0f * 0.3f + 0.1f);
    EXPECT_EQ(map_one(kNaN, {0.1f, 2}), 1.0f);
    EXPECT_EQ(map_one(-kInf, {0.0f, 1}), -1.0f);
}

TEST(MapPolynomial, EvenPowersFollowTheSignOfTheSample) {
    // Every form against c0 + sign(x) * sum(ck |x|^k) in double precision.
    for (int degree = 1; degree <= 11; ++degree) {
        std::vector<float> c(degree + 1);
        lumra_test::fill_random(c, -0.3f, 0.3f);
        for (float x : {-0.9f, -0.5f, -0.1f, 0.0f, 0.2f, 0.7f}) {
            double sum = 0;
            for (int k = 1; k <= degree; ++k) sum += c[k] * std::pow(std::fabs(static_cast<double>(x)), k);
            const double expected = c[0] + (x < 0 ? -sum : sum);
            EXPECT_NEAR(map_one(x, c), expected, 1e-6) << "degree " << degree << " x " << x;
        }
    }
}

class MapPolynomialPaths : public lumra_test::EveryLevel {};

TEST_P(MapPolynomialPaths, EveryFormMatchesThePlainReadingBitForBit) {
    std::vector<float> inputs(4000);
    lumra_test::fill_random(inputs, -1.2f, 1.2f);
    const float specials[] = {kNaN, kInf, -kInf, -0.0f, 0.0f, 1.0f, -1.0f, 1e-30f, -1e30f, 2.0f};
    std::copy(std::begin(specials), std::end(specials), inputs.begin());
    for (int degree = 0; degree <= 13; ++degree) {
        std::vector<float> c(degree + 1);
        lumra_test::fill_random(c, -1.0f, 1.0f);
        Image<float> image(40, 100, 1);
        image.pixels = inputs;
        std::vector<float> expected = inputs;
        lumra_test::reference_map_polynomial(expected, 40, 100, 1, 0, 0, 0, 0, 0, 1, 1, 1, c.data(), degree);
        ASSERT_EQ(map_all(image, c), LUMRA_OK);
        EXPECT_TRUE(lumra_test::same_bits(image.pixels, expected)) << "degree " << degree;
    }
}

TEST_P(MapPolynomialPaths, AreasPlanesAndPitchesTouchOnlyTheLattice) {
    struct Case {
        int height, width, channels, top, left, bottom, right, plane, planes, row_pitch, col_pitch, degree;
    };
    const Case cases[] = {
        {5, 7, 3, 0, 0, 0, 0, 2, 3, 1, 1, 3},   // channel 2 only
        {5, 7, 3, 0, 0, 0, 0, 0, 3, 1, 2, 2},   // every second pixel, all channels
        {6, 9, 3, 1, 2, 5, 9, 1, 1, 2, 3, 4},
        {6, 9, 1, 5, 0, 6, 1, 0, 1, 1, 1, 6},   // last row, first column
        {6, 9, 1, 0, 3, 0, 8, 0, 9, 4, 4, 7},   // all rows, some columns
        {6, 9, 3, 2, 0, 6, 0, 0, 2, 3, 1, 5},   // some rows, all columns
        {9, 4, 3, 0, 0, 9, 4, 1, 2, 7, 5, 1},   // pitches beyond the area
        {3, 33, 3, 0, 1, 3, 32, 0, 3, 1, 1, 9}, // odd run lengths around the block size
        {4, 4, 3, 0, 0, 0, 0, 3, 1, 1, 1, 2},   // plane past the channels: nothing
        {4, 4, 3, 0, 0, 0, 0, 1, -2, 1, 1, 2},  // negative plane count: nothing
        {4, 4, 1, 2, 1, 2, 3, 0, 1, 1, 1, 2},   // empty rows: nothing
        {4, 4, 1, 0, 0, 0, 0, 0, 1, 2147483647, 2147483647, 3},
    };
    for (const Case& t : cases) {
        Image<float> image(t.height, t.width, t.channels);
        lumra_test::fill_random(image.pixels, -1.5f, 1.5f);
        std::vector<float> c(t.degree + 1);
        lumra_test::fill_random(c, -0.5f, 0.5f);
        std::vector<float> expected = image.pixels;
        lumra_test::reference_map_polynomial(expected, t.height, t.width, t.channels, t.top, t.left, t.bottom,
                                             t.right, t.plane, t.planes, t.row_pitch, t.col_pitch, c.data(),
                                             t.degree);
        ASSERT_EQ(lumra_map_polynomial(image.get(), t.top, t.left, t.bottom, t.right, t.plane, t.planes,
                                       t.row_pitch, t.col_pitch, c.data(), t.degree),
                  LUMRA_OK);
        EXPECT_TRUE(lumra_test::same_bits(image.pixels, expected))
            << t.height << "x" << t.width << "x" << t.channels << " area " << t.top << "," << t.left << ","
            << t.bottom << "," << t.right << " planes " << t.plane << "+" << t.planes << " degree " << t.degree;
    }
}

LUMRA_AT_EVERY_LEVEL(MapPolynomialPaths);

TEST(MapPolynomial, RefusesChannelCountsAndAreasOutsideTheImage) {
    const std::vector<float> c = {0.0f, 1.0f};
    for (uint64_t channels : {2u, 4u}) {
        Image<float> image(2, 2, channels);
        EXPECT_EQ(lumra_map_polynomial(image.get(), 0, 0, 0, 0, 0, 1, 1, 1, c.data(), 1), LUMRA_ERR_INVALID_ARGUMENT);
    }
    Image<float> image(4, 5, 3);
    lumra_test::fill_random(image.pixels, -1.0f, 1.0f);
    const Image<float> before = image;
    struct Area {
        int top, left, bottom, right, plane;
    };
    const Area refused[] = {{0, 0, 0, 0, -1}, {-1, 0, 2, 0, 0}, {3, 0, 2, 0, 0}, {0, 0, 5, 0, 0},
                            {2, 0, 0, 0, 0},  {0, -1, 0, 2, 0}, {0, 3, 0, 2, 0}, {0, 0, 0, 6, 0},
                            {0, 4, 0, 0, 0}};
    for (const Area& a : refused)
        EXPECT_EQ(lumra_map_polynomial(image.get(), a.top, a.left, a.bottom, a.right, a.plane, 3, 1, 1, c.data(), 1),
                  LUMRA_ERR_INVALID_ARGUMENT)
            << a.top << "," << a.left << "," << a.bottom << "," << a.right << " plane " << a.plane;
    // The specified checks still come first.
    EXPECT_EQ(lumra_map_polynomial(image.get(), -1, 0, 0, 0, 0, 3, 0, 1, c.data(), 1), LUMRA_ERR_INVALID_ARGUMENT);
    image.desc.dtype = LUMRA_DTYPE_UINT8;
    EXPECT_EQ(lumra_map_polynomial(image.get(), -1, 0, 0, 0, -1, 3, 1, 1, c.data(), 1), LUMRA_ERR_UNSUPPORTED);
    image.desc.dtype = LUMRA_DTYPE_FLOAT32;
    // An empty range inside the image is accepted and changes nothing.
    EXPECT_EQ(lumra_map_polynomial(image.get(), 2, 0, 2, 0, 0, 3, 1, 1, c.data(), 1), LUMRA_OK);
    EXPECT_EQ(lumra_map_polynomial(image.get(), 0, 5, 0, 5, 0, 3, 1, 1, c.data(), 1), LUMRA_OK);
    EXPECT_TRUE(lumra_test::same_bits(image.pixels, before.pixels));
}

}  // namespace
