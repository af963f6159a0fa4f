// lumra_transform_color without the hue-preserving path: every type pair and
// every row of the selection table against a plain reading, the direct-index
// forms, table sizes, the top of the range, in-place use and the statuses.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "color/color_kernels.h"
#include "color/transform_kernels.h"
#include "color/value_table.h"
#include "support/color_data.h"
#include "support/color_reference.h"

namespace {

using lumra_test::color_elements;
using lumra_test::Image;
using lumra_test::random_curve;

template <typename In, typename Out>
struct Pair {
    using InType = In;
    using OutType = Out;
};

template <typename P>
class TransformPairs : public ::testing::Test {};
using AllPairs = ::testing::Types<Pair<uint8_t, uint8_t>, Pair<uint8_t, uint16_t>, Pair<uint8_t, float>,
                                  Pair<uint16_t, uint8_t>, Pair<uint16_t, uint16_t>, Pair<uint16_t, float>,
                                  Pair<float, uint8_t>, Pair<float, uint16_t>, Pair<float, float>>;
TYPED_TEST_SUITE(TransformPairs, AllPairs);

struct Stages {
    bool lut1, matrix, lut2;
};
// Every row of the selection table, including both curves without a matrix.
const Stages kRows[] = {{true, true, true},  {true, true, false},  {false, true, true}, {false, true, false},
                        {true, false, false}, {false, false, true}, {true, false, true}};

template <typename In, typename Out>
LumraStatus run_transform(const Image<In>& src, Image<Out>& dst, const lumra_ref::TransformArgs& args,
                          bool hue = false) {
    const float* lut1 = args.lut1 ? args.lut1->data() : nullptr;
    const float* lut2 = args.lut2 ? args.lut2->data() : nullptr;
    return lumra_transform_color(src.get(), dst.get(), lut1, args.lut1 ? args.lut1->size() : 0, args.matrix, lut2,
                                 args.lut2 ? args.lut2->size() : 0, args.in_bits, args.out_bits, hue);
}

// A 7 x 19 image: one block of 128 pixels in lanes and five remainder pixels.
template <typename In, typename Out>
void expect_matches_reference(const lumra_ref::TransformArgs& args, uint64_t height = 7, uint64_t width = 19) {
    Image<In> src(height, width, 3);
    src.pixels = color_elements<In>(src.pixels.size());
    src.desc.data = src.pixels.empty() ? src.desc.data : src.pixels.data();
    Image<Out> dst(height, width, 3);
    ASSERT_EQ(run_transform(src, dst, args), LUMRA_OK);
    const std::vector<Out> expected = lumra_ref::transform<In, Out>(src.pixels, args);
    EXPECT_EQ(lumra_test::first_difference(dst.pixels, expected), -1)
        << "lut1 " << (args.lut1 ? args.lut1->size() : 0) << " matrix " << (args.matrix != nullptr) << " lut2 "
        << (args.lut2 ? args.lut2->size() : 0) << " bits " << args.in_bits << "/" << args.out_bits;
}

template <typename In, typename Out>
void expect_every_row_matches() {
    const std::vector<float> matrix = lumra_test::random_matrix();
    for (size_t size : {1, 2, 17, 256, 257, 4096}) {
        // Curves partly outside [0, 1], so stores and clamps see out-of-range values.
        const std::vector<float> first = random_curve(size, -0.2f, 1.3f);
        const std::vector<float> second = random_curve(size == 256 ? 17 : size, -0.2f, 1.3f);
        for (const Stages& row : kRows) {
            for (auto [in_bits, out_bits] : {std::pair{0, 0}, std::pair{12, 10}, std::pair{6, 3}}) {
                lumra_ref::TransformArgs args;
                args.lut1 = row.lut1 ? &first : nullptr;
                args.matrix = row.matrix ? matrix.data() : nullptr;
                args.lut2 = row.lut2 ? &second : nullptr;
                args.in_bits = in_bits;
                args.out_bits = out_bits;
                expect_matches_reference<In, Out>(args);
            }
        }
    }
}

TYPED_TEST(TransformPairs, EveryRowAndTableSizeMatchesTheReferenceAtEveryLevel) {
    lumra_test::at_every_level(
        [] { expect_every_row_matches<typename TypeParam::InType, typename TypeParam::OutType>(); });
}

TYPED_TEST(TransformPairs, SmallImagesRunOnlyTheRemainderPath) {
    using In = typename TypeParam::InType;
    using Out = typename TypeParam::OutType;
    const std::vector<float> matrix = lumra_test::random_matrix();
    const std::vector<float> curve = random_curve(33, -0.1f, 1.1f);
    for (uint64_t width : {1, 2, 3, 4, 5, 8, 9}) {
        for (const Stages& row : kRows) {
            lumra_ref::TransformArgs args{row.lut1 ? &curve : nullptr, row.matrix ? matrix.data() : nullptr,
                                          row.lut2 ? &curve : nullptr, 0, 0};
            expect_matches_reference<In, Out>(args, 1, width);
        }
    }
}

TYPED_TEST(TransformPairs, EmptyImageWritesNothing) {
    using In = typename TypeParam::InType;
    using Out = typename TypeParam::OutType;
    const std::vector<float> curve = random_curve(9);
    Image<In> src(0, 5, 3);
    Image<Out> dst(0, 5, 3);
    EXPECT_EQ(lumra_transform_color(src.get(), dst.get(), curve.data(), curve.size(), nullptr, nullptr, 0, 0, 0, false),
              LUMRA_OK);
    // Kernels given a negative count leave the destination alone.
    std::vector<Out> out(12, Out(7));
    const std::vector<In> in(12, In(1));
    const std::vector<float> padded = lumra_ref::pad(curve);
    lumra::transform_lut_only_impl<In, Out, false>(in.data(), out.data(), -4, padded.data(), 9, 1.0f, 1.0f);
    EXPECT_EQ(out, std::vector<Out>(12, Out(7)));
}

// Direct-index forms: 8-bit input with exactly 256 entries.
template <typename Out>
void expect_direct_equals_interpolated() {
    std::vector<float> curve(256);
    for (int k = 0; k < 256; ++k) curve[k] = std::sqrt(k / 255.0f);
    const std::vector<float> padded = lumra_ref::pad(curve);
    const std::vector<float> matrix = lumra_test::random_matrix();
    std::vector<uint8_t> src(3 * 300);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 7);
    std::vector<Out> direct(src.size()), interpolated(src.size());
    const float in_scale = 1.0f / 255.0f, out_scale = lumra_ref::full_scale(lumra_test::dtype_of<Out>(), 0);
    // With in_scale 1/255 every position is the element itself, so both forms agree.
    lumra::transform_lut_only_impl<uint8_t, Out, true>(src.data(), direct.data(), 300, padded.data(), 256, 0.0f,
                                                       out_scale);
    lumra::transform_lut_only_impl<uint8_t, Out, false>(src.data(), interpolated.data(), 300, padded.data(), 256,
                                                        in_scale, out_scale);
    EXPECT_TRUE(lumra_test::same_elements(direct, interpolated));
    lumra::transform_lut_matrix_impl<uint8_t, Out, true>(src.data(), direct.data(), 300, padded.data(), 256,
                                                         matrix.data(), 123.0f, out_scale);
    lumra::transform_lut_matrix_impl<uint8_t, Out, false>(src.data(), interpolated.data(), 300, padded.data(), 256,
                                                          matrix.data(), in_scale, out_scale);
    EXPECT_TRUE(lumra_test::same_elements(direct, interpolated));
    lumra::transform_lut_matrix_lut_impl<uint8_t, Out, true>(src.data(), direct.data(), 300, padded.data(), 256,
                                                             matrix.data(), padded.data(), 256, -5.0f, out_scale);
    lumra::transform_lut_matrix_lut_impl<uint8_t, Out, false>(src.data(), interpolated.data(), 300, padded.data(),
                                                              256, matrix.data(), padded.data(), 256, in_scale,
                                                              out_scale);
    EXPECT_TRUE(lumra_test::same_elements(direct, interpolated));
}

