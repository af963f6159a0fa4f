// lumra_clip_and_transform_color and lumra_mono_lut against plain readings,
// with their worked examples and statuses.
#include <gtest/gtest.h>

#include <cmath>

#include "color/lut_lookup.h"
#include "color/value_table.h"
#include "support/color_data.h"
#include "support/color_reference.h"

namespace {

using lumra_test::Image;
using lumra_test::random_curve;

void expect_clip_and_transform_matches() {
    const std::vector<float> matrix = lumra_test::random_matrix();
    const float clip_max[3] = {0.7f, 0.9f, -0.0f};
    // The last size is larger than the caches.
    using Size = std::pair<uint64_t, uint64_t>;
    for (auto [height, width] : {Size{3, 1}, Size{3, 3}, Size{3, 4}, Size{3, 19}, Size{3, 130}, Size{1025, 1024}}) {
        Image<float> src(height, width, 3), dst(height, width, 3);
        src.pixels = lumra_test::color_elements<float>(src.pixels.size());
        src.desc.data = src.pixels.data();
        ASSERT_EQ(lumra_clip_and_transform_color(src.get(), dst.get(), clip_max, matrix.data()), LUMRA_OK);
        EXPECT_EQ(lumra_test::first_difference(dst.pixels, lumra_ref::clip_and_transform(src.pixels, clip_max,
                                                                                           matrix.data())),
                  -1);
        // In place gives the same.
        ASSERT_EQ(lumra_clip_and_transform_color(src.get(), src.get(), clip_max, matrix.data()), LUMRA_OK);
        EXPECT_EQ(lumra_test::first_difference(src.pixels, dst.pixels), -1);
    }
}

TEST(ClipAndTransform, MatchesTheReadingThroughLanesAndRemainderAtEveryLevel) {
    lumra_test::at_every_level([] { expect_clip_and_transform_matches(); });
}

TEST(ClipAndTransform, WorkedExamples) {
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const float ones[3] = {1, 1, 1};
    Image<float> src(1, 2, 3), dst(1, 2, 3);
    src.pixels = {-0.5f, 0.25f, 1.5f, 0.5f, 2.0f, -0.0f};
    ASSERT_EQ(lumra_clip_and_transform_color(src.get(), dst.get(), ones, identity), LUMRA_OK);
    EXPECT_EQ(dst.pixels, (std::vector<float>{0.0f, 0.25f, 1.0f, 0.5f, 1.0f, 0.0f}));
    // A channel above its limit contributes exactly the limit; negatives pass to the matrix.
    const float sum_row[9] = {1, 1, 0, 0, 0, 0, 0, 0, 0};
    const float limits[3] = {0.25f, 0.5f, 1.0f};
    src.pixels = {0.9f, -0.125f, 0.0f, 0.9f, 0.9f, 0.0f};
    ASSERT_EQ(lumra_clip_and_transform_color(src.get(), dst.get(), limits, sum_row), LUMRA_OK);
    EXPECT_EQ(dst.pixels[0], 0.125f);
    EXPECT_EQ(dst.pixels[3], 0.75f);
    // Empty image: status 0.
    Image<float> none(0, 4, 3), none_out(0, 4, 3);
    EXPECT_EQ(lumra_clip_and_transform_color(none.get(), none_out.get(), ones, identity), LUMRA_OK);
    // Integer types are refused with 2 even when reserved is also wrong.
    Image<uint16_t> words(1, 2, 3);
    LumraImage bad_dst = *dst.get();
    bad_dst.reserved = 1;
    EXPECT_EQ(lumra_clip_and_transform_color(words.get(), &bad_dst, ones, identity), LUMRA_ERR_UNSUPPORTED);
}

template <typename In, typename Out>
void expect_mono_matches(size_t count, const std::vector<float>& lut, int32_t in_bits, int32_t out_bits) {
    Image<In> src(1, count, 1);
    src.pixels = lumra_test::color_elements<In>(count);
    src.desc.data = src.pixels.data();
    Image<Out> dst(1, count, 1);
    ASSERT_EQ(lumra_mono_lut(src.get(), dst.get(), lut.data(), lut.size(), in_bits, out_bits), LUMRA_OK);
    const std::vector<Out> expected = lumra_ref::mono_lut<In, Out>(src.pixels, lut, in_bits, out_bits);
    EXPECT_EQ(lumra_test::first_difference(dst.pixels, expected), -1)
        << lut.size() << " bits " << in_bits << "/" << out_bits;
}

template <typename In>
void expect_mono_from(size_t count) {
    for (size_t size : {2, 17, 256, 257, 4096, 65536}) {
        // The exact-size vector lets the sanitizer catch any read past entry N - 1.
        const std::vector<float> lut = random_curve(size, -0.2f, 1.2f);
        for (auto [in_bits, out_bits] : {std::pair{0, 0}, std::pair{12, 10}, std::pair{6, 12}}) {
            expect_mono_matches<In, uint8_t>(count, lut, in_bits, out_bits);
            expect_mono_matches<In, uint16_t>(count, lut, in_bits, out_bits);
            expect_mono_matches<In, float>(count, lut, in_bits, out_bits);
        }
    }
}

TEST(MonoLut, EveryPairAndSizeMatchesTheReading) {
    expect_mono_from<uint8_t>(1000);
    expect_mono_from<uint16_t>(1000);
    expect_mono_from<float>(1000);
}

TEST(MonoLut, LargeSixteenBitImagesUseAValueTableWithTheSameResults) {
    const std::vector<float> lut = random_curve(4096, -0.1f, 1.1f);
    expect_mono_matches<uint16_t, uint8_t>(300000, lut, 0, 0);
    expect_mono_matches<uint16_t, uint8_t>(300005, lut, 0, 0);
    expect_mono_matches<uint16_t, float>(300000, lut, 12, 0);
}

TEST(MonoLut, WordToByteTableReadsEveryElementAndWritesNoFurther) {
    std::vector<uint8_t> table(65536);
    std::vector<uint16_t> src(100);
    lumra_test::fill_random(table);
    lumra_test::fill_random(src);
    for (uint64_t count : {0, 1, 7, 8, 9, 15, 16, 17, 100}) {
        std::vector<uint8_t> out(count + 1, 7), expected(count + 1, 7);
        for (uint64_t i = 0; i < count; ++i) expected[i] = table[src[i]];
        lumra::apply_word_to_byte_table(src.data(), out.data(), count, table.data());
        EXPECT_EQ(out, expected) << count;
    }
}

TEST(MonoLut, WorkedExamples) {
    const std::vector<float> lut = random_curve(256);
    // 8-bit with 256 entries: L[s] whatever in_bits says.
    Image<uint8_t> src(1, 4, 1);
    src.pixels = {0, 17, 200, 255};
    Image<float> out(1, 4, 1);
    ASSERT_EQ(lumra_mono_lut(src.get(), out.get(), lut.data(), 256, 6, 0), LUMRA_OK);
    EXPECT_EQ(out.pixels, (std::vector<float>{lut[0], lut[17], lut[200], lut[255]}));
    // 16-bit with in_bits 12: 4095 and everything above yield L[N - 1].
    const std::vector<float> curve = random_curve(100);
    Image<uint16_t> words(1, 3, 1);
    words.pixels = {4095, 4096, 65535};
    Image<float> tops(1, 3, 1);
    ASSERT_EQ(lumra_mono_lut(words.get(), tops.get(), curve.data(), 100, 12, 0), LUMRA_OK);
    EXPECT_EQ(tops.pixels, std::vector<float>(3, curve[99]));
    // Float below 0 reads L[0] (1.2 stores 255), 0.5 reads L[1] (-0.1 stores 0), above 1 reads
    // L[N - 1] (0.5 stores 127).
    const std::vector<float> values = {1.2f, -0.1f, 0.5f};
    Image<float> floats(1, 3, 1);
    floats.pixels = {2.0f, -1.0f, 0.5f};
    Image<uint8_t> bytes(1, 3, 1);
    ASSERT_EQ(lumra_mono_lut(floats.get(), bytes.get(), values.data(), 3, 0, 0), LUMRA_OK);
    EXPECT_EQ(bytes.pixels, (std::vector<uint8_t>{127, 255, 0}));
    // In place with equal types.
    Image<uint16_t> in_place(1, 3, 1), separate(1, 3, 1);
    in_place.pixels = {1, 30000, 65535};
    ASSERT_EQ(lumra_mono_lut(in_place.get(), separate.get(), curve.data(), 100, 0, 0), LUMRA_OK);
    ASSERT_EQ(lumra_mono_lut(in_place.get(), in_place.get(), curve.data(), 100, 0, 0), LUMRA_OK);
    EXPECT_EQ(in_place.pixels, separate.pixels);
}

TEST(MonoLut, StatusesAndUntouchedDestination) {
    const std::vector<float> lut = random_curve(8);
    Image<uint16_t> src(2, 2, 1);
    Image<uint8_t> dst(2, 2, 1);
    dst.pixels.assign(4, 3);
    EXPECT_EQ(lumra_mono_lut(src.get(), dst.get(), lut.data(), 1, 0, 0), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(lumra_mono_lut(src.get(), dst.get(), lut.data(), 0, 0, 0), LUMRA_ERR_INVALID_ARGUMENT);
    Image<uint16_t> three(2, 2, 3);
    EXPECT_EQ(lumra_mono_lut(three.get(), dst.get(), lut.data(), 8, 0, 0), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(lumra_mono_lut(src.get(), dst.get(), lut.data(), 8, 32, 0), LUMRA_ERR_UNSUPPORTED);
    EXPECT_EQ(lumra_mono_lut(src.get(), dst.get(), lut.data(), 8, 0, 33), LUMRA_ERR_UNSUPPORTED);
    LumraImage odd = *dst.get();
    odd.dtype = static_cast<LumraDType>(2);
    EXPECT_EQ(lumra_mono_lut(src.get(), &odd, lut.data(), 8, 0, 0), LUMRA_ERR_UNSUPPORTED);
    EXPECT_EQ(lumra_mono_lut(src.get(), &odd, lut.data(), 8, 0, 8), LUMRA_ERR_UNSUPPORTED);
    EXPECT_EQ(lumra_mono_lut(&odd, src.get(), lut.data(), 8, 0, 0), LUMRA_ERR_UNSUPPORTED);
    EXPECT_EQ(dst.pixels, std::vector<uint8_t>(4, 3));
    // Float sides ignore their bit depth; empty images succeed.
    Image<float> f(2, 2, 1);
    EXPECT_EQ(lumra_mono_lut(f.get(), f.get(), lut.data(), 8, 40, 40), LUMRA_OK);
    Image<uint8_t> empty(0, 3, 1), empty_out(0, 3, 1);
    EXPECT_EQ(lumra_mono_lut(empty.get(), empty_out.get(), lut.data(), 8, 0, 0), LUMRA_OK);
}

TEST(MonoLut, UnpaddedLookupStaysInsideHugeTables) {
    // float(N - 1) rounds up past N - 1; nothing past entry N - 1 is read.
    const uint64_t size = (uint64_t{1} << 24) + 4;
    std::vector<float> lut(size, 0.5f);
    lut[size - 1] = 0.75f;
    const float top = static_cast<float>(size - 1);
    EXPECT_EQ(lumra::lut_lookup_unpadded(lut.data(), size, top, 1e30f), 0.75f);
    EXPECT_EQ(lumra::lut_lookup_unpadded(lut.data(), size, top, top), 0.75f);
}

}  // namespace
