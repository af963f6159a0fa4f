// DNG and camera-profile files: what is written reads back, a linear raw DNG
// develops, a camera profile file replaces the DNG's own profile, and the
// colorimetry the developer relies on holds its published values.
#include "common/colorimetry.h"
#include "develop/pipeline.h"
#include "dng/dng_reader.h"
#include "dng/opcodes.h"
#include "dng/tiff_fields.h"
#include "sample/camera.h"
#include "sample/scene.h"
#include "tool_test_support.h"

#include <bit>
#include <cstring>

namespace lumra_tools {
namespace {

using testing::TempDir;
using testing::run_tool;

class DngLayouts : public ::testing::TestWithParam<bool> {};

TEST_P(DngLayouts, WhatIsWrittenReadsBack) {
    TempDir dir;
    const DngFile written = make_sample_dng(64, 40);
    std::string error;
    DngWriteOptions options;
    options.raw_in_sub_ifd = GetParam();
    ASSERT_TRUE(write_dng(dir.file("a.dng"), written, error, options)) << error;
    DngFile read;
    ASSERT_TRUE(read_dng(dir.file("a.dng"), read, error)) << error;
    EXPECT_EQ(read.width, 64u);
    EXPECT_EQ(read.height, 40u);
    EXPECT_EQ(read.raw, written.raw);
    EXPECT_EQ(std::vector<int>(read.cfa, read.cfa + 4), std::vector<int>(written.cfa, written.cfa + 4));
    EXPECT_EQ(read.black_repeat_rows, 2u);
    EXPECT_EQ(read.black_levels, written.black_levels);
    EXPECT_EQ(read.black_delta_h, written.black_delta_h);  // eighths are exact as rationals
    EXPECT_EQ(read.black_delta_v, written.black_delta_v);
    EXPECT_EQ(read.white_levels, written.white_levels);
    EXPECT_EQ(read.opcode_list1, written.opcode_list1);
    EXPECT_EQ(read.opcode_list2, written.opcode_list2);
    EXPECT_EQ(read.opcode_list3, written.opcode_list3);
    EXPECT_DOUBLE_EQ(read.baseline_exposure, 0.5);
    ASSERT_EQ(read.profile.forward_matrix2.size(), 9u);
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(read.profile.color_matrix1[i], written.profile.color_matrix1[i], 1e-6);
        EXPECT_NEAR(read.profile.forward_matrix2[i], written.profile.forward_matrix2[i], 1e-6);
    }
    EXPECT_EQ(read.profile.illuminant1, 17);
    EXPECT_EQ(read.profile.illuminant2, 21);
    EXPECT_EQ(read.profile.hue_sat_data2, written.profile.hue_sat_data2);
    EXPECT_EQ(read.profile.tone_curve, written.profile.tone_curve);
}

INSTANTIATE_TEST_SUITE_P(RawInFirstOrSubDirectory, DngLayouts, ::testing::Bool());

// A uniform linear raw image (three samples per pixel) of a grey card.
DngFile grey_linear_raw(uint16_t level) {
    DngFile dng;
    dng.width = 32;
    dng.height = 24;
    dng.samples = 3;
    dng.raw.assign(size_t(32) * 24 * 3, level);
    dng.black_levels = {0.0f, 0.0f, 0.0f};
    dng.white_levels = {65535.0f};
    dng.as_shot_neutral = {1.0, 1.0, 1.0};
    dng.profile.illuminant1 = 23;  // D50: a neutral camera sees D50 as (1, 1, 1)
    const Vec3 white = xy_to_xyz(kD50);
    dng.profile.color_matrix1 = {1 / white[0], 0, 0, 0, 1, 0, 0, 0, 1 / white[2]};
    return dng;
}

TEST(DngFiles, LinearRawDevelopsToNeutralGrey) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(write_dng(dir.file("linear.dng"), grey_linear_raw(13107), error)) << error;  // 0.2 of full scale
    DngFile dng;
    ASSERT_TRUE(read_dng(dir.file("linear.dng"), dng, error)) << error;
    EXPECT_EQ(dng.samples, 3u);
    DevelopOptions options;
    options.bits = 16;
    DevelopedImage image;
    DevelopReport report;
    ASSERT_TRUE(develop(dng, dng.profile, options, image, report, error)) << error;
    const size_t centre = (size_t(12) * 32 + 16) * 3;
    const double expected = srgb_encode(0.2) * 65535.0;
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(image.rgb16[centre + k], expected, 0.003 * 65535.0) << k;
    EXPECT_EQ(run_tool({dir.file("linear.dng"), "--format", "tiff", "-o", dir.file("linear.tif")}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("linear.tif")));
}

