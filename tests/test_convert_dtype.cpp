// Element type conversion against a plain, element-by-element reading of its
// rules: full scales from types and bit depths, one scale per call, optional
// ceiling, truncating stores that saturate to the destination type (NaN
// stores 0). Blocks of eight and the remaining elements must agree on every
// input, in range or not.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "lumra.h"
#include "support/image.h"

namespace {

using namespace lumra_test;

constexpr LumraDType kU8 = LUMRA_DTYPE_UINT8, kU16 = LUMRA_DTYPE_UINT16, kF32 = LUMRA_DTYPE_FLOAT32;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// ---- The plain reading -----------------------------------------------------

// 2^(bits mod 32) - 1, spelled out as "the low (bits mod 32) bits set".
float low_bits_set(int32_t bits) {
    uint32_t value = 0;
    for (int32_t k = 0; k < bits % 32; ++k) value |= uint32_t{1} << k;
    return static_cast<float>(value);
}

float source_full_scale(int32_t type, int32_t in_bits) {
    if (type == kF32) return 1.0f;
    if (in_bits >= 1) return low_bits_set(in_bits);
    if (type == kU8) return 255.0f;
    if (type == kU16) return 65535.0f;
    return 0.0f;
}

// No value: the destination type is not known and no bit depth names one.
std::optional<float> destination_full_scale(int32_t type, int32_t out_bits) {
    if (type == kF32) return 1.0f;
    int32_t bits = 0;
    if (out_bits >= 1) bits = out_bits;
    else if (type == kU8) bits = 8;
    else if (type == kU16) bits = 16;
    else return std::nullopt;
    return low_bits_set(bits);
}

bool known(int32_t type) { return type == kU8 || type == kU16 || type == kF32; }

struct Plan {
    LumraStatus status = LUMRA_ERR_UNSUPPORTED;
    float scale = 0.0f;
    float out_max = 0.0f;
    bool capped = false;
};

Plan plan(int32_t src_type, int32_t dst_type, int32_t in_bits, int32_t out_bits, float ceiling) {
    Plan p;
    const float in_max = source_full_scale(src_type, in_bits);
    const std::optional<float> out_max = destination_full_scale(dst_type, out_bits);
    if (!out_max || in_max == 0.0f || *out_max == 0.0f) return p;
    if (!known(src_type) || !known(dst_type)) return p;
    p.status = LUMRA_OK;
    p.out_max = *out_max;
    p.capped = dst_type == kF32 ? ceiling >= 0.0f : (ceiling >= 0.0f && ceiling < *out_max);
    p.scale = *out_max / in_max;
    return p;
}

// An integer store: truncate toward zero, then limit to the type's range.
double integer_store(float v, double type_max) {
    if (std::isnan(v)) return 0.0;
    const double t = std::trunc(static_cast<double>(v));
    return t < 0.0 ? 0.0 : (t > type_max ? type_max : t);
}

template <typename In, typename Out>
Out reference_element(In x, const Plan& p, float ceiling) {
    float v = static_cast<float>(x) * p.scale;
    if (p.capped && v > ceiling) v = ceiling;  // min(v, ceiling); a NaN stays NaN
    if constexpr (std::is_same_v<Out, float>) return v;
    else return static_cast<Out>(integer_store(v, std::numeric_limits<Out>::max()));
}

// ---- Helpers ---------------------------------------------------------------

template <typename T>
bool same_element(T a, T b) {
    if constexpr (std::is_same_v<T, float>) {
        if (std::isnan(a) && std::isnan(b)) return true;
        return std::memcmp(&a, &b, sizeof a) == 0;  // -0 and 0 differ
    } else {
        return a == b;
    }
}

template <typename In, typename Out>
LumraStatus convert(const std::vector<In>& src, std::vector<Out>& dst, uint64_t height, uint64_t width,
                    uint64_t channels, int32_t in_bits, int32_t out_bits, float ceiling) {
    In src_anchor{};
    Out dst_anchor{};
    LumraImage s{src.empty() ? &src_anchor : const_cast<In*>(src.data()), height, width, channels, dtype_of<In>(), 0};
    LumraImage d{dst.empty() ? &dst_anchor : dst.data(), height, width, channels, dtype_of<Out>(), 0};
    return lumra_convert_dtype(&s, &d, in_bits, out_bits, ceiling);
}

template <typename In, typename Out>
LumraStatus convert(const std::vector<In>& src, std::vector<Out>& dst, int32_t in_bits, int32_t out_bits,
                    float ceiling) {
    return convert(src, dst, 1, src.size(), 1, in_bits, out_bits, ceiling);
}

// Values that stress every store: out of range on either side, non-finite,
// signed zero, subnormal, and values just around the integer limits.
const std::vector<float>& awkward_floats() {
    static const std::vector<float> values = {
        kNaN, -kNaN, kInf, -kInf, 0.0f, -0.0f, 1e-40f, -1e-40f, 1.0f, 0.999f, 0.5f, -0.5f, -0.999f, -1.0f,
        1.0000001f, 1.5f, 2.0f, 255.0f, 255.99f, 256.0f, 65535.0f, 65535.99f, 65536.0f, 2147483520.0f,
        2147483648.0f, 4294967296.0f, 1e30f, -1e30f, std::numeric_limits<float>::max(),
        std::numeric_limits<float>::lowest(), 0.00392156886f, 1.52590219e-05f};
    return values;
}

template <typename T>
std::vector<T> random_source(size_t count) {
    std::vector<T> values(count);
    if constexpr (std::is_same_v<T, float>) {
        const auto& awkward = awkward_floats();
        for (auto& v : values) {
            const int pick = uniform_int(0, 9);
            if (pick < 6) v = uniform(0.0f, 1.0f);
            else if (pick < 9) v = uniform(-0.5f, 1.5f);
            else v = awkward[static_cast<size_t>(uniform_int(0, static_cast<int>(awkward.size()) - 1))];
        }
    } else {
        fill_random(values);
    }
    return values;
}

template <typename Out>
std::vector<Out> garbage(size_t count) {
    std::vector<Out> values(count);
    for (auto& v : values) v = static_cast<Out>(uniform_int(1, 200));
    return values;
}

// Bit depths worth trying per type: the default, narrower ones (some giving
// whole-number scales between the integer types), one wider than the type,
// and one that wraps modulo 32 (floats ignore theirs).
template <typename T>
std::vector<int32_t> depths() {
    if constexpr (std::is_same_v<T, uint8_t>) return {0, 4, 6, 12, 33};
    else if constexpr (std::is_same_v<T, uint16_t>) return {0, 4, 8, 12, 20};
    else return {0, 12, 32};
}

std::vector<float> ceilings(float out_max) {
    return {-1.0f, kNaN, 0.0f, 0.6f * out_max + 0.3f, out_max, 2.0f * out_max};
}

// Checks one setting on one source, against the plain reading.
template <typename In, typename Out>
void expect_matches_reading(const std::vector<In>& src, int32_t in_bits, int32_t out_bits, float ceiling) {
    const Plan p = plan(dtype_of<In>(), dtype_of<Out>(), in_bits, out_bits, ceiling);
    std::vector<Out> dst = garbage<Out>(src.size());
    ASSERT_EQ(convert(src, dst, in_bits, out_bits, ceiling), p.status);
    for (size_t i = 0; i < src.size(); ++i) {
        const Out expected = reference_element<In, Out>(src[i], p, ceiling);
        if (!same_element(dst[i], expected)) {
            ADD_FAILURE() << "element " << i << " of " << src.size() << ": source " << +src[i] << " gives "
                          << +dst[i] << ", expected " << +expected << " (in_bits " << in_bits << ", out_bits "
                          << out_bits << ", ceiling " << ceiling << ")";
            return;
        }
    }
}

template <typename In, typename Out>
void check_pair_on_random_data() {
    for (size_t length : {0, 1, 7, 8, 9, 13, 16, 3001}) {
        const std::vector<In> src = random_source<In>(length);
        for (int32_t in_bits : depths<In>()) {
            for (int32_t out_bits : depths<Out>()) {
                const auto out_max = destination_full_scale(dtype_of<Out>(), out_bits);
                for (float ceiling : ceilings(out_max.value_or(1.0f))) {
                    expect_matches_reading<In, Out>(src, in_bits, out_bits, ceiling);
                }
            }
        }
    }
}

// Every value once through the blocks and once through the remainder: an
// integer source is tried exhaustively, a float source on the awkward values
// and a sweep around the destination's limits.
template <typename In>
std::vector<In> every_value_of_interest() {
    std::vector<In> values;
    if constexpr (std::is_same_v<In, float>) {
        values = awkward_floats();
        for (float v = -2.0f; v <= 3.0f; v += 1.0f / 64.0f) values.push_back(v);
        for (float v = 65530.0f; v <= 65540.0f; v += 0.25f) values.push_back(v / 65535.0f);
    } else {
        for (uint32_t v = 0; v <= std::numeric_limits<In>::max(); ++v) values.push_back(static_cast<In>(v));
    }
    return values;
}

template <typename In, typename Out>
void check_block_and_tail_agree() {
    const std::vector<In> values = every_value_of_interest<In>();
    for (int32_t in_bits : depths<In>()) {
        for (int32_t out_bits : depths<Out>()) {
            const auto out_max = destination_full_scale(dtype_of<Out>(), out_bits);
            for (float ceiling : {-1.0f, 0.6f * out_max.value_or(1.0f) + 0.3f}) {
                // Repeat the list to a multiple of eight so every value goes through a block ...
                std::vector<In> blocks = values;
                while (blocks.size() % 8 != 0) blocks.push_back(values[blocks.size() % values.size()]);
                std::vector<Out> from_blocks = garbage<Out>(blocks.size());
                ASSERT_EQ(convert(blocks, from_blocks, in_bits, out_bits, ceiling), LUMRA_OK);
                // ... and through the remainder, seven elements per call.
                for (size_t start = 0; start < values.size(); start += 7) {
                    const uint64_t n = std::min<size_t>(7, values.size() - start);
                    Out from_tail[7] = {};
                    LumraImage part{const_cast<In*>(values.data() + start), 1, n, 1, dtype_of<In>(), 0};
                    LumraImage out{from_tail, 1, n, 1, dtype_of<Out>(), 0};
                    ASSERT_EQ(lumra_convert_dtype(&part, &out, in_bits, out_bits, ceiling), LUMRA_OK);
                    for (size_t k = 0; k < n; ++k) {
                        ASSERT_TRUE(same_element(from_blocks[start + k], from_tail[k]))
                            << "source " << +values[start + k] << ": block " << +from_blocks[start + k] << ", tail "
                            << +from_tail[k] << " (in_bits " << in_bits << ", out_bits " << out_bits
                            << ", ceiling " << ceiling << ")";
                    }
                }
            }
        }
    }
}

#define LUMRA_FOR_EACH_PAIR(check)                                                                  \
    check<uint8_t, uint8_t>(), check<uint8_t, uint16_t>(), check<uint8_t, float>(),               \
        check<uint16_t, uint8_t>(), check<uint16_t, uint16_t>(), check<uint16_t, float>(),        \
        check<float, uint8_t>(), check<float, uint16_t>(), check<float, float>()

// ---- Tests -----------------------------------------------------------------

TEST(ConvertDtype, EveryPairFollowsThePlainReading) { LUMRA_FOR_EACH_PAIR(check_pair_on_random_data); }

TEST(ConvertDtype, BlocksAndRemainderAgreeOnEveryInput) { LUMRA_FOR_EACH_PAIR(check_block_and_tail_agree); }

TEST(ConvertDtype, ChannelStructurePlaysNoPart) {
    const std::vector<uint16_t> src = random_source<uint16_t>(7 * 5 * 3);
    std::vector<float> flat = garbage<float>(src.size()), shaped = garbage<float>(src.size());
    ASSERT_EQ(convert(src, flat, 1, src.size(), 1, 12, 0, 0.9f), LUMRA_OK);
    ASSERT_EQ(convert(src, shaped, 7, 5, 3, 12, 0, 0.9f), LUMRA_OK);
    EXPECT_TRUE(same_bits(flat, shaped));
}

TEST(ConvertDtype, FloatToIntegerTruncates) {
    std::vector<uint8_t> bytes(4);
    ASSERT_EQ(convert(std::vector<float>{1.0f, 0.999f, 0.5f, 0.0f}, bytes, 0, 0, -1.0f), LUMRA_OK);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{255, 254, 127, 0}));
    std::vector<uint16_t> words(2);
    ASSERT_EQ(convert(std::vector<float>{1.0f, 0.5f}, words, 0, 0, -1.0f), LUMRA_OK);
    EXPECT_EQ(words, (std::vector<uint16_t>{65535, 32767}));
}

