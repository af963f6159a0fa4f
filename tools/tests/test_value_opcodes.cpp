// The opcodes that remap, shift, scale, repair and trim: each on a small
// image, band by band the same as whole, and in a development.
#include "develop/raw_opcodes.h"
#include "dng/dng_reader.h"
#include "sample/camera.h"
#include "tool_test_support.h"

#include <cmath>
#include <random>

namespace lumra_tools {
namespace {

using testing::TempDir;
using testing::run_tool;

ImagePart whole(uint32_t height, uint32_t width, uint32_t channels) {
    return {0, 0, height, width, channels, height, width};
}

TEST(MapTable, StoredValuesIndexAndFloatsInterpolate) {
    // 4 x 4, one channel; the area is rows 1..3, every second column from 1.
    std::vector<uint16_t> raw(16);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = uint16_t(i);
    MapTableOp op{{1, 1, 3, 4, 0, 1, 1, 2}, {100, 101, 102, 103, 104, 105, 106, 107, 108, 109}};
    apply_map_table(raw.data(), whole(4, 4, 1), op);
    // Changed: (1,1)=5, (1,3)=7, (2,1)=9, (2,3)=11 -> past the table's end reads its last entry.
    EXPECT_EQ(raw, (std::vector<uint16_t>{0, 1, 2, 3, 4, 105, 6, 107, 8, 109, 10, 109, 12, 13, 14, 15}));

    // Floats read the table at v x 65535 between entries; other planes untouched.
    MapTableOp ramp{{0, 0, 1, 2, 1, 1, 1, 1}, {0, 65535}};  // the table 0 -> 0, 1 -> 65535, then 65535
    std::vector<float> rgb{0.5f, 0.5f, 0.5f, 0.25f, 0.0f, 0.75f};
    apply_map_table(rgb.data(), whole(1, 2, 3), ramp);
    EXPECT_EQ(rgb[0], 0.5f);
    EXPECT_FLOAT_EQ(rgb[1], 1.0f);  // 0.5 x 65535 is far past entry 1
    EXPECT_EQ(rgb[2], 0.5f);
    EXPECT_EQ(rgb[4], 0.0f);
    MapTableOp fine{{0, 0, 1, 1, 0, 1, 1, 1}, std::vector<uint16_t>(65536)};
    for (size_t i = 0; i < 65536; ++i) fine.table[i] = uint16_t(65535 - i);  // inverts
    float v[1] = {0.3f};
    apply_map_table(v, whole(1, 1, 1), fine);
    EXPECT_NEAR(v[0], 0.7f, 1e-6);
}

TEST(PerLine, DeltasAndScalesFollowTheLattice) {
    // 5 x 3 floats of 0.5; rows 1 and 3 of the area (pitch 2) change.
    std::vector<float> image(15, 0.5f);
    PerLineOp deltas{{1, 0, 5, 3, 0, 1, 2, 1}, {0.25f, -0.75f, 0.1f}};
    apply_per_line(image.data(), whole(5, 3, 1), opcode_id::kDeltaPerRow, deltas);
    for (uint32_t c = 0; c < 3; ++c) {
        EXPECT_EQ(image[0 * 3 + c], 0.5f);
        EXPECT_EQ(image[1 * 3 + c], 0.75f);
        EXPECT_EQ(image[2 * 3 + c], 0.5f);
        EXPECT_EQ(image[3 * 3 + c], 0.0f);  // limited at 0
        EXPECT_EQ(image[4 * 3 + c], 0.5f);
    }
    // Columns scale; a list shorter than the area leaves the rest alone.
    std::vector<float> cols(2 * 4, 0.4f);
    PerLineOp scales{{0, 0, 2, 4, 0, 1, 1, 1}, {2.0f, 3.0f, 0.5f}};
    apply_per_line(cols.data(), whole(2, 4, 1), opcode_id::kScalePerColumn, scales);
    EXPECT_EQ(cols, (std::vector<float>{0.8f, 1.0f, 0.2f, 0.4f, 0.8f, 1.0f, 0.2f, 0.4f}));
    // Stored values: deltas in fractions of 65535, rounded and limited.
    std::vector<uint16_t> raw{1000, 1000, 65000, 10};
    PerLineOp raw_deltas{{0, 0, 1, 4, 0, 1, 1, 1}, {0.001f, -0.001f, 0.1f, -0.5f}};
    apply_per_line(raw.data(), whole(1, 4, 1), opcode_id::kDeltaPerColumn, raw_deltas);
    EXPECT_EQ(raw, (std::vector<uint16_t>{1066, 934, 65535, 0}));
    std::vector<uint16_t> rows{1000, 1000, 1000, 1000};
    PerLineOp raw_scales{{0, 0, 2, 2, 0, 1, 1, 1}, {1.5f, 0.25f}};
    apply_per_line(rows.data(), whole(2, 2, 1), opcode_id::kScalePerRow, raw_scales);
    EXPECT_EQ(rows, (std::vector<uint16_t>{1500, 1500, 250, 250}));
    // Planes: only plane 2 of three.
    std::vector<float> rgb(6, 0.5f);
    PerLineOp blue{{0, 0, 1, 2, 2, 1, 1, 1}, {0.5f}};
    apply_per_line(rgb.data(), whole(1, 2, 3), opcode_id::kScalePerRow, blue);
    EXPECT_EQ(rgb, (std::vector<float>{0.5f, 0.5f, 0.25f, 0.5f, 0.5f, 0.25f}));
}

TEST(PerLine, BandsAndTilesGiveTheWholeImagesResult) {
    const uint32_t h = 37, w = 23, ch = 3;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    std::vector<float> image(size_t(h) * w * ch);
    for (float& v : image) v = u(rng);
    std::vector<float> row_values(40), col_values(30);
    for (float& v : row_values) v = u(rng) - 0.5f;
    for (float& v : col_values) v = 0.5f + u(rng);
    const PerLineOp rows{{3, 1, 35, 22, 0, 2, 3, 1}, row_values};
    const PerLineOp cols{{0, 2, 37, 23, 1, 2, 1, 2}, col_values};
    MapTableOp map{{1, 0, 36, 23, 0, 3, 2, 3}, std::vector<uint16_t>(4096)};
    for (size_t i = 0; i < map.table.size(); ++i) map.table[i] = uint16_t(i * 16);
    auto run = [&](float* data, const ImagePart& part) {
        apply_per_line(data, part, opcode_id::kDeltaPerRow, rows);
        apply_per_line(data, part, opcode_id::kScalePerColumn, cols);
        apply_map_table(data, part, map);
    };
    std::vector<float> expected = image;
    run(expected.data(), whole(h, w, ch));
    // Bands of 5 rows (the last one short), each in a buffer of its own.
    std::vector<float> banded(image.size());
    for (uint32_t top = 0; top < h; top += 5) {
        const uint32_t rows_here = std::min(5u, h - top);
        std::vector<float> band(image.begin() + size_t(top) * w * ch, image.begin() + size_t(top + rows_here) * w * ch);
        run(band.data(), ImagePart{top, 0, rows_here, w, ch, h, w});
        std::copy(band.begin(), band.end(), banded.begin() + size_t(top) * w * ch);
    }
    EXPECT_EQ(banded, expected);
    // A tile at an odd corner, against the same pixels of the whole.
    const uint32_t t0 = 7, l0 = 5, th = 9, tw = 11;
    std::vector<float> tile;
    for (uint32_t r = 0; r < th; ++r)
        tile.insert(tile.end(), image.begin() + (size_t(t0 + r) * w + l0) * ch, image.begin() + (size_t(t0 + r) * w + l0 + tw) * ch);
    run(tile.data(), ImagePart{t0, l0, th, tw, ch, h, w});
    for (uint32_t r = 0; r < th; ++r)
        for (uint32_t k = 0; k < tw * ch; ++k)
            ASSERT_EQ(tile[size_t(r) * tw * ch + k], expected[(size_t(t0 + r) * w + l0) * ch + k]) << r << " " << k;
}

TEST(FixBadPixelsList, RepairsFromTheNearestGoodSitesOfTheSameColour) {
    // 8 x 8 mosaic, BayerPhase 0 (red at the top-left): value = 100 x colour + position.
    const uint32_t n = 8;
    std::vector<uint16_t> raw(n * n);
    for (uint32_t r = 0; r < n; ++r)
        for (uint32_t c = 0; c < n; ++c) raw[r * n + c] = uint16_t(1000 * ((r & 1) + (c & 1)) + r * 10 + c);
    std::vector<uint16_t> original = raw;
    // A green site (2, 3), a red site (4, 4), and a 3 x 3 rectangle at (1, 5).
    FixBadPixelsListOp op{0, {2, 3, 4, 4, 99, 99}, {1, 5, 4, 8}};
    raw[2 * n + 3] = raw[4 * n + 4] = 65535;
    ASSERT_TRUE(fix_bad_pixels_list(raw.data(), n, n, 1, op));
    // Green: the four diagonal neighbours, (1,2) (1,4) (3,2) (3,4).
    const uint32_t green = (original[1 * n + 2] + original[1 * n + 4] + original[3 * n + 2] + original[3 * n + 4] + 2) / 4;
    EXPECT_EQ(raw[2 * n + 3], green);
    // Red: the ring two sites away holds eight reds; (2, 6) lies in the bad
    // rectangle, so the rounded mean of the other seven.
    EXPECT_EQ(raw[4 * n + 4], (22 + 24 + 42 + 46 + 62 + 64 + 66 + 3) / 7);
    // Inside the rectangle every site got a value of its own colour class (never another colour's).
    for (uint32_t r = 1; r < 4; ++r)
        for (uint32_t c = 5; c < 8; ++c) {
            const int colour = int((r & 1) + (c & 1));
            EXPECT_EQ(raw[r * n + c] / 1000, colour) << r << ", " << c;
        }
    // Outside the list nothing changed.
    for (uint32_t r = 0; r < n; ++r)
        for (uint32_t c = 0; c < n; ++c)
            if (!(r >= 1 && r < 4 && c >= 5) && !(r == 2 && c == 3) && !(r == 4 && c == 4)) {
                EXPECT_EQ(raw[r * n + c], original[r * n + c]);
            }
    // Three channels: every plane from its own neighbours; BayerPhase plays no part.
    std::vector<float> rgb(3 * 3 * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = float(i % 3) * 0.25f;
    rgb[4 * 3] = rgb[4 * 3 + 1] = rgb[4 * 3 + 2] = 1.0f;
    ASSERT_TRUE(fix_bad_pixels_list(rgb.data(), 3, 3, 3, FixBadPixelsListOp{3, {1, 1}, {}}));
    EXPECT_EQ(rgb[12], 0.0f);
    EXPECT_EQ(rgb[13], 0.25f);
    EXPECT_EQ(rgb[14], 0.5f);
    // A "list" that covers the whole of a large image is refused untouched.
    std::vector<uint16_t> big(512 * 512, 7);
    EXPECT_FALSE(fix_bad_pixels_list(big.data(), 512, 512, 1, FixBadPixelsListOp{0, {}, {0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu}}));
    EXPECT_EQ(big[1000], 7);
}

TEST(TrimBounds, MovesTheMosaicPatternCropAndBlackLevelsAlong) {
    FloatImage image(6, 8, 1);
    for (size_t i = 0; i < image.size(); ++i) image.data[i] = float(i);
    DngFile dng;
    const int cfa[4] = {0, 1, 1, 2};
    std::copy(cfa, cfa + 4, dng.cfa);
    dng.default_crop_origin[0] = 2;
    dng.default_crop_origin[1] = 2;
    dng.default_crop_size[0] = 6;
    dng.default_crop_size[1] = 3;
    std::string error;
    ASSERT_TRUE(trim_image(image, &dng, TrimBoundsOp{1, 1, 5, 7}, error)) << error;
    EXPECT_EQ(image.height, 4u);
    EXPECT_EQ(image.width, 6u);
    EXPECT_EQ(image.data[0], 9.0f);  // (1, 1) of the untrimmed image
    EXPECT_EQ(std::vector<int>(dng.cfa, dng.cfa + 4), (std::vector<int>{2, 1, 1, 0}));  // blue now at the corner
    EXPECT_EQ(dng.default_crop_origin[0], 1);
    EXPECT_EQ(dng.default_crop_size[0], 5);  // limited to what is left
    EXPECT_FALSE(trim_image(image, &dng, TrimBoundsOp{0, 0, 5, 6}, error));
    EXPECT_NE(error.find("TrimBounds"), std::string::npos);

    // OpcodeList1: the active area narrows, the black pattern and deltas move with its corner.
    DngFile raw = make_sample_dng(48, 32);
    const std::vector<float> black = raw.black_levels, delta_h = raw.black_delta_h;
    ASSERT_TRUE(trim_raw(raw, TrimBoundsOp{3, 1, 32, 40}, error)) << error;
    EXPECT_EQ(std::vector<uint32_t>(raw.active_area, raw.active_area + 4), (std::vector<uint32_t>{3, 1, 32, 40}));
    EXPECT_EQ(raw.black_levels, (std::vector<float>{black[3], black[2], black[1], black[0]}));
    EXPECT_EQ(raw.black_delta_h.size(), 39u);
    EXPECT_EQ(raw.black_delta_h[0], delta_h[1]);
    EXPECT_EQ(raw.black_delta_v.size(), 29u);
    EXPECT_EQ(raw.cfa[0], 2);
    EXPECT_FALSE(trim_raw(raw, TrimBoundsOp{40, 0, 48, 32}, error));
}

TEST(ValueOpcodes, DevelopmentRunsThemInEveryList) {
    TempDir dir;
    const DngFile plain = make_sample_dng(48, 32);
    DngFile ops = plain;
    std::vector<Opcode> list1, list2, list3;
    std::string error;
    ASSERT_TRUE(parse_opcode_list(plain.opcode_list1, list1, error));  // the sample's own opcodes stay
    ASSERT_TRUE(parse_opcode_list(plain.opcode_list2, list2, error));
    ASSERT_TRUE(parse_opcode_list(plain.opcode_list3, list3, error));
    // Identities in lists 1 and 2, a trim at the end of list 3.
    MapTableOp identity{{0, 0, 32, 48, 0, 1, 1, 1}, std::vector<uint16_t>(65536)};
    for (size_t i = 0; i < 65536; ++i) identity.table[i] = uint16_t(i);
    list1.push_back({opcode_id::kMapTable, 0x01030000, 0, identity});
    list2.push_back({opcode_id::kScalePerRow, 0x01030000, 0, PerLineOp{{0, 0, 32, 48, 0, 1, 1, 1}, std::vector<float>(32, 1.0f)}});
    list3.push_back({opcode_id::kTrimBounds, 0x01030000, 0, TrimBoundsOp{2, 4, 30, 44}});
    ops.opcode_list1 = serialize_opcode_list(list1);
    ops.opcode_list2 = serialize_opcode_list(list2);
    ops.opcode_list3 = serialize_opcode_list(list3);
    DevelopOptions options;
    DevelopedImage full, trimmed;
    DevelopReport report;
    ASSERT_TRUE(develop(plain, plain.profile, options, full, report, error)) << error;
    ASSERT_TRUE(develop(ops, ops.profile, options, trimmed, report, error)) << error;
    EXPECT_TRUE(report.warnings.empty());
    ASSERT_EQ(trimmed.width, 40u);
    ASSERT_EQ(trimmed.height, 28u);
    for (uint32_t r = 0; r < 28; ++r)
        for (uint32_t k = 0; k < 40 * 3; ++k)
            ASSERT_EQ(trimmed.rgb8[size_t(r) * 120 + k], full.rgb8[size_t(r + 2) * 144 + 12 + k]) << r << " " << k;
    // --skip deltas drops the scale: a halving scale then changes nothing.
    list2.back() = {opcode_id::kScalePerRow, 0x01030000, 0, PerLineOp{{0, 0, 32, 48, 0, 1, 1, 1}, std::vector<float>(32, 0.5f)}};
    ops.opcode_list2 = serialize_opcode_list(list2);
    ASSERT_TRUE(write_dng(dir.file("half.dng"), ops, error)) << error;
    ASSERT_EQ(run_tool({dir.file("half.dng"), "-o", dir.file("half.png")}).status, 0);
    ASSERT_EQ(run_tool({dir.file("half.dng"), "--skip", "deltas", "-o", dir.file("skip.png")}).status, 0);
    EXPECT_NE(testing::read_file(dir.file("half.png")), testing::read_file(dir.file("skip.png")));
}

}  // namespace
}  // namespace lumra_tools
