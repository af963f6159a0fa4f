// Region entries of the corrections: every band and tile gets, bit for bit
// and on every instruction path, the whole-image call's result there; the
// warp's source window query gives a window the region entry accepts and
// that is the smallest one; and the region checks report in order without
// writing anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "correct/correct_kernels.h"
#include "lumra.h"
#include "support/image.h"
#include "support/isa_levels.h"

namespace {

using lumra_test::Image;
using lumra_test::uniform;
using lumra_test::uniform_int;

struct Rect {
    uint64_t top, left, height, width;
};

Image<float> random_image(uint64_t height, uint64_t width, uint64_t channels, float low = -0.2f, float high = 1.2f) {
    Image<float> image(height, width, channels);
    lumra_test::fill_random(image.pixels, low, high);
    return image;
}

Image<float> cut(const Image<float>& whole, const Rect& r) {
    Image<float> part(r.height, r.width, whole.desc.channels);
    for (uint64_t i = 0; i < r.height; ++i)
        for (uint64_t j = 0; j < r.width; ++j)
            for (uint64_t k = 0; k < whole.desc.channels; ++k) part.at(i, j, k) = whole.at(r.top + i, r.left + j, k);
    return part;
}

LumraRegion region_of(const Rect& r, const Image<float>& whole) {
    return LumraRegion{r.top, r.left, whole.desc.height, whole.desc.width, 0};
}

// Bands of 1, 2 and 7 rows over the whole image, and random tiles.
std::vector<Rect> parts_of(uint64_t height, uint64_t width) {
    std::vector<Rect> parts;
    for (uint64_t band : {1, 2, 7})
        for (uint64_t top = 0; top < height; top += band)
            parts.push_back({top, 0, std::min(band, height - top), width});
    for (int t = 0; t < 12; ++t) {
        const uint64_t top = static_cast<uint64_t>(uniform_int(0, static_cast<int>(height) - 1));
        const uint64_t left = static_cast<uint64_t>(uniform_int(0, static_cast<int>(width) - 1));
        parts.push_back({top, left, static_cast<uint64_t>(uniform_int(1, static_cast<int>(height - top))),
                         static_cast<uint64_t>(uniform_int(1, static_cast<int>(width - left)))});
    }
    return parts;
}

using InPlace = std::function<LumraStatus(LumraImage*, const LumraRegion*)>;

// Runs `region_call` on every part cut from `original` and compares it with
// the same part of `whole_call`'s result.
void expect_parts_match(const Image<float>& original, const InPlace& region_call, const InPlace& whole_call) {
    Image<float> whole = original;
    const LumraRegion all{0, 0, original.desc.height, original.desc.width, 0};
    ASSERT_EQ(whole_call(whole.get(), &all), LUMRA_OK);
    for (const Rect& r : parts_of(original.desc.height, original.desc.width)) {
        Image<float> part = cut(original, r);
        const LumraRegion region = region_of(r, original);
        ASSERT_EQ(region_call(part.get(), &region), LUMRA_OK);
        ASSERT_TRUE(lumra_test::same_bits(part.pixels, cut(whole, r).pixels))
            << "part " << r.top << "," << r.left << " " << r.height << "x" << r.width;
    }
}

class RegionPaths : public lumra_test::EveryLevel {};

TEST_P(RegionPaths, GainMapsMatchTheWholeCall) {
    for (int trial = 0; trial < 6; ++trial) {
        const uint64_t height = 23 + trial, width = 31 + 3 * trial;
        const std::vector<float> gains = [] {
            std::vector<float> g(5 * 6 * 3);
            lumra_test::fill_random(g, 0.5f, 1.8f);
            return g;
        }();
        const int top = uniform_int(-2, 5), left = uniform_int(-2, 5), bottom = trial % 2 ? 0 : 20;
        const int right = trial % 3 ? 0 : 27, row_pitch = uniform_int(1, 3);
        const int col_pitch = trial == 5 ? -1 : uniform_int(1, 3);
        const double spacing_v = 1.0 / uniform(2.0f, 6.0f), spacing_h = trial == 4 ? -0.2 : 1.0 / uniform(2.0f, 7.0f);
        const double origin_v = uniform(-0.2f, 0.2f), origin_h = uniform(-0.2f, 0.2f);
        const int plane = trial % 3, planes = 2 + trial % 2;
        const InPlace rgb = [&](LumraImage* image, const LumraRegion* region) {
            return lumra_apply_gain_map_region(image, region, gains.data(), 5, 6, 3, top, left, bottom, right, plane,
                                               planes, row_pitch, col_pitch, spacing_v, spacing_h, origin_v,
                                               origin_h);
        };
        expect_parts_match(random_image(height, width, 3), rgb, [&](LumraImage* image, const LumraRegion*) {
            return lumra_apply_gain_map(image, gains.data(), 5, 6, 3, top, left, bottom, right, plane, planes,
                                        row_pitch, col_pitch, spacing_v, spacing_h, origin_v, origin_h);
        });
        const InPlace cfa = [&](LumraImage* image, const LumraRegion* region) {
            return lumra_apply_gain_map_cfa_region(image, region, gains.data(), 5, 6, 3, top, left, bottom, right,
                                                   row_pitch, col_pitch, spacing_v, spacing_h, origin_v, origin_h);
        };
        expect_parts_match(random_image(height, width, 1), cfa, cfa);
        const InPlace flat = [&](LumraImage* image, const LumraRegion* region) {
            return lumra_apply_flat_gain_map_region(image, region, gains.data(), 3 + trial % 3, 4);
        };
        expect_parts_match(random_image(height, width, 1), flat, [&](LumraImage* image, const LumraRegion*) {
            return lumra_apply_flat_gain_map(image, gains.data(), 3 + trial % 3, 4);
        });
    }
}

TEST_P(RegionPaths, PolynomialAndVignetteMatchTheWholeCall) {
    const float coefficients[] = {0.01f, 0.9f, -0.2f, 0.3f, -0.05f, 0.02f, 0.01f, -0.01f, 0.005f, 0.001f};
    for (int degree : {0, 2, 3, 4, 6, 9})
        for (uint64_t channels : {1, 3}) {
            const int top = degree % 3 ? 0 : 3, bottom = degree % 3 ? 0 : 25, left = degree == 4 ? 2 : 0;
            const int right = degree == 4 ? 30 : 0, row_pitch = 1 + degree % 2, col_pitch = 1 + degree % 3;
            const InPlace map = [&](LumraImage* image, const LumraRegion* region) {
                return lumra_map_polynomial_region(image, region, top, left, bottom, right, degree % 2, 3,
                                                   row_pitch, col_pitch, coefficients, degree);
            };
            expect_parts_match(random_image(29, 33, channels), map, [&](LumraImage* image, const LumraRegion*) {
                return lumra_map_polynomial(image, top, left, bottom, right, degree % 2, 3, row_pitch, col_pitch,
                                            coefficients, degree);
            });
        }
    const double k[] = {0.3, -0.2, 0.1, 0.05, -0.02};
    // Centres on a whole row (rows mirrored about it share gains) and off it.
    for (const double centre_y : {0.5, 0.37})
        for (uint64_t channels : {1, 3, 4, 9}) {
            const InPlace vignette = [&](LumraImage* image, const LumraRegion* region) {
                return lumra_fix_vignette_region(image, region, k, 5, 0.45, centre_y);
            };
            expect_parts_match(random_image(30, 41, channels), vignette, [&](LumraImage* image, const LumraRegion*) {
                return lumra_fix_vignette(image, k, 5, 0.45, centre_y);
            });
        }
}

struct WarpCase {
    std::vector<double> radial, tangential;
    int planes, radial_count;
    double cx, cy;
    bool bicubic;
};

// Warps `part` from the window `from` of the source.
LumraStatus warp_part(const Image<float>& source, const Rect& from, Image<float>& part, const LumraRegion& to,
                      const WarpCase& w) {
    const Image<float> window = cut(source, from);
    const LumraRegion window_region = region_of(from, source);
    return lumra_warp_rectilinear_region(window.get(), &window_region, part.get(), &to, w.radial.data(), w.planes,
                                         w.radial_count, w.tangential.empty() ? nullptr : w.tangential.data(), w.cx,
                                         w.cy, w.bicubic);
}

// Warps every part from the source window the query returns and from the
// smallest window (the box of the taps the part reads), and compares with
// the whole warp; one row or column less than the smallest is refused.
void expect_warp_parts_match(const Image<float>& source, const WarpCase& w) {
    const uint64_t height = source.desc.height, width = source.desc.width, channels = source.desc.channels;
    const double* tangential = w.tangential.empty() ? nullptr : w.tangential.data();
    Image<float> whole(height, width, channels);
    std::fill(whole.pixels.begin(), whole.pixels.end(), -7.0f);  // planes not written keep it
    ASSERT_EQ(lumra_warp_rectilinear(source.get(), whole.get(), w.radial.data(), w.planes, w.radial_count,
                                     tangential, w.cx, w.cy, w.bicubic),
              LUMRA_OK);
    for (const Rect& r : parts_of(height, width)) {
        const LumraRegion to = region_of(r, source);
        LumraRegion query{};
        uint64_t rows = 0, cols = 0;
        ASSERT_EQ(lumra_warp_rectilinear_source_window(&to, r.height, r.width, channels, w.radial.data(), w.planes,
                                                       w.radial_count, tangential, w.cx, w.cy, w.bicubic, &query,
                                                       &rows, &cols),
                  LUMRA_OK);
        const lumra::SourceBox box = lumra::warp_source_box({r.top, r.left, r.height, r.width, height, width},
                                                            static_cast<int>(channels), w.radial.data(), w.planes,
                                                            w.radial_count, tangential, w.cx, w.cy, w.bicubic);
        ASSERT_TRUE(query.top <= box.top && query.left <= box.left && query.top + rows >= box.bottom &&
                    query.left + cols >= box.right && query.top + rows <= height && query.left + cols <= width);
        const Rect tight{box.top, box.left, box.bottom - box.top, box.right - box.left};
        for (const Rect& from : {Rect{query.top, query.left, rows, cols}, tight}) {
            Image<float> part(r.height, r.width, channels);
            std::fill(part.pixels.begin(), part.pixels.end(), -7.0f);
            ASSERT_EQ(warp_part(source, from, part, to, w), LUMRA_OK);
            ASSERT_TRUE(lumra_test::same_bits(part.pixels, cut(whole, r).pixels))
                << "part " << r.top << "," << r.left << " " << r.height << "x" << r.width;
        }
        const Rect smaller[] = {{tight.top + 1, tight.left, tight.height - 1, tight.width},
                                {tight.top, tight.left + 1, tight.height, tight.width - 1},
                                {tight.top, tight.left, tight.height - 1, tight.width},
                                {tight.top, tight.left, tight.height, tight.width - 1}};
        for (const Rect& from : smaller) {
            Image<float> untouched(r.height, r.width, channels);
            ASSERT_EQ(warp_part(source, from, untouched, to, w), LUMRA_ERR_REGION);
            ASSERT_TRUE(std::all_of(untouched.pixels.begin(), untouched.pixels.end(), [](float v) { return v == 0; }));
        }
    }
}

TEST_P(RegionPaths, WarpPartsFromTheirSourceWindowsMatchTheWholeCall) {
    const uint64_t shapes[][3] = {{41, 70, 3}, {23, 37, 1}, {30, 45, 4}};
    for (const auto& shape : shapes)
        for (bool bicubic : {false, true})
            for (int kind = 0; kind < 5; ++kind) {
                // kind 0: planes alike (the pixel-at-a-time path on 3 and 4
                // channels); 1: planes of their own; 2: a radial factor that
                // rises and falls again, so positions fold back inside the
                // part; 3: strong random terms about a centre off the image,
                // many positions limited to the border; 4: an infinite term.
                const int planes = kind == 0 ? static_cast<int>(shape[2]) : 2;
                WarpCase w{{}, {}, planes, 4, kind == 3 ? 1.2 : 0.47, kind == 3 ? -0.4 : 0.53, bicubic};
                for (int p = 0; p < planes; ++p) {
                    const bool own = kind == 1 && p > 0;
                    const double folding[] = {1.0, 2.5, -6.0, 3.5};
                    for (int t = 0; t < 4; ++t)
                        w.radial.push_back(kind == 2   ? folding[t]
                                           : kind == 3 ? uniform(-3.0f, 3.0f)
                                                       : (t == 0 ? 1.0 : 0.0) + (own ? 0.01 * t : 0.02));
                    w.tangential.push_back(kind == 3 ? uniform(-0.5f, 0.5f) : own ? 0.01 : 0.004);
                    w.tangential.push_back(-0.003);
                }
                if (kind == 4) w.radial[2] = std::numeric_limits<double>::infinity();
                expect_warp_parts_match(random_image(shape[0], shape[1], shape[2]), w);
            }
}

LUMRA_AT_EVERY_LEVEL(RegionPaths);

// Every region entry: a bad region is reported after the whole entry's
// checks, in the documented order, and nothing is written.
TEST(RegionChecks, ReportInOrderAndWriteNothing) {
    Image<float> rgb = random_image(6, 8, 3), mono = random_image(6, 8, 1);
    const std::vector<float> rgb_before = rgb.pixels, mono_before = mono.pixels;
    const float gains[4] = {2, 2, 2, 2}, poly[2] = {0.5f, 2.0f};
    const double k[1] = {0.5};
    const auto statuses = [&](const LumraRegion* region) {
        return std::vector<LumraStatus>{
            lumra_apply_gain_map_region(rgb.get(), region, gains, 1, 1, 1, 0, 0, 0, 0, 0, 3, 1, 1, 1, 1, 0, 0),
            lumra_apply_gain_map_cfa_region(mono.get(), region, gains, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0),
            lumra_apply_flat_gain_map_region(mono.get(), region, gains, 2, 2),
            lumra_map_polynomial_region(rgb.get(), region, 0, 0, 0, 0, 0, 3, 1, 1, poly, 1),
            lumra_fix_vignette_region(rgb.get(), region, k, 1, 0.5, 0.5)};
    };
    const auto all = [](LumraStatus s) { return std::vector<LumraStatus>(5, s); };
    const uint64_t huge = std::numeric_limits<uint64_t>::max();
    EXPECT_EQ(statuses(nullptr), all(LUMRA_ERR_INVALID_ARGUMENT));
    const LumraRegion reserved{0, 0, 6, 8, 1}, low{1, 0, 6, 8, 0}, right{0, 1, 6, 8, 0}, wrap{huge, 0, 6, 8, 0};
    EXPECT_EQ(statuses(&reserved), all(LUMRA_ERR_INVALID_ARGUMENT));
    EXPECT_EQ(statuses(&low), all(LUMRA_ERR_REGION));
    EXPECT_EQ(statuses(&right), all(LUMRA_ERR_REGION));
    EXPECT_EQ(statuses(&wrap), all(LUMRA_ERR_REGION));
    // The whole entry's own checks come first, and its size limits apply to the whole image.
    EXPECT_EQ(lumra_apply_gain_map_region(rgb.get(), &low, gains, 1, 1, 1, 0, 0, 0, 0, -1, 3, 1, 1, 1, 1, 0, 0),
              LUMRA_ERR_INVALID_ARGUMENT);
    // 2^32 + 6 rows: positive as a 32-bit size, but not below 2^31.
    const LumraRegion tall{0, 0, (uint64_t{1} << 32) + 6, 8, 0}, empty_whole{0, 0, 0, 8, 0};
    EXPECT_EQ(lumra_map_polynomial_region(rgb.get(), &tall, 0, 0, 0, 0, 0, 3, 1, 1, poly, 1),
              LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(lumra_fix_vignette_region(rgb.get(), &tall, k, 1, 0.5, 0.5), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(lumra_apply_flat_gain_map_region(mono.get(), &empty_whole, gains, 2, 2), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(lumra_map_polynomial_region(rgb.get(), &low, 2, 0, 7, 0, 0, 3, 1, 1, poly, 1),
              LUMRA_ERR_INVALID_ARGUMENT);  // the area's rows end past the whole image
    EXPECT_TRUE(lumra_test::same_bits(rgb.pixels, rgb_before));
    EXPECT_TRUE(lumra_test::same_bits(mono.pixels, mono_before));
}

TEST(RegionChecks, WarpWindowAndQueryStatuses) {
    const Image<float> source = random_image(10, 12, 3);
    Image<float> part(4, 12, 3);
    const double radial[1] = {1.0};
    const LumraRegion to{3, 0, 10, 12, 0}, from{0, 0, 10, 12, 0};
    const auto warp = [&](const LumraRegion* window, const LumraRegion* destination, bool bicubic = false) {
        return lumra_warp_rectilinear_region(source.get(), window, part.get(), destination, radial, 1, 1, nullptr,
                                             0.5, 0.5, bicubic);
    };
    const LumraRegion reserved{0, 0, 10, 12, 1}, outside{7, 0, 10, 12, 0}, other_whole{0, 0, 10, 13, 0};
    const LumraRegion window_outside{1, 0, 10, 12, 0}, small_whole{3, 0, 10, 3, 0};
    EXPECT_EQ(warp(nullptr, &to), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(warp(&from, &reserved), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(warp(&from, &outside), LUMRA_ERR_REGION);
    EXPECT_EQ(warp(&other_whole, &to), LUMRA_ERR_DIMENSION_MISMATCH);
    EXPECT_EQ(warp(&window_outside, &to), LUMRA_ERR_REGION);
    EXPECT_EQ(warp(&small_whole, &small_whole, true), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_TRUE(std::all_of(part.pixels.begin(), part.pixels.end(), [](float v) { return v == 0; }));
    EXPECT_EQ(warp(&from, &to), LUMRA_OK);

    // The query: the identity reads the part's own rows; an empty part reads nothing.
    LumraRegion window{};
    uint64_t rows = 9, cols = 9;
    const auto query = [&](const LumraRegion* destination, uint64_t height, uint64_t width) {
        return lumra_warp_rectilinear_source_window(destination, height, width, 3, radial, 1, 1, nullptr, 0.5, 0.5,
                                                    false, &window, &rows, &cols);
    };
    ASSERT_EQ(query(&to, 4, 12), LUMRA_OK);
    EXPECT_EQ(window.top, 3u);
    EXPECT_EQ(window.left, 0u);
    EXPECT_EQ(rows, 5u);  // the last row's lower neighbour is read with weight 0
    EXPECT_EQ(cols, 12u);
    ASSERT_EQ(query(&to, 0, 12), LUMRA_OK);
    EXPECT_EQ(rows * cols, 0u);
    EXPECT_EQ(query(&reserved, 4, 12), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(query(&outside, 4, 12), LUMRA_ERR_REGION);
    EXPECT_EQ(lumra_warp_rectilinear_source_window(&to, 4, 12, 3, radial, 1, 1, nullptr, 0.5, 0.5, false, nullptr,
                                                   &rows, &cols),
              LUMRA_ERR_INVALID_ARGUMENT);

    // A whole image of 2^53 rows or columns or more has positions no double
    // holds (2^64 - 1 rows once converted a position past every integer type):
    // refused by both, with nothing written; 2^40 rows still work.
    const uint64_t limit = uint64_t{1} << 53;
    for (const LumraRegion& huge : {LumraRegion{0, 0, ~uint64_t{0}, 12, 0}, LumraRegion{0, 0, limit, 12, 0},
                                    LumraRegion{0, 0, 10, limit, 0}}) {
        const LumraRegion before = window;
        EXPECT_EQ(query(&huge, 4, 12), LUMRA_ERR_INVALID_ARGUMENT);
        EXPECT_EQ(std::memcmp(&window, &before, sizeof window), 0);
        EXPECT_EQ(warp(&huge, &huge), LUMRA_ERR_INVALID_ARGUMENT);
    }
    const LumraRegion tall{uint64_t{1} << 39, 0, uint64_t{1} << 40, 12, 0};
    ASSERT_EQ(query(&tall, 4, 12), LUMRA_OK);
    EXPECT_EQ(window.top, tall.top);
    EXPECT_EQ(rows, 5u);
}

}  // namespace