TEST(ConvertDtype, IntegerToFloatMultipliesByTheReciprocal) {
    std::vector<float> out(3);
    ASSERT_EQ(convert(std::vector<uint8_t>{255, 128, 0}, out, 0, 0, -1.0f), LUMRA_OK);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], 128.0f * (1.0f / 255.0f));
    EXPECT_EQ(out[2], 0.0f);
    std::vector<float> twelve(1);
    ASSERT_EQ(convert(std::vector<uint16_t>{4095}, twelve, 12, 0, -1.0f), LUMRA_OK);
    EXPECT_EQ(twelve[0], 4095.0f * (1.0f / 4095.0f));
    EXPECT_NEAR(twelve[0], 1.0f, 1e-7f);
}

TEST(ConvertDtype, SameTypeWithDefaultDepthsCopies) {
    const std::vector<uint8_t> bytes = random_source<uint8_t>(1000);
    std::vector<uint8_t> bytes_out(bytes.size());
    ASSERT_EQ(convert(bytes, bytes_out, 0, 0, -1.0f), LUMRA_OK);
    EXPECT_EQ(bytes_out, bytes);
    const std::vector<uint16_t> words = random_source<uint16_t>(1000);
    std::vector<uint16_t> words_out(words.size());
    ASSERT_EQ(convert(words, words_out, 0, 0, -1.0f), LUMRA_OK);
    EXPECT_EQ(words_out, words);
    std::vector<float> floats = random_source<float>(1000);
    for (float& v : floats) v = std::isnan(v) ? 0.25f : v;
    std::vector<float> floats_out(floats.size());
    ASSERT_EQ(convert(floats, floats_out, 0, 0, -1.0f), LUMRA_OK);
    EXPECT_TRUE(same_bits(floats_out, floats));
}