TEST(DngFiles, NeutralWarpPolynomialAndGainMapLeaveTheImage) {
    DngFile plain = make_sample_dng(96, 64);
    DngFile neutral = plain;
    WarpRectilinearOp warp;
    warp.radial = {1.0, 0.0, 0.0, 0.0};
    warp.tangential = {0.0, 0.0};
    MapPolynomialOp identity;
    identity.area = {0, 0, 64, 96, 0, 1, 1, 1};
    identity.coefficients = {0.0, 1.0};
    GainMapOp unit;
    unit.area = {0, 0, 64, 96, 0, 3, 1, 1};
    unit.gains = {1.0f};
    std::vector<Opcode> extra2{{opcode_id::kMapPolynomial, 0x01030000, 0, identity}};
    std::vector<Opcode> extra3{{opcode_id::kWarpRectilinear, 0x01030000, 0, warp},
                               {opcode_id::kGainMap, 0x01030000, 1, unit}};
    std::vector<Opcode> existing2, existing3;
    std::string error;
    ASSERT_TRUE(parse_opcode_list(neutral.opcode_list2, existing2, error));
    ASSERT_TRUE(parse_opcode_list(neutral.opcode_list3, existing3, error));
    existing2.insert(existing2.end(), extra2.begin(), extra2.end());
    existing3.insert(existing3.begin(), extra3.begin(), extra3.end());
    neutral.opcode_list2 = serialize_opcode_list(existing2);
    neutral.opcode_list3 = serialize_opcode_list(existing3);
    DevelopOptions options;
    DevelopedImage a, b;
    DevelopReport report;
    ASSERT_TRUE(develop(plain, plain.profile, options, a, report, error)) << error;
    ASSERT_TRUE(develop(neutral, neutral.profile, options, b, report, error)) << error;
    // The cubic resampler copies its neighbours at the borders; compare inside.
    int largest = 0;
    for (uint32_t r = 2; r < 61; ++r)
        for (uint32_t c = 2; c < 93; ++c)
            for (int k = 0; k < 3; ++k) {
                const size_t i = (size_t(r) * 96 + c) * 3 + k;
                largest = std::max(largest, std::abs(int(a.rgb8[i]) - int(b.rgb8[i])));
            }
    EXPECT_LE(largest, 1);
}

TEST(DngFiles, LinearisationTableAndActiveArea) {
    // A 2-pixel frame of masked, saturated sites around the 32 x 24 active
    // area; the stored value 100 means 0.2 of full scale through the table.
    DngFile dng = grey_linear_raw(0);
    dng.width = 36;
    dng.height = 28;
    dng.raw.assign(size_t(36) * 28 * 3, 65535);
    for (uint32_t r = 2; r < 26; ++r)
        for (uint32_t c = 2; c < 34; ++c)
            for (int k = 0; k < 3; ++k) dng.raw[(size_t(r) * 36 + c) * 3 + k] = 100;
    dng.active_area[0] = 2;
    dng.active_area[1] = 2;
    dng.active_area[2] = 26;
    dng.active_area[3] = 34;
    dng.linearization.resize(256);
    for (size_t i = 0; i < 256; ++i) dng.linearization[i] = uint16_t(i * 131);
    TempDir dir;
    std::string error;
    ASSERT_TRUE(write_dng(dir.file("table.dng"), dng, error)) << error;
    DngFile read;
    ASSERT_TRUE(read_dng(dir.file("table.dng"), read, error)) << error;
    EXPECT_EQ(read.linearization, dng.linearization);
    DevelopOptions options;
    options.bits = 16;
    DevelopedImage image;
    DevelopReport report;
    ASSERT_TRUE(develop(read, read.profile, options, image, report, error)) << error;
    EXPECT_EQ(image.width, 32u);
    EXPECT_EQ(image.height, 24u);
    const double expected = srgb_encode(13100.0 / 65535.0) * 65535.0;
    for (size_t i = 0; i < image.rgb16.size(); ++i) ASSERT_NEAR(image.rgb16[i], expected, 0.003 * 65535.0) << i;
}

