// Hue/saturation/value map: differential tests against the plain reading, the
// worked examples, and pixels the table cannot place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "lumra.h"
#include "profile/profile_kernels.h"
#include "support/image.h"
#include "support/isa_levels.h"
#include "support/profile_reference.h"

namespace {

using lumra_test::Image;
using lumra_test::uniform;

size_t map_floats(int hue, int sat, int val) { return static_cast<size_t>(val > 1 ? val : 1) * hue * sat * 3; }

// Hue shifts from -400 to 400 degrees (past a full turn both ways), scales on
// both sides of 1 and down to 0, so grey and clamped results occur too.
std::vector<float> random_map(int hue, int sat, int val) {
    std::vector<float> map(map_floats(hue, sat, val));
    for (size_t i = 0; i < map.size(); i += 3) {
        map[i] = uniform(-400.0f, 400.0f);
        map[i + 1] = uniform(0.0f, 2.0f);
        map[i + 2] = uniform(0.0f, 2.0f);
    }
    return map;
}

std::vector<float> constant_map(int hue, int sat, int val, float shift, float sat_scale, float val_scale) {
    std::vector<float> map(map_floats(hue, sat, val));
    for (size_t i = 0; i < map.size(); i += 3) map[i] = shift, map[i + 1] = sat_scale, map[i + 2] = val_scale;
    return map;
}

// Runs the entry on the pixels and returns its status.
LumraStatus run(std::vector<float>& pixels, const std::vector<float>& map, int hue, int sat, int val) {
    LumraImage image{pixels.data(), 1, pixels.size() / 3, 3, LUMRA_DTYPE_FLOAT32, 0};
    return lumra_apply_hue_sat_map(&image, map.data(), hue, sat, val);
}

// Runs the entry, and checks that every narrower level (the baseline's blocks
// of four, AVX2's blocks of eight) gives the same bits as the widest one.
std::vector<float> apply(std::vector<float> pixels, const std::vector<float>& map, int hue, int sat, int val) {
    const std::vector<float> before = pixels;
    EXPECT_EQ(run(pixels, map, hue, sat, val), LUMRA_OK);
    lumra_test::at_every_level([&] {
        std::vector<float> narrower = before;
        EXPECT_EQ(run(narrower, map, hue, sat, val), LUMRA_OK);
        EXPECT_TRUE(lumra_test::same_bits(pixels, narrower));
    });
    return pixels;
}

std::vector<float> reference(std::vector<float> pixels, const std::vector<float>& map, int hue, int sat, int val) {
    lumra_test::reference_hue_sat_map(pixels, map, hue, sat, val);
    return pixels;
}

TEST(HueSatMap, MatchesPlainReadingForAwkwardTableSizes) {
    for (int hue : {1, 2, 6, 90}) {
        for (int sat : {2, 3, 30}) {
            for (int val : {0, 1, 2, 5}) {
                SCOPED_TRACE(testing::Message() << hue << " x " << sat << " x " << val);
                const std::vector<float> map = random_map(hue, sat, val);
                std::vector<float> pixels(3 * 301);  // blocks of sixteen, eight and four pixels and a remainder
                lumra_test::fill_random(pixels, 0.0f, 1.0f);
                for (size_t i = 0; i < 300; ++i) pixels[i] *= 1.5f;  // some components above 1
                pixels[0] = pixels[1] = pixels[2] = 0.5f;           // grey
                pixels[3] = 1.0f, pixels[4] = 0.0f, pixels[5] = 1e-7f;  // hue just below 6
                EXPECT_TRUE(lumra_test::same_bits(apply(pixels, map, hue, sat, val),
                                                  reference(pixels, map, hue, sat, val)));
            }
        }
    }
}

TEST(HueSatMap, ValueAxisOfZeroOrOneIsTheSameSingleSlice) {
    const std::vector<float> map = random_map(6, 3, 1);
    std::vector<float> pixels(3 * 200);
    lumra_test::fill_random(pixels, 0.0f, 1.2f);
    EXPECT_TRUE(lumra_test::same_bits(apply(pixels, map, 6, 3, 0), apply(pixels, map, 6, 3, 1)));
}

TEST(HueSatMap, IdentityTableKeepsPixelsUpToRounding) {
    const std::vector<float> map = constant_map(90, 30, 0, 0.0f, 1.0f, 1.0f);
    std::vector<float> pixels(3 * 500);
    lumra_test::fill_random(pixels, 0.0f, 1.0f);
    const std::vector<float> out = apply(pixels, map, 90, 30, 0);
    for (size_t i = 0; i < pixels.size(); ++i) EXPECT_NEAR(out[i], pixels[i], 2e-6f) << i;
}

TEST(HueSatMap, HueShiftsByWholeAndPartTurns) {
    // -60 degrees turns green into yellow; 360 degrees changes nothing.
    std::vector<float> green = {0.0f, 1.0f, 0.0f};
    const std::vector<float> yellow = apply(green, constant_map(6, 2, 0, -60.0f, 1.0f, 1.0f), 6, 2, 0);
    EXPECT_NEAR(yellow[0], 1.0f, 1e-6f);
    EXPECT_FLOAT_EQ(yellow[1], 1.0f);
    EXPECT_FLOAT_EQ(yellow[2], 0.0f);

    // A tiny negative shift of red wraps to a hue of exactly 6, sextant 6.
    for (size_t count : {1, 4}) {
        std::vector<float> reds(3 * count, 0.0f);
        for (size_t i = 0; i < reds.size(); i += 3) reds[i] = 0.75f;
        EXPECT_TRUE(lumra_test::same_bits(apply(reds, constant_map(6, 2, 0, -1e-6f, 1.0f, 1.0f), 6, 2, 0), reds));
    }

    std::vector<float> pixels(3 * 300);
    lumra_test::fill_random(pixels, 0.0f, 1.0f);
    const std::vector<float> turned = apply(pixels, constant_map(90, 3, 0, 360.0f, 1.0f, 1.0f), 90, 3, 0);
    for (size_t i = 0; i < pixels.size(); ++i) EXPECT_NEAR(turned[i], pixels[i], 1e-5f) << i;
}

TEST(HueSatMap, GreyPixelsAndSaturationDrivenToZeroStayGrey) {
    // Value scale 1.5 in the hue-0, saturation-0 entry only; a grey pixel reads
    // exactly that entry and is clamped to 1.
    std::vector<float> map = constant_map(6, 3, 0, 30.0f, 1.0f, 0.5f);
    map[2] = 1.5f;
    std::vector<float> greys = {0.25f, 0.25f, 0.25f, 0.9f, 0.9f, 0.9f, 0.0f, 0.0f, 0.0f};
    const std::vector<float> out = apply(greys, map, 6, 3, 0);
    const std::vector<float> expected = {0.375f, 0.375f, 0.375f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f};
    EXPECT_TRUE(lumra_test::same_bits(out, expected));

    std::vector<float> colour = {0.8f, 0.3f, 0.1f};
    const std::vector<float> flat = apply(colour, constant_map(6, 3, 0, 0.0f, -1.0f, 1.0f), 6, 3, 0);
    EXPECT_TRUE(lumra_test::same_bits(flat, std::vector<float>{0.8f, 0.8f, 0.8f}));
}

TEST(HueSatMap, HueRowsWrapAroundTheCircle) {
    // Value scales 1, 0.9, ..., 0.5 by hue row with six rows: red reads row 0
    // only; a hue just below 6 blends rows 5 and 0, almost entirely row 0.
    std::vector<float> map = constant_map(6, 2, 0, 0.0f, 1.0f, 1.0f);
    for (int h = 0; h < 6; ++h) map[(h * 2 + 0) * 3 + 2] = map[(h * 2 + 1) * 3 + 2] = 1.0f - 0.1f * h;
    std::vector<float> pixels = {0.5f, 0.0f, 0.0f, 0.5f, 0.0f, 0.001f, 0.5f, 0.0f, 0.25f};
    const std::vector<float> out = apply(pixels, map, 6, 2, 0);
    EXPECT_EQ(out[0], 0.5f);
    EXPECT_NEAR(out[3], 0.5f * (1.0f - 0.5f * 0.002f), 1e-6f);  // fraction 0.998 towards row 0
    EXPECT_NEAR(out[6], 0.5f * (0.5f * 0.5f + 0.5f * 1.0f), 1e-6f);  // hue 5.5
}

TEST(HueSatMap, PixelsOutsideTheTableDomainAreLeftUnchanged) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::vector<float> pixels = {nan, 0.5f, 0.2f, 0.1f, inf, 0.2f, 0.3f, 0.2f, -inf, -0.5f, -0.1f, -0.2f,
                                 -0.5f, 0.0f, -0.1f, 0.0f, -1.0f, 0.0f, -1.0f, -1.0f, -1.0f};
    for (int val : {0, 5}) {
        const std::vector<float> map = random_map(90, 30, val);
        EXPECT_TRUE(lumra_test::same_bits(apply(pixels, map, 90, 30, val), pixels));
        for (size_t i = 0; i < pixels.size(); i += 3) {
            const std::vector<float> one(pixels.begin() + i, pixels.begin() + i + 3);
            EXPECT_TRUE(lumra_test::same_bits(apply(one, map, 90, 30, val), one));
        }
    }
}

