// lumra_normalize_raw against a plain element-by-element reading, on every
// layout, with the worked cases and the reciprocal paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "lumra.h"
#include "support/image.h"
#include "support/raw_reference.h"

namespace {

using lumra_test::NormalizeArgs;

template <typename In>
LumraDType type_of() {
    return sizeof(In) == 2 ? LUMRA_DTYPE_UINT16 : LUMRA_DTYPE_FLOAT32;
}

template <typename In>
LumraStatus call(const std::vector<In>& src, std::vector<float>& dst, const NormalizeArgs& a) {
    LumraImage s{const_cast<In*>(src.data()),
                 static_cast<uint64_t>(a.height),
                 static_cast<uint64_t>(a.width),
                 static_cast<uint64_t>(a.samples),
                 type_of<In>(),
                 0};
    LumraImage d{dst.data(), s.height, s.width, s.channels, LUMRA_DTYPE_FLOAT32, 0};
    const auto or_null = [](const auto& v) { return v.empty() ? nullptr : v.data(); };
    return lumra_normalize_raw(&s, &d, a.black_levels.data(), a.repeat_rows, a.repeat_cols, a.samples,
                               a.white_levels.data(), static_cast<int32_t>(a.white_levels.size()), or_null(a.delta_h),
                               static_cast<int32_t>(a.delta_h.size()), or_null(a.delta_v),
                               static_cast<int32_t>(a.delta_v.size()), or_null(a.table),
                               static_cast<int32_t>(a.table.size()));
}

template <typename In>
std::vector<float> normalize(const std::vector<In>& src, const NormalizeArgs& a) {
    std::vector<float> dst(src.size(), -7.0f);
    EXPECT_EQ(call(src, dst, a), LUMRA_OK);
    return dst;
}

std::vector<float> random_floats(size_t n, float low, float high) {
    std::vector<float> v(n);
    lumra_test::fill_random(v, low, high);
    return v;
}

// Black levels around 1000..3000 and white levels near 16000, with the odd
// dead entry (white at or below black) when `dead` is set.
NormalizeArgs random_layout(int32_t height, int32_t width, int32_t samples, int32_t tile_rows, int32_t tile_cols,
                            int32_t whites, bool dead) {
    NormalizeArgs a;
    a.height = height, a.width = width, a.samples = samples, a.repeat_rows = tile_rows, a.repeat_cols = tile_cols;
    a.black_levels = random_floats(static_cast<size_t>(tile_rows * tile_cols * samples), 1000.0f, 3000.0f);
    a.white_levels = random_floats(static_cast<size_t>(whites), 15000.0f, 16383.0f);
    if (dead) a.white_levels[0] = a.black_levels[0] - 5.0f;
    return a;
}

template <typename In>
std::vector<In> random_source(const NormalizeArgs& a) {
    std::vector<In> v(static_cast<size_t>(a.height) * a.width * a.samples);
    if constexpr (sizeof(In) == 2) {
        for (auto& x : v) x = static_cast<uint16_t>(lumra_test::uniform_int(0, 18000));
    } else {
        lumra_test::fill_random(v, -500.0f, 18000.0f);
    }
    return v;
}

struct Size {
    int32_t height, width;
};
constexpr Size kSizes[] = {{1, 1}, {1, 7}, {7, 1}, {2, 2}, {3, 5}, {5, 3}, {13, 17}, {4, 11}, {9, 31}, {2, 37}};

// --- Worked cases ---------------------------------------------------------

TEST(NormalizeRaw, WhiteGivesOneBlackAndBelowGiveZeroAboveWhiteGivesOne) {
    NormalizeArgs a;
    a.width = 5;
    a.black_levels = {100.0f};
    a.white_levels = {4000.0f};
    const std::vector<uint16_t> src{4000, 100, 50, 5000, 2050};
    // On the reciprocal path 3900 x (1 / 3900) rounds to 1 - 2^-24; a sample
    // at its white level must still give exactly 1.
    for (int path = 0; path < 3; ++path) {
        a.delta_h = path == 1 ? std::vector<float>{0.0f} : std::vector<float>{};
        a.repeat_rows = a.repeat_cols = path == 2 ? 2 : 1;
        a.black_levels.assign(static_cast<size_t>(a.repeat_rows * a.repeat_cols), 100.0f);
        const auto out = normalize(src, a);
        EXPECT_EQ(out[0], 1.0f) << path;
        EXPECT_EQ(out[1], 0.0f);
        EXPECT_EQ(out[2], 0.0f);
        EXPECT_EQ(out[3], 1.0f);
        EXPECT_NEAR(out[4], 0.5f, 1e-7f);
    }
    // The same for every white level on the three-sample path.
    NormalizeArgs three;
    three.width = 200, three.samples = 3;
    three.black_levels = {100.0f, 37.0f, 1.0f};
    three.white_levels = {4000.0f, 16383.0f, 1023.0f};
    std::vector<uint16_t> at_white(600);
    for (size_t i = 0; i < at_white.size(); ++i)
        at_white[i] = static_cast<uint16_t>(three.white_levels[i % 3] - static_cast<float>(i / 3 % 2));
    const auto saturated = normalize(at_white, three);
    for (size_t i = 0; i < at_white.size(); i += 6) {
        for (size_t k = 0; k < 3; ++k) EXPECT_EQ(saturated[i + k], 1.0f) << i + k;
    }
}

TEST(NormalizeRaw, WhiteAtOrBelowBlackGivesZero) {
    for (int samples : {1, 3, 2}) {
        NormalizeArgs a;
        a.width = 9, a.samples = samples;
        a.black_levels.assign(static_cast<size_t>(samples), 500.0f);
        a.white_levels = {500.0f, 400.0f, 600.0f};
        std::vector<uint16_t> src(static_cast<size_t>(9 * samples), 550);
        const auto out = normalize(src, a);
        for (size_t i = 0; i < out.size(); ++i) {
            const size_t k = i % static_cast<size_t>(samples);
            if (k < 2)
                EXPECT_EQ(out[i], 0.0f) << samples << " " << i;
            else
                EXPECT_EQ(out[i], 0.5f);
        }
    }
}

TEST(NormalizeRaw, TwoByTwoTileAppliesEachLevelToItsParity) {
    NormalizeArgs a;
    a.height = 5, a.width = 7, a.repeat_rows = 2, a.repeat_cols = 2;
    a.black_levels = {10.0f, 20.0f, 30.0f, 40.0f};
    a.white_levels = {1010.0f};
    const std::vector<uint16_t> src(35, 510);
    for (bool via_delta : {false, true}) {
        // A zero-filled delta table takes the general path with the same tile.
        if (via_delta) a.delta_v = {0.0f};
        const auto out = normalize(src, a);
        for (int r = 0; r < 5; ++r)
            for (int c = 0; c < 7; ++c) {
                const float black = a.black_levels[static_cast<size_t>((r % 2) * 2 + c % 2)];
                const float expected =
                    via_delta ? (510.0f - black) / (1010.0f - black) : (510.0f - black) * (1.0f / (1010.0f - black));
                EXPECT_EQ(out[static_cast<size_t>(r * 7 + c)], expected) << r << c;
            }
    }
}

TEST(NormalizeRaw, RowDeltasRepeatEveryThreeRows) {
    NormalizeArgs a;
    a.height = 8, a.width = 2;
    a.black_levels = {0.0f};
    a.white_levels = {1000.0f};
    a.delta_v = {100.0f, 200.0f, 300.0f};
    const std::vector<uint16_t> src(16, 600);
    const auto out = normalize(src, a);
    for (int r = 0; r < 8; ++r) {
        const float black = a.delta_v[static_cast<size_t>(r % 3)];
        EXPECT_EQ(out[static_cast<size_t>(r * 2)], (600.0f - black) / (1000.0f - black)) << r;
    }
    a.delta_v.clear();
    a.delta_h = {100.0f, 200.0f, 300.0f};
    a.height = 1, a.width = 7;
    const auto row = normalize(std::vector<uint16_t>(7, 600), a);
    for (int c = 0; c < 7; ++c) {
        const float black = a.delta_h[static_cast<size_t>(c % 3)];
        EXPECT_EQ(row[static_cast<size_t>(c)], (600.0f - black) / (1000.0f - black)) << c;
    }
}

TEST(NormalizeRaw, LinearisationIndexIsTruncatedAndLimited) {
    NormalizeArgs a;
    a.black_levels = {0.0f};
    a.white_levels = {65535.0f};
    a.table.resize(4096);
    for (size_t i = 0; i < a.table.size(); ++i) a.table[i] = static_cast<uint16_t>(i * 16 + 1);
    const auto value_of = [&](size_t entry) { return static_cast<float>(a.table[entry]) / 65535.0f; };

    a.width = 2;
    const auto wide = normalize(std::vector<uint16_t>{4095, 60000}, a);
    EXPECT_EQ(wide[0], value_of(4095));
    EXPECT_EQ(wide[1], value_of(4095));

    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> floats{-3.7f, 2.9f, nan, -nan, inf, -inf, 3e9f, -3e9f, 4094.99f, 1e38f, 0.99f, -0.0f};
    const size_t expected[] = {0, 2, 0, 0, 4095, 0, 4095, 0, 4094, 4095, 0, 0};
    a.width = static_cast<int32_t>(floats.size());
    const auto out = normalize(floats, a);
    for (size_t i = 0; i < floats.size(); ++i) EXPECT_EQ(out[i], value_of(expected[i])) << floats[i];

    // A table of one entry maps every value to it.
    a.table = {32768};
    const auto single = normalize(floats, a);
    for (float v : single) EXPECT_EQ(v, 32768.0f / 65535.0f);
}

TEST(NormalizeRaw, ThirdSampleWithTwoWhiteLevelsTakesTheFirst) {
    NormalizeArgs a;
    a.height = 2, a.width = 3, a.samples = 3;
    a.black_levels = {0.0f, 0.0f, 0.0f};
    a.white_levels = {100.0f, 200.0f};
    const auto out = normalize(std::vector<uint16_t>(18, 50), a);
    for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i], i % 3 == 1 ? 0.25f : 0.5f) << i;
}