// A ProfileGainTableMap tag: one table of two equal entries, so one gain
// everywhere; big-endian like the opcode lists.
std::vector<uint8_t> uniform_gain_table(float gain) {
    std::vector<uint8_t> out;
    auto u32 = [&](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
    };
    auto f64 = [&](double d) {
        const uint64_t bits = std::bit_cast<uint64_t>(d);
        u32(uint32_t(bits >> 32));
        u32(uint32_t(bits));
    };
    u32(1);  // points v
    u32(1);  // points h
    f64(1.0);
    f64(1.0);
    f64(0.0);
    f64(0.0);
    u32(2);  // entries per table
    for (float w : {0.0f, 0.0f, 0.0f, 0.0f, 1.0f}) u32(std::bit_cast<uint32_t>(w));
    u32(std::bit_cast<uint32_t>(gain));
    u32(std::bit_cast<uint32_t>(gain));
    return out;
}

TEST(DngFiles, ProfileGainTableMapScalesTheImage) {
    const DngFile plain = make_sample_dng(120, 80);
    DevelopOptions options;
    options.bits = 16;
    options.skip = {"tone-curve"};
    DevelopedImage reference, halved;
    DevelopReport report;
    std::string error;
    ASSERT_TRUE(develop(plain, plain.profile, options, reference, report, error)) << error;
    ColorProfile profile = plain.profile;
    profile.gain_table_map = uniform_gain_table(0.5f);
    ASSERT_TRUE(develop(plain, profile, options, halved, report, error)) << error;
    // Mid-tone pixels of the background grey: linear values halve.
    const size_t centre = (size_t(40) * 120 + 110) * 3 + 1;
    const double before = srgb_decode(reference.rgb16[centre] / 65535.0);
    const double after = srgb_decode(halved.rgb16[centre] / 65535.0);
    EXPECT_GT(before, 0.05);
    EXPECT_NEAR(after / before, 0.5, 0.01);
    // A damaged tag is refused with its name.
    profile.gain_table_map.resize(30);
    EXPECT_FALSE(develop(plain, profile, options, halved, report, error));
    EXPECT_NE(error.find("ProfileGainTableMap"), std::string::npos) << error;
}