TEST(HueSatMap, OddPixelsAmongOrdinaryOnesAtEveryPlaceOfABlock) {
    // Blocks holding one pixel the table cannot place, or one whose shift
    // passes a turn, are taken pixel by pixel; their neighbours must come out
    // as everywhere else.
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float odd[][3] = {{nan, 0.5f, 0.2f}, {0.1f, inf, 0.2f}, {-0.5f, 0.0f, -0.1f}, {-1.0f, -1.0f, -1.0f}};
    std::vector<float> map = random_map(6, 3, 2);
    for (size_t i = 0; i < map.size(); i += 3) map[i] = 10.0f;
    for (int l = 0; l < 2; ++l) {
        for (int sat = 0; sat < 3; ++sat) map[(l * 6 * 3 + sat) * 3] = 1000.0f;  // hue row 0: red passes a turn
    }
    for (int place = 0; place < 16; ++place) {
        for (const auto& pixel : odd) {
            std::vector<float> pixels(3 * 35);
            lumra_test::fill_random(pixels, 0.05f, 1.0f);
            pixels[3 * (16 + place)] = 0.9f, pixels[3 * (16 + place) + 1] = pixels[3 * (16 + place) + 2] = 0.0f;
            for (int k = 0; k < 3; ++k) pixels[3 * place + k] = pixel[k];
            EXPECT_TRUE(lumra_test::same_bits(apply(pixels, map, 6, 3, 2), reference(pixels, map, 6, 3, 2)));
        }
    }
}

