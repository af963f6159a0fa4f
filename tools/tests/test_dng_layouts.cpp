// Every way a DNG may store its raw samples (lossless JPEG in one or more
// components a pixel, deflate with each predictor, integer or float, tiles
// with padded edges, packed samples, either byte order) reads back to the
// samples written and develops to the same pixels as the plain file.
#include "develop/pipeline.h"
#include "dng/dng_reader.h"
#include "dng/raw_data.h"
#include "sample/camera.h"
#include "tool_test_support.h"

#include <cmath>

namespace lumra_tools {
namespace {

using testing::TempDir;

struct Variant {
    const char* name;
    DngWriteOptions options;
};

DngWriteOptions layout(uint16_t compression, uint32_t tile, std::initializer_list<void (*)(DngWriteOptions&)> edits = {}) {
    DngWriteOptions o;
    o.compression = compression;
    o.tile_width = o.tile_height = tile;
    o.rows_per_strip = 20;  // the last strip of 68 rows is cut short
    for (auto edit : edits) edit(o);
    return o;
}

const Variant kVariants[] = {
    {"ljpeg_strips", layout(7, 0)},
    {"ljpeg_strips_restarts", layout(7, 0, {[](DngWriteOptions& o) { o.jpeg_restart_rows = 3; }})},
    {"ljpeg_tiles_two_components_restarts",
     layout(7, 32, {[](DngWriteOptions& o) { o.jpeg_components = 2; o.jpeg_restart_rows = 4; }})},
    {"ljpeg_tiles_four_components_predictor6",
     layout(7, 48, {[](DngWriteOptions& o) { o.jpeg_components = 4; o.jpeg_predictor = 6; }})},
    {"ljpeg_tiles_14_bits_big_endian",
     layout(7, 32, {[](DngWriteOptions& o) { o.bits = 14; o.big_endian = true; }})},
    {"deflate_strips", layout(8, 0)},
    {"deflate_tiles_predictor2_big_endian",
     layout(8, 32, {[](DngWriteOptions& o) { o.predictor = 2; o.big_endian = true; }})},
    {"deflate_strips_predictor_x2", layout(8, 0, {[](DngWriteOptions& o) { o.predictor = 34892; }})},
    {"deflate_tiles_predictor_x4_14_bits",
     layout(8, 48, {[](DngWriteOptions& o) { o.predictor = 34893; o.bits = 14; }})},
    {"uncompressed_tiles", layout(1, 32)},
    {"packed_14_bits_strips_big_endian", layout(1, 0, {[](DngWriteOptions& o) { o.bits = 14; o.big_endian = true; }})},
    {"packed_14_bits_tiles", layout(1, 16, {[](DngWriteOptions& o) { o.bits = 14; }})},
    {"float32_deflate_predictor_x2", layout(8, 0, {[](DngWriteOptions& o) { o.float_bits = 32; o.predictor = 34894; }})},
    {"float24_deflate_tiles_predictor3",
     layout(8, 32, {[](DngWriteOptions& o) { o.float_bits = 24; o.predictor = 3; }})},
    {"float16_deflate_predictor_x4_big_endian",
     layout(8, 0, {[](DngWriteOptions& o) { o.float_bits = 16; o.predictor = 34895; o.big_endian = true; }})},
    {"float32_uncompressed_tiles_big_endian",
     layout(1, 16, {[](DngWriteOptions& o) { o.float_bits = 32; o.big_endian = true; }})},
};

class RawLayouts : public ::testing::TestWithParam<Variant> {};

DevelopedImage develop_16(const DngFile& dng) {
    DevelopOptions options;
    options.bits = 16;
    DevelopedImage image;
    DevelopReport report;
    std::string error;
    EXPECT_TRUE(develop(dng, dng.profile, options, image, report, error)) << error;
    return image;
}

TEST_P(RawLayouts, ReadBackAndDevelopLikeThePlainFile) {
    const Variant& v = GetParam();
    TempDir dir;
    DngFile written = make_sample_dng(100, 68);  // edges that cut tiles of 16, 32 and 48
    const bool floating = v.options.float_bits != 0;
    if (floating) written.opcode_list1.clear();  // the bad-pixel opcode compares 16-bit values
    std::string error;
    ASSERT_TRUE(write_dng(dir.file("plain.dng"), written, error)) << error;
    ASSERT_TRUE(write_dng(dir.file("variant.dng"), written, error, v.options)) << error;
    DngFile plain, read;
    ASSERT_TRUE(read_dng(dir.file("plain.dng"), plain, error)) << error;
    ASSERT_TRUE(read_dng(dir.file("variant.dng"), read, error)) << error;
    if (!floating) {
        EXPECT_EQ(read.raw, written.raw);
    } else {
        ASSERT_EQ(read.raw_float.size(), written.raw.size());
        // 32- and 24-bit floats hold 16-bit integers exactly; halves to 11 bits.
        const float tolerance = v.options.float_bits == 16 ? 1.0f / 2048 : 0.0f;
        for (size_t i = 0; i < written.raw.size(); ++i)
            ASSERT_LE(std::fabs(read.raw_float[i] - written.raw[i]), tolerance * written.raw[i]) << i;
    }
    const DevelopedImage a = develop_16(plain), b = develop_16(read);
    ASSERT_EQ(a.rgb16.size(), b.rgb16.size());
    // Half floats keep 11 significant bits; the tone curve and the edge-directed
    // demosaic can stretch one such step to a few hundred 16-bit levels in the shadows.
    int worst = 0;
    for (size_t i = 0; i < a.rgb16.size(); ++i) worst = std::max(worst, std::abs(int(a.rgb16[i]) - int(b.rgb16[i])));
    EXPECT_LE(worst, v.options.float_bits == 16 ? 512 : 0) << "largest difference of a 16-bit output sample";
}

INSTANTIATE_TEST_SUITE_P(EveryStoredForm, RawLayouts, ::testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RawLayoutsMore, PackedSampleSizesAndLinearRawLosslessJpeg) {
    TempDir dir;
    std::string error;
    for (uint32_t bits : {8u, 10u, 12u}) {
        DngFile dng = make_sample_dng(36, 20);
        for (uint16_t& s : dng.raw) s = uint16_t(s >> (14 - bits));
        dng.opcode_list1.clear();
        for (uint16_t compression : {uint16_t(1), uint16_t(8)}) {
            DngWriteOptions o;
            o.bits = bits;
            o.compression = compression;
            o.predictor = compression == 8 ? 2 : 1;
            o.big_endian = bits == 10;
            ASSERT_TRUE(write_dng(dir.file("packed.dng"), dng, error, o)) << error;
            DngFile read;
            ASSERT_TRUE(read_dng(dir.file("packed.dng"), read, error)) << error;
            EXPECT_EQ(read.raw, dng.raw) << bits << " bits, compression " << compression;
        }
    }
    // Three samples a pixel coded as three-component JPEG pixels, in tiles.
    DngFile linear;
    linear.width = 40;
    linear.height = 24;
    linear.samples = 3;
    linear.black_levels = {0.0f, 0.0f, 0.0f};
    linear.raw.resize(size_t(40) * 24 * 3);
    for (size_t i = 0; i < linear.raw.size(); ++i) linear.raw[i] = uint16_t(i * 2654435761u >> 16);
    DngWriteOptions o;
    o.compression = 7;
    o.tile_width = o.tile_height = 16;
    o.jpeg_components = 3;
    ASSERT_TRUE(write_dng(dir.file("linear.dng"), linear, error, o)) << error;
    DngFile read;
    ASSERT_TRUE(read_dng(dir.file("linear.dng"), read, error)) << error;
    EXPECT_EQ(read.raw, linear.raw);
}

TEST(RawLayoutsMore, ThreadCountDoesNotChangeTheSamples) {
    TempDir dir;
    std::string error;
    const DngFile dng = make_sample_dng(200, 136);
    DngWriteOptions o;
    o.compression = 7;
    o.tile_width = o.tile_height = 32;
    ASSERT_TRUE(write_dng(dir.file("t.dng"), dng, error, o)) << error;
    for (unsigned threads : {1u, 3u, 8u}) {
        DngFile read;
        ASSERT_TRUE(read_dng(dir.file("t.dng"), read, error, threads)) << error;
        EXPECT_EQ(read.raw, dng.raw) << threads;
    }
}

TEST(RawLayoutsMore, FloatEncodingsOfSixteenAndTwentyFourBits) {
    EXPECT_EQ(half_to_float(0x3c00), 1.0f);
    EXPECT_EQ(half_to_float(0xc000), -2.0f);
    EXPECT_EQ(half_to_float(0x7bff), 65504.0f);
    EXPECT_EQ(half_to_float(0x0001), std::ldexp(1.0f, -24));  // smallest subnormal
    EXPECT_EQ(half_to_float(0x8000), 0.0f);
    EXPECT_TRUE(std::signbit(half_to_float(0x8000)));
    EXPECT_TRUE(std::isinf(half_to_float(0x7c00)));
    EXPECT_TRUE(std::isnan(half_to_float(0x7e00)));
    EXPECT_EQ(fp24_to_float(0x3f0000), 1.0f);  // exponent bias 63
    EXPECT_EQ(fp24_to_float(0xbf8000), -1.5f);
    EXPECT_EQ(fp24_to_float(0x000001), std::ldexp(1.0f, -78));
    EXPECT_TRUE(std::isinf(fp24_to_float(0x7f0000)));
    for (float f : {0.0f, 1.0f, -3.25f, 16383.0f, 1e-6f, 12345.678f}) {
        EXPECT_NEAR(half_to_float(float_to_half(f)), f, std::fabs(f) / 2048 + 1e-7f) << f;
        EXPECT_NEAR(fp24_to_float(float_to_fp24(f)), f, std::fabs(f) / 131072) << f;
    }
    EXPECT_EQ(float_to_half(2049.0f), 0x6800);  // a tie rounds to even: 2048
    EXPECT_EQ(float_to_half(1e6f), 0x7c00);     // past the largest half: infinity
}

}  // namespace
}  // namespace lumra_tools