// The limits take the upper bound first: NaN becomes 1, infinities their bound.
TEST(NormalizeRaw, NonFiniteFloatSamplesAreLimited) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> src{nan, inf, -inf, -0.0f, 0.5f, nan, inf, -inf};
    for (int tile : {1, 2}) {
        for (bool general : {false, true}) {
            NormalizeArgs a;
            a.height = 2, a.width = 4, a.repeat_rows = tile, a.repeat_cols = tile;
            a.black_levels.assign(static_cast<size_t>(tile * tile), 0.0f);
            a.white_levels = {1.0f};
            if (general) a.delta_h = {0.0f};
            const auto out = normalize(src, a);
            const std::vector<float> expected{1.0f, 1.0f, 0.0f, 0.0f, 0.5f, 1.0f, 1.0f, 0.0f};
            EXPECT_TRUE(lumra_test::same_bits(out, expected)) << tile << general;
        }
    }
}

// --- Differential tests ---------------------------------------------------

template <typename In>
void expect_general_matches(NormalizeArgs a, bool delta_h, bool delta_v, bool table) {
    if (delta_h) a.delta_h = random_floats(static_cast<size_t>(lumra_test::uniform_int(1, 5)), -50.0f, 50.0f);
    if (delta_v) a.delta_v = random_floats(static_cast<size_t>(lumra_test::uniform_int(1, 5)), -50.0f, 50.0f);
    if (table) {
        a.table.resize(static_cast<size_t>(lumra_test::uniform_int(1, 20000)));
        for (auto& e : a.table) e = static_cast<uint16_t>(lumra_test::uniform_int(0, 17000));
    }
    const auto src = random_source<In>(a);
    const auto out = normalize(src, a);
    const auto expected = lumra_test::normalize_reference(src, a);
    const bool reciprocal_layout = !delta_h && !delta_v && !table &&
                                   ((a.samples == 1 && a.repeat_rows == a.repeat_cols && a.repeat_rows <= 2) ||
                                    (a.samples == 3 && a.repeat_rows == 1 && a.repeat_cols == 1));
    if (!reciprocal_layout) {
        EXPECT_TRUE(lumra_test::same_bits(out, expected))
            << a.height << "x" << a.width << "x" << a.samples << " tile " << a.repeat_rows << "x" << a.repeat_cols;
    }
}

