// lumra_bilinear_demosaic against a plain per-pixel reading, for all 81
// patterns on sizes from 1 x 1 up, with the worked cases.
#include <gtest/gtest.h>

#include <vector>

#include "lumra.h"
#include "support/image.h"
#include "support/raw_reference.h"

namespace {

std::vector<float> demosaic(const std::vector<float>& src, uint64_t height, uint64_t width, const int32_t pattern[4]) {
    std::vector<float> dst(height * width * 3, -9.0f);
    float anchor = 0.0f;
    LumraImage s{src.empty() ? &anchor : const_cast<float*>(src.data()), height, width, 1, LUMRA_DTYPE_FLOAT32, 0};
    LumraImage d{dst.empty() ? &anchor : dst.data(), height, width, 3, LUMRA_DTYPE_FLOAT32, 0};
    EXPECT_EQ(lumra_bilinear_demosaic(&s, &d, pattern), LUMRA_OK);
    return dst;
}

std::vector<float> random_mosaic(uint64_t height, uint64_t width) {
    std::vector<float> v(height * width);
    lumra_test::fill_random(v, -0.25f, 1.5f);
    return v;
}

TEST(BilinearDemosaic, EveryPatternMatchesThePlainReadingOnAwkwardSizes) {
    const uint64_t sizes[][2] = {{1, 1}, {1, 2}, {2, 1},  {1, 9}, {9, 1}, {2, 2},  {2, 7},  {3, 3},   {3, 4},
                                 {4, 3}, {5, 6}, {7, 13}, {6, 8}, {4, 9}, {3, 10}, {8, 11}, {11, 17}, {13, 31}};
    for (int code = 0; code < 81; ++code) {
        const int32_t pattern[4] = {code % 3, code / 3 % 3, code / 9 % 3, code / 27 % 3};
        for (const auto& size : sizes) {
            const auto src = random_mosaic(size[0], size[1]);
            const auto out = demosaic(src, size[0], size[1], pattern);
            ASSERT_TRUE(lumra_test::same_bits(out, lumra_test::demosaic_reference(src, size[0], size[1], pattern)))
                << "pattern " << pattern[0] << pattern[1] << pattern[2] << pattern[3] << " size " << size[0] << "x"
                << size[1];
        }
    }
}

// Zeros of either sign, huge and subnormal values keep their exact sums.
TEST(BilinearDemosaic, ExtremeValuesFollowTheSumOrder) {
    const float extremes[] = {0.0f, -0.0f, 3e38f, -3e38f, 1e-45f, 1.0f};
    const int32_t bayer[4] = {0, 1, 1, 2};
    const int32_t greens[4] = {1, 0, 2, 1};
    for (const auto* pattern : {bayer, greens}) {
        std::vector<float> src(9 * 14);
        for (auto& v : src) v = extremes[lumra_test::uniform_int(0, 5)];
        EXPECT_TRUE(
            lumra_test::same_bits(demosaic(src, 9, 14, pattern), lumra_test::demosaic_reference(src, 9, 14, pattern)));
    }
}

TEST(BilinearDemosaic, WorkedCasesOfTheBayerLayout) {
    const int32_t pattern[4] = {0, 1, 1, 2};
    // 3 x 4 image, value = 10 x row + column.
    std::vector<float> src(12);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) src[static_cast<size_t>(r * 4 + c)] = static_cast<float>(10 * r + c);
    const auto out = demosaic(src, 3, 4, pattern);
    const auto px = [&](int r, int c, int k) { return out[static_cast<size_t>((r * 4 + c) * 3 + k)]; };
    // (0, 0): own sample, right and lower neighbours, lower-right alone.
    EXPECT_EQ(px(0, 0, 0), 0.0f);
    EXPECT_EQ(px(0, 0, 1), (1.0f + 10.0f) / 2.0f);
    EXPECT_EQ(px(0, 0, 2), 11.0f);
    // Green (0, 1): left and right for channel 0, the lower neighbour alone for channel 2.
    EXPECT_EQ(px(0, 1, 0), (0.0f + 2.0f) / 2.0f);
    EXPECT_EQ(px(0, 1, 2), 11.0f);
    // Green (0, 3) on the last column: only the left neighbour.
    EXPECT_EQ(px(0, 3, 0), 2.0f);
    // Blue (1, 1): diagonal mean into channel 0, axial into 1, own into 2.
    EXPECT_EQ(px(1, 1, 0), (((0.0f + 2.0f) + 20.0f) + 22.0f) / 4.0f);
    EXPECT_EQ(px(1, 1, 1), (((1.0f + 21.0f) + 10.0f) + 12.0f) / 4.0f);
    EXPECT_EQ(px(1, 1, 2), 11.0f);
    // Red (2, 2) on the last row: three axial neighbours, two diagonal ones.
    EXPECT_EQ(px(2, 2, 1), ((12.0f + 21.0f) + 23.0f) / 3.0f);
    EXPECT_EQ(px(2, 2, 2), (11.0f + 13.0f) / 2.0f);
}