TEST(DirectIndex, AgreesWithInterpolationAtWholePositions) {
    expect_direct_equals_interpolated<uint8_t>();
    expect_direct_equals_interpolated<uint16_t>();
    expect_direct_equals_interpolated<float>();
}

TEST(DirectIndex, InBitsMakeNoDifferenceAnd257EntriesInterpolate) {
    const std::vector<float> curve256 = random_curve(256), curve257 = random_curve(257);
    const std::vector<float> matrix = lumra_test::random_matrix();
    Image<uint8_t> src(3, 50, 3);
    src.pixels = color_elements<uint8_t>(src.pixels.size());
    src.desc.data = src.pixels.data();
    for (const Stages& row : kRows) {
        Image<float> plain(3, 50, 3), six_bits(3, 50, 3);
        lumra_ref::TransformArgs args{row.lut1 ? &curve256 : nullptr, row.matrix ? matrix.data() : nullptr,
                                      row.lut2 ? &curve256 : nullptr, 0, 0};
        ASSERT_EQ(run_transform(src, plain, args), LUMRA_OK);
        args.in_bits = 6;
        ASSERT_EQ(run_transform(src, six_bits, args), LUMRA_OK);
        // Only rows that start with a curve read it directly; matrix-first rows depend on in_bits.
        const bool starts_with_curve = row.lut1 || !row.matrix;
        if (starts_with_curve) EXPECT_TRUE(lumra_test::same_bits(plain.pixels, six_bits.pixels));
        else EXPECT_FALSE(lumra_test::same_bits(plain.pixels, six_bits.pixels));
    }
    // 257 entries: the interpolating member, so in_bits matters.
    Image<float> plain(3, 50, 3), six_bits(3, 50, 3);
    ASSERT_EQ(run_transform(src, plain, {&curve257, nullptr, nullptr, 0, 0}), LUMRA_OK);
    ASSERT_EQ(run_transform(src, six_bits, {&curve257, nullptr, nullptr, 6, 0}), LUMRA_OK);
    EXPECT_FALSE(lumra_test::same_bits(plain.pixels, six_bits.pixels));
}