TEST(HueSatMap, ExtremePixelsFollowTheArithmeticWithinTheTable) {
    // A positive largest component keeps the arithmetic even with negative or
    // huge others: saturation far above 1 reads the last saturation pair, and
    // values far above 1 extrapolate from the last value slices.
    const float big = 3.0e38f;
    std::vector<float> pixels = {1.0f,  -5.0f, 0.5f, 1e-30f, -1e30f, 0.0f,  big,  -big,  big,  big,   big, big,
                                 2e30f, 1.0f,  0.0f, 0.1f,   -0.0f,  -0.2f, 40.f, 0.25f, 3.0f, 1e-45f, 0.0f, 0.0f};
    for (int hue : {1, 6, 90}) {
        for (int val : {0, 2, 5}) {
            SCOPED_TRACE(testing::Message() << hue << " x 3 x " << val);
            const std::vector<float> map = random_map(hue, 3, val);
            EXPECT_TRUE(lumra_test::same_bits(apply(pixels, map, hue, 3, val), reference(pixels, map, hue, 3, val)));
            for (size_t i = 0; i < pixels.size(); i += 3) {  // one at a time: the single-pixel path
                const std::vector<float> one(pixels.begin() + i, pixels.begin() + i + 3);
                EXPECT_TRUE(lumra_test::same_bits(apply(one, map, hue, 3, val), reference(one, map, hue, 3, val)));
            }
        }
    }
}

TEST(HueSatMap, HugeShiftsAndNonFiniteEntriesFollowTheArithmetic) {
    // Shifts of many turns take the general remainder; NaN and infinite
    // entries give NaN hues (pixel unchanged), NaN saturations (grey) and so on.
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::vector<float> map = random_map(6, 3, 2);
    for (size_t i = 0; i < map.size(); i += 3) map[i] *= 40.0f;
    const float odd_values[] = {nan, inf, -inf, 1e30f, -1e30f};
    for (size_t i = 0; i < 5; ++i) map[7 * i + 4] = odd_values[i];
    std::vector<float> pixels(3 * 203);
    lumra_test::fill_random(pixels, 0.0f, 1.4f);
    EXPECT_TRUE(lumra_test::same_bits(apply(pixels, map, 6, 3, 2), reference(pixels, map, 6, 3, 2)));
}