// A camera profile file: little-endian TIFF layout with the magic 0x4352.
class ProfileWriter {
public:
    void srationals(uint16_t tag, const std::vector<double>& values) {
        std::vector<uint8_t> data;
        for (double v : values) {
            put32(data, uint32_t(int32_t(std::lround(v * 10000))));
            put32(data, 10000);
        }
        entries_.push_back({tag, 10, uint32_t(values.size()), data});
    }
    void floats(uint16_t tag, const std::vector<float>& values) {
        std::vector<uint8_t> data;
        for (float v : values) put32(data, std::bit_cast<uint32_t>(v));
        entries_.push_back({tag, 11, uint32_t(values.size()), data});
    }
    void short_value(uint16_t tag, uint16_t v) { entries_.push_back({tag, 3, 1, {uint8_t(v), uint8_t(v >> 8)}}); }
    std::vector<char> bytes() const {
        std::vector<uint8_t> out = {'I', 'I', 0x52, 0x43, 8, 0, 0, 0};
        put16(out, uint16_t(entries_.size()));
        uint32_t data_at = uint32_t(8 + 2 + 12 * entries_.size() + 4);
        std::vector<uint8_t> data;
        for (const Entry& e : entries_) {
            put16(out, e.tag);
            put16(out, e.type);
            put32(out, e.count);
            if (e.data.size() <= 4) {
                std::vector<uint8_t> inline_value = e.data;
                inline_value.resize(4, 0);
                out.insert(out.end(), inline_value.begin(), inline_value.end());
            } else {
                put32(out, data_at + uint32_t(data.size()));
                data.insert(data.end(), e.data.begin(), e.data.end());
            }
        }
        put32(out, 0);
        out.insert(out.end(), data.begin(), data.end());
        return {out.begin(), out.end()};
    }

private:
    struct Entry {
        uint16_t tag, type;
        uint32_t count;
        std::vector<uint8_t> data;
    };
    static void put16(std::vector<uint8_t>& o, uint16_t v) { o.insert(o.end(), {uint8_t(v), uint8_t(v >> 8)}); }
    static void put32(std::vector<uint8_t>& o, uint32_t v) {
        o.insert(o.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    }
    std::vector<Entry> entries_;
};

TEST(CameraProfileFile, ReplacesTheDngsOwnProfile) {
    TempDir dir;
    ProfileWriter writer;
    writer.short_value(50778, 21);
    writer.srationals(50721, {0.67, -0.09, -0.06, -0.43, 1.18, 0.28, -0.08, 0.15, 0.63});
    writer.floats(50940, {0.0f, 0.0f, 0.5f, 0.6f, 1.0f, 1.0f});
    testing::write_file(dir.file("camera.dcp"), writer.bytes());
    ColorProfile profile;
    std::string error;
    ASSERT_TRUE(read_camera_profile(dir.file("camera.dcp"), profile, error)) << error;
    EXPECT_EQ(profile.illuminant1, 21);
    ASSERT_EQ(profile.color_matrix1.size(), 9u);
    EXPECT_DOUBLE_EQ(profile.color_matrix1[3], -0.43);
    EXPECT_TRUE(profile.color_matrix2.empty());
    EXPECT_EQ(profile.tone_curve, (std::vector<float>{0.0f, 0.0f, 0.5f, 0.6f, 1.0f, 1.0f}));
    EXPECT_TRUE(profile.hue_sat_dims.empty());

    const DngFile dng = make_sample_dng(64, 40);
    ASSERT_TRUE(write_dng(dir.file("s.dng"), dng, error)) << error;
    const auto r = run_tool({dir.file("s.dng"), "--dcp", dir.file("camera.dcp"), "-o", dir.file("s.png")});
    EXPECT_EQ(r.status, 0) << r.err;

    // Offsets beyond the file and a wrong magic number are refused cleanly.
    std::vector<char> bytes = writer.bytes();
    for (size_t cut : {size_t(4), size_t(12), size_t(40), bytes.size() - 3}) {
        testing::write_file(dir.file("cut.dcp"), std::vector<char>(bytes.begin(), bytes.begin() + cut));
        const auto cut_run = run_tool({dir.file("s.dng"), "--dcp", dir.file("cut.dcp"), "-o", dir.file("c.png")});
        EXPECT_NE(cut_run.status, 0) << cut;
        EXPECT_NE(cut_run.err.find("cut.dcp"), std::string::npos) << cut_run.err;
        EXPECT_FALSE(std::filesystem::exists(dir.file("c.png")));
    }
    bytes[2] = 42;
    testing::write_file(dir.file("tiff.dcp"), bytes);
    EXPECT_FALSE(read_camera_profile(dir.file("tiff.dcp"), profile, error));
    EXPECT_NE(error.find("not a DNG camera profile"), std::string::npos);
}

// make-sample-dng takes sizes down to 8 x 8: the dead pixels it plants at
// fixed offsets from the chart's patches must stay inside such images.
TEST(SampleCamera, SmallImagesKeepTheirDeadPixelsInside) {
    for (const auto& [width, height] : {std::pair{8u, 8u}, {16u, 12u}, {40u, 10u}, {1200u, 800u}}) {
        const SampleScene scene(width, height);
        const auto sites = scene.dead_pixel_sites();
        for (const auto& site : sites) {
            EXPECT_LT(site[0], height) << width << " x " << height;
            EXPECT_LT(site[1], width) << width << " x " << height;
        }
        if (width == 1200) {
            EXPECT_EQ(sites.size(), 16u);
        }
        EXPECT_EQ(make_sample_dng(width, height).raw.size(), size_t(width) * height);
    }
}

TEST(Colorimetry, PublishedValues) {
    // CIEDE2000 test pairs from the published implementation notes.
    EXPECT_NEAR(delta_e_2000({50, 2.6772, -79.7751}, {50, 0, -82.7485}), 2.0425, 1e-4);
    EXPECT_NEAR(delta_e_2000({50, 3.1571, -77.2803}, {50, 0, -82.7485}), 2.8615, 1e-4);
    EXPECT_NEAR(delta_e_2000({50, 2.8361, -74.0200}, {50, 0, -82.7485}), 3.4412, 1e-4);
    EXPECT_NEAR(correlated_temperature(kD65), 6504, 5);
    EXPECT_NEAR(correlated_temperature({0.44757, 0.40745}), 2856, 5);
    // Adapting there and back is the identity; sRGB white is D65.
    const Mat3 round = multiply(bradford(kD50, kD65), bradford(kD65, kD50));
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(round[i], identity3()[i], 1e-12);
    const Chromaticity white = xyz_to_xy(multiply(srgb_to_xyz(), Vec3{1, 1, 1}));
    EXPECT_NEAR(white.x, kD65.x, 1e-4);
    EXPECT_NEAR(white.y, kD65.y, 1e-4);
    EXPECT_NEAR(srgb_decode(srgb_encode(0.18)), 0.18, 1e-12);
}

}  // namespace
}  // namespace lumra_tools