TEST(DirectIndex, ByteTableRoutinesAgreeWithThePlainLookup) {
    std::vector<uint8_t> table(256), src(1000);
    lumra_test::fill_random(table);
    lumra_test::fill_random(src);
    for (uint64_t count : {0, 1, 63, 64, 65, 200, 1000}) {
        std::vector<uint8_t> expected(count + 1, 7);
        for (uint64_t i = 0; i < count; ++i) expected[i] = table[src[i]];
        lumra_test::at_every_level([&] {
            std::vector<uint8_t> looked_up(count + 1, 7);
            lumra::apply_byte_table(src.data(), looked_up.data(), count, table.data());
            EXPECT_EQ(looked_up, expected) << count;
        });
    }
}

TEST(TransformEdges, WorkedExamples) {
    // 255 with a 17-entry table lands on position 16 and reads entry 16 exactly.
    const std::vector<float> curve = random_curve(17);
    Image<uint8_t> top(1, 1, 3);
    top.pixels = {255, 255, 255};
    Image<float> out(1, 1, 3);
    ASSERT_EQ(run_transform(top, out, {&curve, nullptr, nullptr, 0, 0}), LUMRA_OK);
    EXPECT_EQ(out.pixels, std::vector<float>(3, curve[16]));

    // Integer stores truncate: 0.999 -> 254, 0.5 -> 127.
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Image<float> grey(1, 2, 3);
    grey.pixels = {0.999f, 0.5f, 0.999f, 0.5f, 0.5f, 0.5f};
    Image<uint8_t> bytes(1, 2, 3);
    ASSERT_EQ(run_transform(grey, bytes, {nullptr, identity, nullptr, 0, 0}), LUMRA_OK);
    EXPECT_EQ(bytes.pixels, (std::vector<uint8_t>{254, 127, 254, 127, 127, 127}));

    // in_bits 12 on 16-bit data: 4095 maps to the top of the curve.
    for (size_t size : {17, 4096}) {
        const std::vector<float> c = random_curve(size);
        Image<uint16_t> twelve(1, 1, 3);
        twelve.pixels = {4095, 4095, 4095};
        Image<float> o(1, 1, 3);
        ASSERT_EQ(run_transform(twelve, o, {&c, nullptr, nullptr, 12, 0}), LUMRA_OK);
        EXPECT_EQ(o.pixels[0], c.back()) << size;
    }

    // Float input below 0 reads entry 0, above 1 (and +inf) the last entry; NaN reads entry 0.
    Image<float> outside(1, 2, 3);
    outside.pixels = {-0.5f, 1.5f, std::numeric_limits<float>::infinity(), std::nanf(""), -1e30f, 1.0f};
    Image<float> looked(1, 2, 3);
    ASSERT_EQ(run_transform(outside, looked, {&curve, nullptr, nullptr, 0, 0}), LUMRA_OK);
    const float first = lumra_ref::unit_clamp(curve[0]), last = lumra_ref::unit_clamp(curve[16]);
    EXPECT_EQ(looked.pixels, (std::vector<float>{first, last, last, first, first, last}));

    // A one-entry table maps everything to its entry.
    const std::vector<float> single = {0.25f};
    ASSERT_EQ(run_transform(outside, looked, {&single, nullptr, nullptr, 0, 0}), LUMRA_OK);
    EXPECT_EQ(looked.pixels, std::vector<float>(6, 0.25f));
}