TEST(BilinearDemosaic, GreensOnEvenRowsOfTheSwappedLayout) {
    const int32_t pattern[4] = {1, 0, 2, 1};
    std::vector<float> src(25);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<float>(i * i % 17);
    const auto out = demosaic(src, 5, 5, pattern);
    // Green (2, 2): channel 0 from left and right, channel 2 from up and down.
    EXPECT_EQ(out[(2 * 5 + 2) * 3 + 0], (src[11] + src[13]) * 0.5f);
    EXPECT_EQ(out[(2 * 5 + 2) * 3 + 2], (src[7] + src[17]) * 0.5f);
    // Colour 0 sits on odd columns of even rows.
    EXPECT_EQ(out[(2 * 5 + 1) * 3 + 0], src[11]);
}

TEST(BilinearDemosaic, OneColumnTakesVerticalNeighboursOrZero) {
    const int32_t pattern[4] = {1, 0, 2, 1};  // column 0: green, colour 2, green, ...
    const std::vector<float> src{1.0f, 2.0f, 3.0f, 4.0f, 5.0f};
    const auto out = demosaic(src, 5, 1, pattern);
    // Green at row 2: vertical colour is 2, so channel 2 = (2 + 4) / 2 and channel 0 = 0.
    EXPECT_EQ(out[2 * 3 + 0], 0.0f);
    EXPECT_EQ(out[2 * 3 + 2], 3.0f);
    EXPECT_EQ(out[0 * 3 + 2], 2.0f);  // row 0: only the lower neighbour
}

TEST(BilinearDemosaic, PatternWithoutColourTwoStillFillsDiagonals) {
    const int32_t pattern[4] = {0, 1, 1, 0};
    std::vector<float> src(16);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<float>(i);
    const auto out = demosaic(src, 4, 4, pattern);
    EXPECT_EQ(out[(1 * 4 + 2) * 3 + 2], 0.0f);                                     // green site
    EXPECT_EQ(out[(1 * 4 + 1) * 3 + 2], (((0.0f + 2.0f) + 8.0f) + 10.0f) / 4.0f);  // colour 0 site
}

TEST(BilinearDemosaic, SinglePixelWritesZeroToInterpolatedChannels) {
    for (int32_t own : {0, 1, 2}) {
        const int32_t pattern[4] = {own, 0, 0, 0};
        const auto out = demosaic({0.75f}, 1, 1, pattern);
        EXPECT_EQ(out[static_cast<size_t>(own == 1 ? 1 : own)], 0.75f);
        for (int k = 0; k < 3; ++k) {
            if (k == (own == 1 ? 1 : own)) continue;
            EXPECT_EQ(out[static_cast<size_t>(k)], 0.0f) << own << k;
        }
    }
}

TEST(BilinearDemosaic, EntryChecks) {
    std::vector<float> src(6), dst(18);
    LumraImage s{src.data(), 2, 3, 1, LUMRA_DTYPE_FLOAT32, 7};  // reserved is not looked at
    LumraImage d{dst.data(), 2, 3, 3, LUMRA_DTYPE_FLOAT32, 7};
    const int32_t good[4] = {0, 1, 1, 2}, negative[4] = {0, 1, -1, 2}, three[4] = {3, 1, 1, 2};
    EXPECT_EQ(lumra_bilinear_demosaic(&s, &d, good), LUMRA_OK);
    EXPECT_EQ(lumra_bilinear_demosaic(&s, &d, negative), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(lumra_bilinear_demosaic(&s, &d, three), LUMRA_ERR_INVALID_ARGUMENT);
    d.width = 2;
    EXPECT_EQ(lumra_bilinear_demosaic(&s, &d, good), LUMRA_ERR_DIMENSION_MISMATCH);
    LumraImage empty_s{src.data(), 0, 3, 1, LUMRA_DTYPE_FLOAT32, 0},
        empty_d{dst.data(), 0, 3, 3, LUMRA_DTYPE_FLOAT32, 0};
    EXPECT_EQ(lumra_bilinear_demosaic(&empty_s, &empty_d, good), LUMRA_OK);
    // No columns but 2^40 rows: no pixels, so the call returns at once.
    LumraImage tall_s{src.data(), uint64_t{1} << 40, 0, 1, LUMRA_DTYPE_FLOAT32, 0},
        tall_d{dst.data(), uint64_t{1} << 40, 0, 3, LUMRA_DTYPE_FLOAT32, 0};
    EXPECT_EQ(lumra_bilinear_demosaic(&tall_s, &tall_d, good), LUMRA_OK);
}

}  // namespace
