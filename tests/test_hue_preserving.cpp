// The hue-preserving path: the per-pixel tone against a literal reading of its
// comparisons (ties included), the three pipelines for each output type, the
// worked examples and the statuses of the path.
#include <gtest/gtest.h>

#include <cmath>

#include "color/hue_preserving.h"
#include "support/color_data.h"
#include "support/color_reference.h"

namespace {

using lumra_test::Image;
using lumra_test::random_curve;

std::vector<float> doubling_curve(size_t size) {
    std::vector<float> curve(size);
    for (size_t k = 0; k < size; ++k) curve[k] = std::min(1.0f, 2.0f * static_cast<float>(k) / (size - 1));
    return curve;
}

void tone(const std::vector<float>& curve, float r, float g, float b, float out[3]) {
    const std::vector<float> padded = lumra_ref::pad(curve);
    lumra::apply_hue_preserving_tone(r, g, b, out[0], out[1], out[2], padded.data(),
                                     static_cast<float>(curve.size() - 1), static_cast<int32_t>(curve.size() - 1));
}

TEST(HueTone, WorkedExamples) {
    // (0.8, 0.5, 0.2) through a curve that doubles and saturates: (1, 0.7, 0.4).
    const std::vector<float> doubling = doubling_curve(11);
    float out[3];
    tone(doubling, 0.8f, 0.5f, 0.2f, out);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_FLOAT_EQ(out[1], 0.7f);
    EXPECT_FLOAT_EQ(out[2], 0.4f);
    // Channels outside [0, 1] are clamped first: (1.5, 0.5, -0.2) acts as (1, 0.5, 0).
    float clamped[3];
    tone(doubling, 1.5f, 0.5f, -0.2f, out);
    tone(doubling, 1.0f, 0.5f, 0.0f, clamped);
    EXPECT_EQ(std::vector<float>(out, out + 3), std::vector<float>(clamped, clamped + 3));
    // Grey maps every channel through the curve alike.
    const std::vector<float> curve = random_curve(33);
    tone(curve, 0.3f, 0.3f, 0.3f, out);
    const float grey = lumra_ref::lookup(lumra_ref::pad(curve), 0.3f * 32.0f);
    EXPECT_EQ(std::vector<float>(out, out + 3), std::vector<float>(3, grey));
    // The identity curve leaves pixels in [0, 1] as they are (within rounding).
    std::vector<float> identity(1025);
    for (size_t k = 0; k < identity.size(); ++k) identity[k] = static_cast<float>(k) / 1024.0f;
    tone(identity, 0.125f, 0.75f, 0.5f, out);
    EXPECT_FLOAT_EQ(out[0], 0.125f);
    EXPECT_FLOAT_EQ(out[1], 0.75f);
    EXPECT_FLOAT_EQ(out[2], 0.5f);
}

TEST(HueTone, EveryOrderingAndTieMatchesTheComparisons) {
    const std::vector<float> curve = random_curve(64, -0.2f, 1.2f);
    const std::vector<float> padded = lumra_ref::pad(curve);
    const float v[] = {0.0f, 0.2f, 0.2f + 5e-11f, 0.6f, 1.0f, 1e-11f, 1.3f, -0.1f};
    for (float r : v)
        for (float g : v)
            for (float b : v) {
                float out[3], expected[3];
                tone(curve, r, g, b, out);
                lumra_ref::hue_tone(r, g, b, expected, padded, 63.0f);
                EXPECT_EQ(0, std::memcmp(out, expected, sizeof out)) << r << " " << g << " " << b;
            }
    // A range of at most 1e-10 gives the middle channel lo_out.
    float out[3];
    tone(curve, 1e-11f, 0.0f, 5e-12f, out);
    EXPECT_EQ(out[2], out[1]);
}

TEST(HueTone, SameRangeThroughLanesAndRemainder) {
    // NaN, infinities and ties in a 133-pixel image exercise both paths.
    const std::vector<float> curve = random_curve(4096);
    Image<float> src(7, 19, 3), dst(7, 19, 3);
    src.pixels = lumra_test::color_elements<float>(src.pixels.size());
    src.desc.data = src.pixels.data();
    for (size_t i = 60; i < 90; i += 3) src.pixels[i + 1] = src.pixels[i + (i / 3) % 2 * 2];  // ties
    ASSERT_EQ(lumra_transform_color(src.get(), dst.get(), curve.data(), curve.size(), nullptr, nullptr, 0, 0, 0, true),
              LUMRA_OK);
    lumra_ref::TransformArgs args{&curve, nullptr, nullptr, 0, 0};
    EXPECT_EQ(lumra_test::first_difference(dst.pixels, lumra_ref::hue_transform<float>(src.pixels, args)), -1);
    // In place with float in and out.
    ASSERT_EQ(lumra_transform_color(src.get(), src.get(), curve.data(), curve.size(), nullptr, nullptr, 0, 0, 0, true),
              LUMRA_OK);
    EXPECT_EQ(lumra_test::first_difference(src.pixels, dst.pixels), -1);
}

template <typename Out>
void expect_pipelines_match(int32_t out_bits) {
    const std::vector<float> matrix = lumra_test::random_matrix();
    for (size_t size : {1, 2, 17, 256, 4096}) {
        const std::vector<float> first = random_curve(size, -0.1f, 1.2f);
        const std::vector<float> second = random_curve(size + 3, -0.1f, 1.2f);
        Image<float> src(5, 27, 3);
        src.pixels = lumra_test::color_elements<float>(src.pixels.size());
        src.desc.data = src.pixels.data();
        for (bool with_second : {false, true}) {
            Image<Out> dst(5, 27, 3);
            const lumra_ref::TransformArgs args{&first, matrix.data(), with_second ? &second : nullptr, 0, out_bits};
            ASSERT_EQ(lumra_transform_color(src.get(), dst.get(), first.data(), first.size(), matrix.data(),
                                            with_second ? second.data() : nullptr, second.size(), 0, out_bits, true),
                      LUMRA_OK);
            EXPECT_EQ(lumra_test::first_difference(dst.pixels, lumra_ref::hue_transform<Out>(src.pixels, args)), -1)
                << size << " " << with_second;
        }
    }
}

TEST(HuePipelines, MatrixAndSecondCurveForEachOutputType) {
    expect_pipelines_match<uint8_t>(0);
    expect_pipelines_match<uint16_t>(0);
    expect_pipelines_match<float>(0);
    expect_pipelines_match<uint16_t>(12);
    expect_pipelines_match<uint8_t>(10);  // scale above the type: stores saturate
}

TEST(HuePipelines, EveryLevelGivesTheSameResults) {
    lumra_test::at_every_level([] {
        expect_pipelines_match<uint8_t>(0);
        expect_pipelines_match<uint16_t>(12);
        expect_pipelines_match<float>(0);
    });
}

TEST(HuePipelines, MatrixResultIsClampedBeforeTruncation) {
    // An 8-bit output whose matrix result is 0.999 stores 254.
    std::vector<float> identity(2);
    identity[1] = 1.0f;
    const float matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Image<float> src(1, 1, 3);
    src.pixels = {0.999f, 0.999f, 0.999f};
    Image<uint8_t> dst(1, 1, 3);
    ASSERT_EQ(lumra_transform_color(src.get(), dst.get(), identity.data(), 2, matrix, nullptr, 0, 0, 0, true),
              LUMRA_OK);
    EXPECT_EQ(dst.pixels, std::vector<uint8_t>(3, 254));
}

TEST(HueStatus, FloatInputAndLut1Required) {
    const std::vector<float> curve = random_curve(16);
    const float matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Image<float> fsrc(2, 2, 3), fdst(2, 2, 3);
    Image<uint16_t> wsrc(2, 2, 3), wdst(2, 2, 3);
    wdst.pixels.assign(12, 5);
    auto call = [&](const LumraImage* s, LumraImage* d, const float* lut1, const float* m, int32_t out_bits) {
        return lumra_transform_color(s, d, lut1, 16, m, nullptr, 0, 0, out_bits, true);
    };
    EXPECT_EQ(call(wsrc.get(), fdst.get(), curve.data(), matrix, 0), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(call(fsrc.get(), fdst.get(), nullptr, matrix, 0), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(call(fsrc.get(), wdst.get(), curve.data(), nullptr, 0), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(call(fsrc.get(), wdst.get(), curve.data(), matrix, 32), LUMRA_ERR_UNSUPPORTED);
    LumraImage odd = *wdst.get();
    odd.dtype = static_cast<LumraDType>(2);
    EXPECT_EQ(call(fsrc.get(), &odd, curve.data(), matrix, 0), LUMRA_ERR_UNSUPPORTED);
    EXPECT_EQ(call(fsrc.get(), &odd, curve.data(), nullptr, 0), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(wdst.pixels, std::vector<uint16_t>(12, 5));
    EXPECT_EQ(call(fsrc.get(), wdst.get(), curve.data(), matrix, 0), LUMRA_OK);
}

}  // namespace