TEST(ConvertDtype, CeilingOnIntegerOutputOnlyBelowFullScale) {
    const std::vector<float> src = {1.0f, 0.5f, 0.9f};
    std::vector<uint8_t> out(3);
    ASSERT_EQ(convert(src, out, 0, 0, 200.0f), LUMRA_OK);
    EXPECT_EQ(out, (std::vector<uint8_t>{200, 127, 200}));
    for (float no_cap : {255.0f, 300.0f, -1.0f, kNaN}) {
        ASSERT_EQ(convert(src, out, 0, 0, no_cap), LUMRA_OK);
        EXPECT_EQ(out, (std::vector<uint8_t>{255, 127, 229})) << "ceiling " << no_cap;
    }
    ASSERT_EQ(convert(src, out, 0, 0, 0.0f), LUMRA_OK);
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 0}));
}

TEST(ConvertDtype, CeilingOnFloatOutputWheneverNotNegative) {
    const std::vector<float> src = {0.75f, 0.25f, 3.0f, 1.5f};
    std::vector<float> out(4);
    ASSERT_EQ(convert(src, out, 0, 0, 0.5f), LUMRA_OK);
    EXPECT_EQ(out, (std::vector<float>{0.5f, 0.25f, 0.5f, 0.5f}));
    ASSERT_EQ(convert(src, out, 0, 0, 2.0f), LUMRA_OK);
    EXPECT_EQ(out, (std::vector<float>{0.75f, 0.25f, 2.0f, 1.5f}));
    ASSERT_EQ(convert(src, out, 0, 0, -0.5f), LUMRA_OK);
    EXPECT_EQ(out, src);
}