TEST(TransformEdges, ValuesOutsideTheUnitRange) {
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Image<float> src(1, 1, 3);
    src.pixels = {0.0f, 0.5f, 1.0f};
    // lut-only: above 1 stores the full scale, below 0 stores 0.
    const std::vector<float> wild = {1.7f, -0.4f, 3.0f};
    Image<uint16_t> words(1, 1, 3);
    ASSERT_EQ(run_transform(src, words, {&wild, nullptr, nullptr, 0, 0}), LUMRA_OK);
    EXPECT_EQ(words.pixels, (std::vector<uint16_t>{65535, 0, 65535}));
    // A final curve above 1 with float output writes values above 1.
    Image<float> floats(1, 1, 3);
    const std::vector<float> high = {2.0f, 2.0f};
    ASSERT_EQ(run_transform(src, floats, {nullptr, identity, &high, 0, 0}), LUMRA_OK);
    EXPECT_EQ(floats.pixels, std::vector<float>(3, 2.0f));
    ASSERT_EQ(run_transform(src, floats, {&high, identity, &high, 0, 0}), LUMRA_OK);
    EXPECT_EQ(floats.pixels, std::vector<float>(3, 2.0f));
    // lut then matrix: a curve value of 2 is clamped to 1 after the identity matrix.
    ASSERT_EQ(run_transform(src, floats, {&high, identity, nullptr, 0, 0}), LUMRA_OK);
    EXPECT_EQ(floats.pixels, std::vector<float>(3, 1.0f));
    // out_bits beyond the type saturate: 12-bit scale into 8-bit elements.
    Image<uint8_t> bytes(1, 1, 3);
    ASSERT_EQ(run_transform(src, bytes, {nullptr, identity, nullptr, 0, 12}), LUMRA_OK);
    EXPECT_EQ(bytes.pixels, (std::vector<uint8_t>{0, 255, 255}));
}

TEST(TransformEdges, MatrixWithoutCurvesIgnoresNothingAndBothCurvesWithoutMatrixUseLut1) {
    const std::vector<float> a = random_curve(40), b = random_curve(41);
    Image<uint16_t> src(4, 9, 3);
    src.pixels = color_elements<uint16_t>(src.pixels.size());
    src.desc.data = src.pixels.data();
    Image<uint16_t> both(4, 9, 3), first_only(4, 9, 3);
    ASSERT_EQ(run_transform(src, both, {&a, nullptr, &b, 0, 0}), LUMRA_OK);
    ASSERT_EQ(run_transform(src, first_only, {&a, nullptr, nullptr, 0, 0}), LUMRA_OK);
    EXPECT_EQ(both.pixels, first_only.pixels);
}