TEST(NormalizeRaw, GeneralPathMatchesThePlainReadingOnEveryLayout) {
    const int32_t tiles[][2] = {{1, 1}, {2, 2}, {1, 3}, {3, 2}, {2, 5}, {9, 1}, {11, 4}};
    for (const Size& size : kSizes)
        for (int32_t samples : {1, 2, 3, 4})
            for (const auto& tile : tiles)
                for (int flags = 0; flags < 8; ++flags) {
                    const auto a = random_layout(size.height, size.width, samples, tile[0], tile[1],
                                                 lumra_test::uniform_int(1, 4), flags == 5);
                    expect_general_matches<uint16_t>(a, flags & 1, flags & 2, flags & 4);
                    expect_general_matches<float>(a, flags & 1, flags & 2, flags & 4);
                }
}

// Largest distance in units in the last place between two finite floats.
int64_t ulp_distance(float a, float b) {
    int32_t ia, ib;
    std::memcpy(&ia, &a, 4);
    std::memcpy(&ib, &b, 4);
    return std::llabs(static_cast<int64_t>(ia) - static_cast<int64_t>(ib));
}

template <typename In>
void expect_reciprocal_path(int32_t height, int32_t width, int32_t samples, int32_t tile) {
    auto a = random_layout(height, width, samples, tile, tile, lumra_test::uniform_int(1, 3), height % 3 == 0);
    const auto src = random_source<In>(a);
    const auto out = normalize(src, a);
    // Bit for bit the documented reciprocal arithmetic ...
    EXPECT_TRUE(lumra_test::same_bits(out, lumra_test::normalize_reciprocal_reference(src, a)))
        << height << "x" << width << "x" << samples << " tile " << tile;
    // ... and within the last bits of the division.
    const auto divided = lumra_test::normalize_reference(src, a);
    int64_t worst = 0;
    for (size_t i = 0; i < out.size(); ++i) worst = std::max(worst, ulp_distance(out[i], divided[i]));
    EXPECT_LE(worst, 2);
}