TEST(ConvertDtype, OutOfRangeResultsSaturate) {
    const std::vector<float> src = {-0.5f, 1.5f, kNaN, kInf, -kInf, 1e30f, -1e-40f};
    std::vector<uint8_t> bytes(src.size());
    ASSERT_EQ(convert(src, bytes, 0, 0, -1.0f), LUMRA_OK);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0, 255, 0, 255, 0, 255, 0}));
    std::vector<uint16_t> words(src.size());
    ASSERT_EQ(convert(src, words, 0, 0, -1.0f), LUMRA_OK);
    EXPECT_EQ(words, (std::vector<uint16_t>{0, 65535, 0, 65535, 0, 65535, 0}));
    // A destination depth wider than its type, and a source above its own depth.
    std::vector<uint8_t> pair(2);
    ASSERT_EQ(convert(std::vector<float>{1.0f, 0.05f}, pair, 0, 12, -1.0f), LUMRA_OK);
    EXPECT_EQ(pair, (std::vector<uint8_t>{255, 204}));
    ASSERT_EQ(convert(std::vector<uint16_t>{65535, 8000}, pair, 12, 0, -1.0f), LUMRA_OK);
    EXPECT_EQ(pair, (std::vector<uint8_t>{255, 255}));
    std::vector<float> floats(1);
    ASSERT_EQ(convert(std::vector<uint16_t>{65535}, floats, 12, 0, -1.0f), LUMRA_OK);
    EXPECT_EQ(floats[0], 65535.0f * (1.0f / 4095.0f));  // float output is not limited
}