TEST(TransformEdges, LargestTables) {
    // 65536 entries on 16-bit input: still interpolated, and the top element reads the padding with weight 0.
    const std::vector<float> big = random_curve(65536, -0.1f, 1.1f);
    const std::vector<float> matrix = lumra_test::random_matrix();
    expect_matches_reference<uint16_t, uint16_t>({&big, nullptr, nullptr, 0, 0});
    expect_matches_reference<uint16_t, float>({&big, matrix.data(), &big, 0, 0});
    expect_matches_reference<float, uint8_t>({&big, matrix.data(), &big, 0, 0});
}

TEST(TransformEdges, LargeIntegerImagesThroughAValueTableGiveTheSameResults) {
    // Past 4 x 65536 elements the 16-bit curve-only kernel computes each value once.
    const std::vector<float> curve = random_curve(4096, -0.1f, 1.1f);
    expect_matches_reference<uint16_t, uint16_t>({&curve, nullptr, nullptr, 0, 0}, 300, 300);
    expect_matches_reference<uint16_t, float>({&curve, nullptr, nullptr, 12, 0}, 300, 300);
    expect_matches_reference<uint16_t, uint8_t>({nullptr, nullptr, &curve, 0, 0}, 300, 300);
}

TEST(TransformEdges, FirstCurveReadByValueOnLargeIntegerImagesGivesTheSameResults) {
    // Past four times as many elements as values, an interpolated first curve
    // before a matrix is computed once per element value.
    const std::vector<float> curve = random_curve(4096, -0.1f, 1.1f);
    const std::vector<float> second = random_curve(1000, -0.1f, 1.1f);
    const std::vector<float> matrix = lumra_test::random_matrix();
    lumra_test::at_every_level([&] {
        expect_matches_reference<uint16_t, uint16_t>({&curve, matrix.data(), &second, 0, 0}, 300, 300);
        expect_matches_reference<uint16_t, uint8_t>({&curve, matrix.data(), nullptr, 12, 0}, 300, 300);
        expect_matches_reference<uint16_t, float>({&curve, matrix.data(), &second, 10, 0}, 300, 300);
        expect_matches_reference<uint8_t, float>({&curve, matrix.data(), &second, 0, 0}, 20, 20);
        expect_matches_reference<uint8_t, uint16_t>({&second, matrix.data(), nullptr, 6, 0}, 20, 20);
    });
}

TEST(TransformEdges, LookupStaysInsideTablesBeyondTwoToThe24) {
    // float(N - 1) rounds up to N here, so only the integer limit keeps k at N - 1.
    const int32_t size = (1 << 24) + 4;
    std::vector<float> padded(static_cast<size_t>(size) + 1, 0.5f);
    padded[size - 1] = 0.75f;
    padded[size] = 0.75f;
    const lumra::LutBounds bounds = lumra::lut_bounds(size);
    ASSERT_GT(static_cast<double>(bounds.top), static_cast<double>(size - 1));
    EXPECT_EQ(lumra::lut_lookup(padded.data(), 1e30f, bounds), 0.75f);
    const lumra::Lanes lanes = lumra::lut_lookup(padded.data(), lumra::Lanes(bounds.top), bounds);
    alignas(16) float values[4];
    std::memcpy(values, &lanes, sizeof values);
    EXPECT_EQ(values[3], 0.75f);
}

template <typename T>
void expect_in_place_matches() {
    const std::vector<float> curve = random_curve(100, -0.1f, 1.1f);
    const std::vector<float> matrix = lumra_test::random_matrix();
    for (const Stages& row : kRows) {
        Image<T> src(5, 31, 3);
        src.pixels = color_elements<T>(src.pixels.size());
        src.desc.data = src.pixels.data();
        Image<T> separate(5, 31, 3);
        const lumra_ref::TransformArgs args{row.lut1 ? &curve : nullptr, row.matrix ? matrix.data() : nullptr,
                                            row.lut2 ? &curve : nullptr, 0, 0};
        ASSERT_EQ(run_transform(src, separate, args), LUMRA_OK);
        ASSERT_EQ(run_transform(src, src, args), LUMRA_OK);
        EXPECT_EQ(lumra_test::first_difference(src.pixels, separate.pixels), -1);
    }
}