TEST(NormalizeRaw, ReciprocalPathsFollowTheirArithmeticAndAgreeWithDivision) {
    for (const Size& size : kSizes) {
        for (int h : {size.height, size.height + 2})
            for (int w : {size.width, size.width + 1}) {
                expect_reciprocal_path<uint16_t>(h, w, 1, 2);
                expect_reciprocal_path<uint16_t>(h, w, 1, 1);
                expect_reciprocal_path<uint16_t>(h, w, 3, 1);
                expect_reciprocal_path<float>(h, w, 1, 2);
                expect_reciprocal_path<float>(h, w, 1, 1);
                expect_reciprocal_path<float>(h, w, 3, 1);
            }
    }
}

// A dead tile entry stays 0 on the reciprocal paths even for infinite or NaN
// samples, where a zero reciprocal alone would give NaN.
TEST(NormalizeRaw, DeadEntriesStayZeroOnReciprocalPaths) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    for (int samples : {1, 3}) {
        NormalizeArgs a;
        a.height = 3, a.width = 7, a.samples = samples;
        a.black_levels.assign(static_cast<size_t>(samples), 10.0f);
        a.white_levels = {5.0f};
        std::vector<float> src(static_cast<size_t>(21 * samples));
        for (size_t i = 0; i < src.size(); ++i) src[i] = i % 3 == 0 ? inf : (i % 3 == 1 ? nan : -inf);
        const auto out = normalize(src, a);
        for (float v : out) EXPECT_EQ(v, 0.0f);
    }
}

// Spans whose reciprocal is not a normal float take the division.
TEST(NormalizeRaw, ExtremeSpansTakeTheDivision) {
    for (float white : {1e-39f, 3e38f}) {
        NormalizeArgs a;
        a.height = 3, a.width = 9;
        a.black_levels = {0.0f};
        a.white_levels = {white};
        const auto src = random_floats(27, 0.0f, white * 1.25f);
        EXPECT_TRUE(lumra_test::same_bits(normalize(src, a), lumra_test::normalize_reference(src, a))) << white;
    }
}

