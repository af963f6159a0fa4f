// lumra_adaptive_demosaic and its region form: the checks in order, the
// plain reading bit for bit on every instruction-set path, parts against the
// whole image, flat fields and NaN samples.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "lumra.h"
#include "raw/raw_kernels.h"
#include "support/adaptive_reference.h"
#include "support/image.h"
#include "support/isa_levels.h"

namespace {

using lumra_test::same_bits;


// The twelve Bayer arrangements: every colour on either diagonal, the other
// two in either order.
std::vector<std::vector<int32_t>> bayer_patterns() {
    std::vector<std::vector<int32_t>> out;
    for (int32_t d = 0; d < 3; ++d) {
        const int32_t a = (d + 1) % 3, b = (d + 2) % 3;
        for (int swap = 0; swap < 2; ++swap) {
            const int32_t x = swap ? b : a, y = swap ? a : b;
            out.push_back({d, x, y, d});
            out.push_back({x, d, d, y});
        }
    }
    return out;
}

std::vector<float> random_mosaic(uint64_t height, uint64_t width, float low = 0.0f, float high = 1.0f) {
    std::vector<float> v(height * width);
    lumra_test::fill_random(v, low, high);
    return v;
}

// A smooth scene with edges, so the gradients and ratios take every branch
// of their range (random noise alone keeps the direction weights near 1/2).
std::vector<float> scene_mosaic(uint64_t height, uint64_t width) {
    std::vector<float> v(height * width);
    for (uint64_t r = 0; r < height; ++r)
        for (uint64_t c = 0; c < width; ++c) {
            const float ramp = 0.002f * static_cast<float>(r * 3 + c);
            const float stripe = ((c / 3 + r / 5) & 1) ? 0.6f : 0.05f;
            v[r * width + c] = ramp + stripe * (1.0f + 0.3f * static_cast<float>((r * 7 + c * 13) % 5));
        }
    return v;
}

LumraStatus run(const std::vector<float>& src, uint64_t height, uint64_t width, const int32_t* pattern,
                std::vector<float>& dst) {
    dst.assign(height * width * 3, -9.0f);
    float anchor = 0.0f;
    LumraImage s{src.empty() ? &anchor : const_cast<float*>(src.data()), height, width, 1, LUMRA_DTYPE_FLOAT32, 0};
    LumraImage d{dst.empty() ? &anchor : dst.data(), height, width, 3, LUMRA_DTYPE_FLOAT32, 0};
    return lumra_adaptive_demosaic(&s, &d, pattern);
}

std::vector<float> demosaic(const std::vector<float>& src, uint64_t height, uint64_t width, const int32_t* pattern) {
    std::vector<float> dst;
    EXPECT_EQ(run(src, height, width, pattern, dst), LUMRA_OK);
    return dst;
}

// Runs a test body once per instruction-set level the processor has.
template <typename Body>
void on_every_path(Body body) {
    for (lumra::simd::Level level : lumra_test::machine_levels()) {
        const lumra_test::LevelCap cap(level);
        body(lumra::simd::level_name(level));
    }
}

// ---- Checks -------------------------------------------------------------

TEST(AdaptiveDemosaicChecks, FollowTheBilinearOrderThenTheBayerRule) {
    lumra_test::Image<float> src(4, 6, 1), dst(4, 6, 3);
    lumra_test::Image<uint16_t> src16(4, 6, 1);
    lumra_test::Image<float> src3(4, 6, 3), dst1(4, 6, 1), tall(5, 6, 3), wide(4, 7, 3);
    const int32_t bayer[4] = {0, 1, 1, 2}, out_of_range[4] = {0, 1, 1, 3}, stripes[4] = {0, 1, 0, 1};
    LumraImage no_data = *dst.get();
    no_data.data = nullptr;
    EXPECT_EQ(lumra_adaptive_demosaic(nullptr, dst.get(), bayer), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(lumra_adaptive_demosaic(src.get(), dst.get(), nullptr), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(lumra_adaptive_demosaic(src.get(), &no_data, bayer), LUMRA_ERR_INVALID_ARGUMENT);
    // Type before channels, source before destination.
    EXPECT_EQ(lumra_adaptive_demosaic(src16.get(), dst1.get(), bayer), LUMRA_ERR_UNSUPPORTED);
    EXPECT_EQ(lumra_adaptive_demosaic(src3.get(), dst.get(), bayer), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(lumra_adaptive_demosaic(src.get(), src16.get(), bayer), LUMRA_ERR_UNSUPPORTED);
    EXPECT_EQ(lumra_adaptive_demosaic(src.get(), dst1.get(), bayer), LUMRA_ERR_INVALID_ARGUMENT);
    // Sizes before the pattern, the pattern's range before its arrangement.
    EXPECT_EQ(lumra_adaptive_demosaic(src.get(), tall.get(), out_of_range), LUMRA_ERR_DIMENSION_MISMATCH);
    EXPECT_EQ(lumra_adaptive_demosaic(src.get(), wide.get(), stripes), LUMRA_ERR_DIMENSION_MISMATCH);
    EXPECT_EQ(lumra_adaptive_demosaic(src.get(), dst.get(), out_of_range), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(lumra_adaptive_demosaic(src.get(), dst.get(), stripes), LUMRA_ERR_UNSUPPORTED);
    // Like the bilinear entry, the reserved fields are not read.
    LumraImage reserved = *dst.get();
    reserved.reserved = 7;
    EXPECT_EQ(lumra_adaptive_demosaic(src.get(), &reserved, bayer), LUMRA_OK);
    // A failed call writes nothing.
    for (float v : dst.pixels) EXPECT_EQ(v, 0.0f);
}

TEST(AdaptiveDemosaicChecks, OnlyTheTwelveBayerArrangementsRun) {
    const auto bayer = bayer_patterns();
    int accepted = 0;
    for (int code = 0; code < 81; ++code) {
        const int32_t pattern[4] = {code % 3, code / 3 % 3, code / 9 % 3, code / 27 % 3};
        bool is_bayer = false;
        for (const auto& b : bayer) is_bayer = is_bayer || std::equal(b.begin(), b.end(), pattern);
        std::vector<float> dst;
        const LumraStatus status = run(random_mosaic(3, 3), 3, 3, pattern, dst);
        EXPECT_EQ(status, is_bayer ? LUMRA_OK : LUMRA_ERR_UNSUPPORTED) << code;
        accepted += status == LUMRA_OK;
        if (status != LUMRA_OK) {
            for (float v : dst) ASSERT_EQ(v, -9.0f);
        }
    }
    EXPECT_EQ(accepted, 12);
}

TEST(AdaptiveDemosaicChecks, RegionEntryAddsItsRegionChecksLast) {
    const int32_t bayer[4] = {1, 0, 2, 1}, stripes[4] = {0, 1, 0, 1};
    // Part: rows 10..13, columns 20..25 of a 40 x 50 image; its window needs
    // rows 5..18 and columns 15..30.
    lumra_test::Image<float> window(14, 16, 1), part(4, 6, 3), small(13, 16, 1);
    const LumraRegion wr{5, 15, 40, 50, 0}, pr{10, 20, 40, 50, 0};
    const auto call = [&](lumra_test::Image<float>& w, const LumraRegion* a, const LumraRegion* b,
                          const int32_t* pattern) { return lumra_adaptive_demosaic_region(w.get(), a, part.get(), b, pattern); };
    EXPECT_EQ(call(window, &wr, &pr, bayer), LUMRA_OK);
    EXPECT_EQ(call(window, nullptr, &pr, bayer), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(call(window, &wr, nullptr, bayer), LUMRA_ERR_INVALID_ARGUMENT);
    // The pattern is checked before the regions.
    LumraRegion reserved = pr;
    reserved.reserved = 1;
    EXPECT_EQ(call(window, &wr, &reserved, stripes), LUMRA_ERR_UNSUPPORTED);
    EXPECT_EQ(call(window, &wr, &reserved, bayer), LUMRA_ERR_INVALID_ARGUMENT);
    const LumraRegion outside{37, 20, 40, 50, 0}, other_whole{10, 20, 40, 51, 0}, shifted{6, 15, 40, 50, 0};
    EXPECT_EQ(call(window, &wr, &outside, bayer), LUMRA_ERR_REGION);
    EXPECT_EQ(call(window, &wr, &other_whole, bayer), LUMRA_ERR_DIMENSION_MISMATCH);
    EXPECT_EQ(call(window, &shifted, &pr, bayer), LUMRA_ERR_REGION);
    EXPECT_EQ(call(small, &wr, &pr, bayer), LUMRA_ERR_REGION);
    // A whole image too large to exist, after the region checks.
    const uint64_t huge = uint64_t{1} << 62;
    const LumraRegion huge_window{5, 15, huge, 50, 0}, huge_part{10, 20, huge, 50, 0};
    EXPECT_EQ(call(window, &huge_window, &huge_part, bayer), LUMRA_ERR_INVALID_ARGUMENT);
    const LumraRegion huge_window_cols{5, 15, 40, huge + 1, 0}, huge_part_cols{10, 20, 40, huge + 1, 0};
    EXPECT_EQ(call(window, &huge_window_cols, &huge_part_cols, bayer), LUMRA_ERR_INVALID_ARGUMENT);
    const LumraRegion near_limit_window{5, 15, huge - 1, 50, 0}, near_limit_part{10, 20, huge - 1, 50, 0};
    EXPECT_EQ(call(window, &near_limit_window, &near_limit_part, bayer), LUMRA_OK);
    // At the image's corner the window needs only what lies inside it.
    lumra_test::Image<float> corner_window(9, 11, 1);
    const LumraRegion corner{0, 0, 40, 50, 0}, corner_part{0, 0, 40, 50, 0};
    EXPECT_EQ(lumra_adaptive_demosaic_region(corner_window.get(), &corner, part.get(), &corner_part, bayer), LUMRA_OK);
}

// ---- The plain reading --------------------------------------------------

TEST(AdaptiveDemosaic, EveryBayerPatternMatchesThePlainReading) {
    // Sizes below the reach (the mirror folds more than once), odd sizes, and
    // sizes that span several tiles in both directions.
    const uint64_t sizes[][2] = {{1, 1}, {1, 8},  {7, 1},  {2, 2},  {2, 9},   {3, 5},   {6, 4},
                                 {7, 13}, {12, 11}, {19, 6}, {61, 9}, {9, 270}, {53, 262}};
    on_every_path([&](const char* path) {
        for (const auto& pattern : bayer_patterns()) {
            for (const auto& size : sizes) {
                const auto src = (size[0] * size[1]) % 2 ? random_mosaic(size[0], size[1], -0.1f, 1.2f)
                                                         : scene_mosaic(size[0], size[1]);
                ASSERT_TRUE(same_bits(demosaic(src, size[0], size[1], pattern.data()),
                                      lumra_test::adaptive_demosaic_reference(src, static_cast<int64_t>(size[0]),
                                                                              static_cast<int64_t>(size[1]),
                                                                              pattern.data())))
                    << path << " pattern " << pattern[0] << pattern[1] << pattern[2] << pattern[3] << " size "
                    << size[0] << "x" << size[1];
            }
        }
    });
}

TEST(AdaptiveDemosaic, EveryPathGivesTheSameBitsOnExtremeValues) {
    const float extremes[] = {0.0f, -0.0f, 1.0f, 3e38f, -3e38f, 1e-45f, -1e-30f, 0.5f};
    const int32_t pattern[4] = {2, 1, 1, 0};
    std::vector<float> src(40 * 300);
    for (auto& v : src) v = extremes[lumra_test::uniform_int(0, 7)];
    std::vector<std::vector<float>> results;
    on_every_path([&](const char*) { results.push_back(demosaic(src, 40, 300, pattern)); });
    for (const std::vector<float>& result : results) EXPECT_TRUE(same_bits(results[0], result));
    // The plain reading on a part of it (the whole would take long).
    std::vector<float> part(src.begin(), src.begin() + 12 * 300);
    EXPECT_TRUE(
        same_bits(demosaic(part, 12, 300, pattern), lumra_test::adaptive_demosaic_reference(part, 12, 300, pattern)));
}

// ---- Parts of the image ---------------------------------------------------

// Runs the region entry on the part [top, top + h) x [left, left + w) with
// the smallest window it accepts (grown by `extra` where the image allows).
std::vector<float> run_part(const std::vector<float>& whole, uint64_t height, uint64_t width, uint64_t top,
                            uint64_t left, uint64_t h, uint64_t w, const int32_t* pattern, uint64_t extra = 0) {
    const uint64_t reach = 5 + extra;
    const uint64_t wt = top > reach ? top - reach : 0, wl = left > reach ? left - reach : 0;
    const uint64_t wb = std::min(height, top + h + reach), wr = std::min(width, left + w + reach);
    std::vector<float> window((wb - wt) * (wr - wl));
    for (uint64_t r = wt; r < wb; ++r)
        std::memcpy(&window[(r - wt) * (wr - wl)], &whole[r * width + wl], (wr - wl) * sizeof(float));
    std::vector<float> out(h * w * 3, -9.0f);
    LumraImage s{window.data(), wb - wt, wr - wl, 1, LUMRA_DTYPE_FLOAT32, 0};
    LumraImage d{out.data(), h, w, 3, LUMRA_DTYPE_FLOAT32, 0};
    const LumraRegion sr{wt, wl, height, width, 0}, dr{top, left, height, width, 0};
    EXPECT_EQ(lumra_adaptive_demosaic_region(&s, &sr, &d, &dr, pattern), LUMRA_OK);
    return out;
}

std::vector<float> crop(const std::vector<float>& rgb, uint64_t width, uint64_t top, uint64_t left, uint64_t h,
                        uint64_t w) {
    std::vector<float> out;
    for (uint64_t r = top; r < top + h; ++r)
        out.insert(out.end(), rgb.begin() + static_cast<std::ptrdiff_t>((r * width + left) * 3),
                   rgb.begin() + static_cast<std::ptrdiff_t>((r * width + left + w) * 3));
    return out;
}

TEST(AdaptiveDemosaicRegion, BandsAndTilesGiveTheWholeImageBits) {
    const uint64_t height = 83, width = 301;
    const auto src = scene_mosaic(height, width);
    on_every_path([&](const char* path) {
        for (const auto& pattern : {std::vector<int32_t>{0, 1, 1, 2}, std::vector<int32_t>{1, 2, 0, 1}}) {
            const auto whole = demosaic(src, height, width, pattern.data());
            // Bands of 1, 2, 7 and 64 rows cover the image.
            for (uint64_t band : {1u, 2u, 7u, 64u}) {
                for (uint64_t top = 0; top < height; top += band) {
                    const uint64_t h = std::min(band, height - top);
                    ASSERT_TRUE(same_bits(run_part(src, height, width, top, 0, h, width, pattern.data()),
                                          crop(whole, width, top, 0, h, width)))
                        << path << " band " << band << " at " << top;
                }
            }
            // Random tiles, with the smallest window and with a larger one.
            for (int t = 0; t < 40; ++t) {
                const uint64_t top = static_cast<uint64_t>(lumra_test::uniform_int(0, height - 1));
                const uint64_t left = static_cast<uint64_t>(lumra_test::uniform_int(0, width - 1));
                const uint64_t h = static_cast<uint64_t>(lumra_test::uniform_int(1, static_cast<int>(height - top)));
                const uint64_t w = static_cast<uint64_t>(lumra_test::uniform_int(1, static_cast<int>(width - left)));
                const uint64_t extra = static_cast<uint64_t>(t % 3);
                ASSERT_TRUE(same_bits(run_part(src, height, width, top, left, h, w, pattern.data(), extra),
                                      crop(whole, width, top, left, h, w)))
                    << path << " tile " << top << "," << left << " " << h << "x" << w;
            }
        }
    });
}

TEST(AdaptiveDemosaicRegion, PartsOfImagesSmallerThanTheReach) {
    const int32_t pattern[4] = {2, 1, 1, 0};
    for (const auto& size : {std::vector<uint64_t>{1, 1}, {3, 2}, {4, 9}, {9, 3}}) {
        const auto src = random_mosaic(size[0], size[1]);
        const auto whole = demosaic(src, size[0], size[1], pattern);
        for (uint64_t top = 0; top < size[0]; ++top)
            for (uint64_t left = 0; left < size[1]; ++left)
                ASSERT_TRUE(same_bits(run_part(src, size[0], size[1], top, left, 1, 1, pattern),
                                      crop(whole, size[1], top, left, 1, 1)));
    }
}

// ---- Behaviour ------------------------------------------------------------

TEST(AdaptiveDemosaic, FlatFieldsStayFlat) {
    for (const auto& pattern : bayer_patterns()) {
        // One value everywhere: every channel is that value, bit for bit.
        for (float value : {0.0f, 0.37f, 1.0f, -0.25f}) {
            const std::vector<float> src(23 * 17, value);
            for (float v : demosaic(src, 23, 17, pattern.data())) ASSERT_EQ(v, value);
        }
        // A flat colour: each channel holds its colour to within rounding.
        const float colour[3] = {0.62f, 0.31f, 0.08f};
        std::vector<float> src(23 * 17);
        for (uint64_t r = 0; r < 23; ++r)
            for (uint64_t c = 0; c < 17; ++c) src[r * 17 + c] = colour[pattern[(r & 1) * 2 + (c & 1)]];
        const auto out = demosaic(src, 23, 17, pattern.data());
        for (size_t i = 0; i < out.size(); ++i) ASSERT_NEAR(out[i], colour[i % 3], 2e-7f) << i;
    }
}

TEST(AdaptiveDemosaic, OwnSamplesStayAndNaNReachesOnlyItsNeighbourhood) {
    const int32_t pattern[4] = {0, 1, 1, 2};
    const uint64_t height = 30, width = 40, nan_row = 14, nan_col = 21;
    auto src = scene_mosaic(height, width);
    const auto clean = demosaic(src, height, width, pattern);
    // A negative NaN with a payload: every NaN result is the positive quiet NaN.
    src[nan_row * width + nan_col] = -std::numeric_limits<float>::quiet_NaN();
    const auto out = demosaic(src, height, width, pattern);
    const auto reference = lumra_test::adaptive_demosaic_reference(src, height, width, pattern);
    for (uint64_t r = 0; r < height; ++r) {
        for (uint64_t c = 0; c < width; ++c) {
            const bool near = std::max(r, nan_row) - std::min(r, nan_row) <= 5 &&
                              std::max(c, nan_col) - std::min(c, nan_col) <= 5;
            const int32_t own = pattern[(r & 1) * 2 + (c & 1)];
            for (int k = 0; k < 3; ++k) {
                const size_t i = (r * width + c) * 3 + static_cast<size_t>(k);
                // NaN exactly where the definition says; elsewhere the same bits.
                ASSERT_EQ(std::memcmp(&out[i], &reference[i], sizeof(float)), 0) << r << "," << c << "," << k;
                if (std::isnan(out[i])) {
                    ASSERT_EQ(std::bit_cast<uint32_t>(out[i]), 0x7fc00000u);
                }
                if (k == own) {
                    ASSERT_EQ(std::isnan(out[i]), r == nan_row && c == nan_col);
                    if (!std::isnan(out[i])) {
                        ASSERT_EQ(out[i], src[r * width + c]);
                    }
                } else if (near) {
                    const bool axial = (r == nan_row) != (c == nan_col) &&
                                       std::max(r, nan_row) - std::min(r, nan_row) + std::max(c, nan_col) -
                                               std::min(c, nan_col) == 1;
                    if (axial) {
                        ASSERT_TRUE(std::isnan(out[i])) << r << "," << c << "," << k;
                    }
                } else {
                    ASSERT_EQ(std::memcmp(&out[i], &clean[i], sizeof(float)), 0) << r << "," << c << "," << k;
                }
            }
        }
    }
}

TEST(AdaptiveDemosaic, ImagesWithoutPixelsReturnAtOnce) {
    const int32_t pattern[4] = {0, 1, 1, 2};
    std::vector<float> dst;
    EXPECT_EQ(run({}, 0, 5, pattern, dst), LUMRA_OK);
    EXPECT_EQ(run({}, 1u << 20, 0, pattern, dst), LUMRA_OK);
}

}  // namespace