TEST(TransformEdges, InPlaceWithEqualTypes) {
    expect_in_place_matches<uint8_t>();
    expect_in_place_matches<uint16_t>();
    expect_in_place_matches<float>();
}

TEST(TransformStatus, ChecksAndUnsupportedCombinations) {
    const std::vector<float> curve = random_curve(16);
    const float matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Image<uint8_t> src(2, 2, 3), dst(2, 2, 3);
    dst.pixels.assign(dst.pixels.size(), 9);
    auto call = [&](const float* lut1, uint64_t size1, const float* m, int32_t in_bits, int32_t out_bits) {
        return lumra_transform_color(src.get(), dst.get(), lut1, size1, m, nullptr, 0, in_bits, out_bits, false);
    };
    EXPECT_EQ(call(nullptr, 0, nullptr, 0, 0), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(call(curve.data(), 0, nullptr, 0, 0), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(call(curve.data(), uint64_t{1} << 31, nullptr, 0, 0), LUMRA_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(call(curve.data(), 16, nullptr, 32, 0), LUMRA_ERR_UNSUPPORTED);
    EXPECT_EQ(call(nullptr, 0, matrix, 0, 40), LUMRA_ERR_UNSUPPORTED);
    EXPECT_EQ(dst.pixels, std::vector<uint8_t>(12, 9));
    // Bit depths on a float side are ignored.
    Image<float> fsrc(2, 2, 3), fdst(2, 2, 3);
    EXPECT_EQ(lumra_transform_color(fsrc.get(), fdst.get(), nullptr, 0, matrix, nullptr, 0, 99, 99, false), LUMRA_OK);
    // Types outside the three, on either side.
    for (int32_t bad : {2, 4, -1}) {
        LumraImage odd = *dst.get();
        odd.dtype = static_cast<LumraDType>(bad);
        EXPECT_EQ(lumra_transform_color(src.get(), &odd, nullptr, 0, matrix, nullptr, 0, 0, 0, false),
                  LUMRA_ERR_UNSUPPORTED);
        EXPECT_EQ(lumra_transform_color(&odd, dst.get(), nullptr, 0, matrix, nullptr, 0, 0, 0, false),
                  LUMRA_ERR_UNSUPPORTED);
    }
    EXPECT_EQ(dst.pixels, std::vector<uint8_t>(12, 9));
    // The dispatcher's own check for the curve-only row with no curve.
    EXPECT_EQ(lumra::transform_color_dispatch(src.pixels.data(), dst.pixels.data(), 2, 2, LUMRA_DTYPE_UINT8,
                                              LUMRA_DTYPE_UINT8, nullptr, 0, nullptr, nullptr, 0, 0, 0, false),
              LUMRA_ERR_INVALID_ARGUMENT);
}

TEST(PaddedCurve, CopiesWithTheLastEntryRepeatedAndReportsAllocationFailure) {
    const float curve[3] = {0.1f, 0.2f, 0.3f};
    const lumra::PaddedCurve padded(curve, 3);
    ASSERT_FALSE(padded.failed());
    EXPECT_EQ(std::vector<float>(padded.data(), padded.data() + 4), (std::vector<float>{0.1f, 0.2f, 0.3f, 0.3f}));
    const lumra::PaddedCurve absent(nullptr, 99);
    EXPECT_FALSE(absent.failed());
    EXPECT_EQ(absent.data(), nullptr);
    const lumra::PaddedCurve refused(curve, 3, [](size_t) -> void* { return nullptr; });
    EXPECT_TRUE(refused.failed());
    EXPECT_EQ(refused.data(), nullptr);
}

}  // namespace