// --- Entry behaviour ------------------------------------------------------

TEST(NormalizeRaw, EmptyImagesAndStatuses) {
    NormalizeArgs a;
    a.height = 0, a.width = 4;
    float anchor = 0.0f;
    std::vector<float> none;
    LumraImage s{&anchor, 0, 4, 1, LUMRA_DTYPE_FLOAT32, 0}, d{&anchor, 0, 4, 1, LUMRA_DTYPE_FLOAT32, 0};
    const float black = 0.0f, white = 1.0f;
    EXPECT_EQ(lumra_normalize_raw(&s, &d, &black, 1, 1, 1, &white, 1, nullptr, 0, nullptr, 0, nullptr, 0), LUMRA_OK);
    s.dtype = LUMRA_DTYPE_UINT8;
    EXPECT_EQ(lumra_normalize_raw(&s, &d, &black, 1, 1, 1, &white, 1, nullptr, 0, nullptr, 0, nullptr, 0),
              LUMRA_ERR_UNSUPPORTED);
    s.dtype = LUMRA_DTYPE_FLOAT32;
    EXPECT_EQ(lumra_normalize_raw(&s, &d, &black, 1, 1, 2, &white, 1, nullptr, 0, nullptr, 0, nullptr, 0),
              LUMRA_ERR_INVALID_ARGUMENT);
    // 2^31 rows cannot be narrowed to the kernel's sizes.
    s.height = d.height = uint64_t{1} << 31;
    EXPECT_EQ(lumra_normalize_raw(&s, &d, &black, 1, 1, 1, &white, 1, nullptr, 0, nullptr, 0, nullptr, 0),
              LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(anchor, 0.0f);
}

// Scratch rows that cannot exist are refused before anything is read or written.
TEST(NormalizeRaw, UnavailableScratchIsRefusedWithoutWriting) {
    float pixel = 0.25f, out = -1.0f;
    const int32_t samples = 1 << 30;
    LumraImage s{&pixel, 1, (uint64_t{1} << 31) - 1, static_cast<uint64_t>(samples), LUMRA_DTYPE_FLOAT32, 0};
    LumraImage d{&out, s.height, s.width, s.channels, LUMRA_DTYPE_FLOAT32, 0};
    const float black = 0.0f, white = 1.0f, delta = 0.0f;
    EXPECT_EQ(lumra_normalize_raw(&s, &d, &black, 1, 1, samples, &white, 1, &delta, 1, nullptr, 0, nullptr, 0),
              LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(out, -1.0f);
}

// Null delta or table pointers, and counts below 1, mean "absent".
TEST(NormalizeRaw, TablesWithoutEntriesAreAbsent) {
    auto a = random_layout(4, 6, 1, 2, 2, 1, false);
    const auto src = random_source<uint16_t>(a);
    const auto expected = normalize(src, a);
    std::vector<float> dst(src.size());
    LumraImage s{const_cast<uint16_t*>(src.data()), 4, 6, 1, LUMRA_DTYPE_UINT16, 0};
    LumraImage d{dst.data(), 4, 6, 1, LUMRA_DTYPE_FLOAT32, 0};
    const float delta = 500.0f;
    const uint16_t table = 7;
    EXPECT_EQ(lumra_normalize_raw(&s, &d, a.black_levels.data(), 2, 2, 1, a.white_levels.data(), 1, &delta, 0, &delta,
                                  -3, &table, 0),
              LUMRA_OK);
    EXPECT_TRUE(lumra_test::same_bits(dst, expected));
    EXPECT_EQ(lumra_normalize_raw(&s, &d, a.black_levels.data(), 2, 2, 1, a.white_levels.data(), 1, nullptr, 4, nullptr,
                                  4, nullptr, 9),
              LUMRA_OK);
    EXPECT_TRUE(lumra_test::same_bits(dst, expected));
}

}  // namespace