TEST(ConvertDtype, UnsupportedTypesAndDepthsWriteNothing) {
    const std::vector<float> src = {0.5f, 0.25f};
    struct Setting {
        int32_t src_type, dst_type, in_bits, out_bits;
    };
    const Setting settings[] = {
        {kF32, 2, 0, 0},   {kF32, 2, 0, 8},    {kF32, 7, 0, 16}, {kU8, kF32, 32, 0},   {kU16, kF32, 32, 0},
        {kU16, kF32, 64, 0}, {kU8, kU16, 0, 32}, {2, kF32, 0, 0},  {2, kF32, 8, 0},     {-1, kU8, 12, 0},
    };
    for (const Setting& s : settings) {
        std::vector<uint16_t> dst = {7, 7, 7, 7};  // room for two elements of any type
        LumraImage a{const_cast<float*>(src.data()), 1, 2, 1, static_cast<LumraDType>(s.src_type), 0};
        LumraImage b{dst.data(), 1, 2, 1, static_cast<LumraDType>(s.dst_type), 0};
        const LumraStatus expected = plan(s.src_type, s.dst_type, s.in_bits, s.out_bits, -1.0f).status;
        EXPECT_EQ(lumra_convert_dtype(&a, &b, s.in_bits, s.out_bits, -1.0f), expected)
            << s.src_type << " -> " << s.dst_type << ", bits " << s.in_bits << " / " << s.out_bits;
        EXPECT_EQ(dst, (std::vector<uint16_t>{7, 7, 7, 7}));
    }
    // A negative depth means the type's own; float sides ignore theirs, whatever it is.
    std::vector<uint8_t> bytes(2);
    EXPECT_EQ(convert(src, bytes, 0, -32, -1.0f), LUMRA_OK);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{127, 63}));
    std::vector<float> out(2);
    EXPECT_EQ(convert(src, out, 32, 32, -1.0f), LUMRA_OK);
    EXPECT_EQ(out, src);
}

TEST(ConvertDtype, NoElementsTouchesNothing) {
    std::vector<uint8_t> src = {9, 9}, dst = {5, 5};
    LumraImage a{src.data(), 0, 2, 1, kU8, 0};
    LumraImage b{dst.data(), 0, 2, 1, kU8, 0};
    EXPECT_EQ(lumra_convert_dtype(&a, &b, 0, 0, 100.0f), LUMRA_OK);
    a.height = b.height = 1, a.channels = b.channels = 0;
    EXPECT_EQ(lumra_convert_dtype(&a, &b, 0, 0, 100.0f), LUMRA_OK);
    EXPECT_EQ(dst, (std::vector<uint8_t>{5, 5}));
}

TEST(ConvertDtype, ThirteenElementsAreAllConverted) {
    std::vector<float> src(13);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<float>(i) / 12.0f;
    std::vector<uint16_t> dst(13, 1);
    ASSERT_EQ(convert(src, dst, 0, 10, -1.0f), LUMRA_OK);
    for (size_t i = 0; i < src.size(); ++i) {
        EXPECT_EQ(dst[i], static_cast<uint16_t>(src[i] * 1023.0f)) << "element " << i;
    }
}

TEST(ConvertDtype, InPlaceWithTheSameType) {
    std::vector<uint16_t> words = random_source<uint16_t>(21);
    const std::vector<uint16_t> original = words;
    LumraImage image{words.data(), 3, 7, 1, kU16, 0};
    ASSERT_EQ(lumra_convert_dtype(&image, &image, 16, 12, -1.0f), LUMRA_OK);
    const Plan p = plan(kU16, kU16, 16, 12, -1.0f);
    for (size_t i = 0; i < words.size(); ++i) {
        EXPECT_EQ(words[i], (reference_element<uint16_t, uint16_t>(original[i], p, -1.0f)));
    }
}

}  // namespace