TEST(HueSatMap, EntryRefusesBadArgumentsWithoutWriting) {
    const std::vector<float> map = random_map(6, 2, 0);
    std::vector<float> pixels = {0.2f, 0.4f, 0.6f};
    const std::vector<float> before = pixels;
    EXPECT_EQ(run(pixels, map, 6, 1, 0), LUMRA_ERR_INVALID_ARGUMENT);  // one saturation division
    EXPECT_EQ(run(pixels, map, 0, 2, 0), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(run(pixels, map, 6, 2, -1), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_TRUE(lumra_test::same_bits(pixels, before));
    Image<float> empty(0, 4, 3);
    EXPECT_EQ(lumra_apply_hue_sat_map(empty.get(), map.data(), 6, 2, 0), LUMRA_OK);
}

TEST(HueSatMap, KernelTakesRowsAndColumnsTogether) {
    const std::vector<float> map = random_map(6, 3, 2);
    Image<float> image(7, 5, 3);
    lumra_test::fill_random(image.pixels, 0.0f, 1.2f);
    const std::vector<float> expected = reference(image.pixels, map, 6, 3, 2);
    lumra::apply_hue_sat_map_kernel(image.pixels.data(), 7, 5, map.data(), 6, 3, 2);
    EXPECT_TRUE(lumra_test::same_bits(image.pixels, expected));
}

// The develop chain's steps before the table on a band of rows: clip and
// matrix (in pixel blocks of eight or four and a one-pixel remainder), then
// the table (12 x 3 x 1, the bundled sample's size). Every band height, with
// NaN garbage around the band's buffer, must give the whole image's bits, and
// those must be the plain arithmetic's. (The clip-and-matrix loops once read
// stack garbage in unoptimised builds, so this caught results that changed
// from run to run and with the band height.)
TEST(HueSatMap, BandsOfAnyHeightWithGarbageAroundGiveTheSameBits) {
    constexpr uint64_t kHeight = 19, kWidth = 13, kPad = 40;
    const std::vector<float> map = random_map(12, 3, 1);
    const float clip[3] = {0.9f, 1.0f, 0.8f};
    const float matrix[9] = {0.9f, 0.2f, -0.1f, 0.05f, 0.85f, 0.1f, -0.02f, 0.12f, 0.9f};
    std::vector<float> camera(kHeight * kWidth * 3);
    lumra_test::fill_random(camera, -0.05f, 1.2f);

    std::vector<float> expected = camera;
    for (size_t p = 0; p < expected.size(); p += 3) {
        float c[3], out[3];
        for (int k = 0; k < 3; ++k) c[k] = clip[k] < camera[p + k] ? clip[k] : camera[p + k];
        for (int i = 0; i < 3; ++i) {
            const float sum = (matrix[3 * i] * c[0] + matrix[3 * i + 1] * c[1]) + matrix[3 * i + 2] * c[2];
            const float low = sum > 0.0f ? sum : 0.0f;
            out[i] = low < 1.0f ? low : 1.0f;
        }
        for (int k = 0; k < 3; ++k) expected[p + k] = out[k];
    }
    lumra_test::reference_hue_sat_map(expected, map, 12, 3, 1);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (uint64_t rows = 1; rows <= kHeight; ++rows) {
        for (uint64_t top = 0; top < kHeight; top += rows) {
            SCOPED_TRACE(testing::Message() << rows << " rows from row " << top);
            const uint64_t height = std::min(rows, kHeight - top), floats = height * kWidth * 3;
            std::vector<float> src(floats + 2 * kPad, nan), band(floats + 2 * kPad, nan);
            std::copy_n(camera.begin() + static_cast<ptrdiff_t>(top * kWidth * 3), floats, src.begin() + kPad);
            LumraImage from{src.data() + kPad, height, kWidth, 3, LUMRA_DTYPE_FLOAT32, 0};
            LumraImage to{band.data() + kPad, height, kWidth, 3, LUMRA_DTYPE_FLOAT32, 0};
            ASSERT_EQ(lumra_clip_and_transform_color(&from, &to, clip, matrix), LUMRA_OK);
            ASSERT_EQ(lumra_apply_hue_sat_map(&to, map.data(), 12, 3, 1), LUMRA_OK);
            const std::vector<float> got(band.begin() + kPad, band.begin() + kPad + static_cast<ptrdiff_t>(floats));
            const std::vector<float> want(expected.begin() + static_cast<ptrdiff_t>(top * kWidth * 3),
                                          expected.begin() + static_cast<ptrdiff_t>(top * kWidth * 3 + floats));
            ASSERT_TRUE(lumra_test::same_bits(got, want));
            for (uint64_t i = 0; i < kPad; ++i)
                ASSERT_TRUE(std::isnan(band[i]) && std::isnan(band[kPad + floats + i])) << i;
        }
    }
}

}  // namespace
