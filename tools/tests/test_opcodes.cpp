// Opcode lists: a written list reads back field for field, and no damaged
// list (cut anywhere, or with random bytes) is read outside its bytes.
#include "dng/opcodes.h"

#include <gtest/gtest.h>

#include <random>

namespace lumra_tools {
namespace {

std::vector<Opcode> every_known_opcode() {
    GainMapOp g;
    g.area = {1, 0, 30, 40, 0, 1, 2, 2};
    g.points_v = 2;
    g.points_h = 3;
    g.map_planes = 1;
    g.spacing_v = 0.5;
    g.spacing_h = 0.25;
    g.origin_v = -0.1;
    g.origin_h = 0.05;
    g.gains = {1.0f, 1.5f, 2.0f, 1.25f, 1.0f, 0.75f};
    MapPolynomialOp m;
    m.area = {0, 0, 10, 10, 0, 3, 1, 1};
    m.coefficients = {0.0, 1.0, -0.25};
    WarpRectilinearOp w;
    w.planes = 1;
    w.radial = {1.0, 0.01, -0.002, 0.0};
    w.tangential = {0.001, -0.001};
    w.center_x = 0.48;
    FixVignetteRadialOp v;
    v.k[0] = 0.3;
    v.k[1] = 0.1;
    return {{opcode_id::kGainMap, 0x01030000, 0, g},
            {opcode_id::kMapPolynomial, 0x01030000, 1, m},
            {opcode_id::kFixBadPixelsConstant, 0x01030000, 0, FixBadPixelsConstantOp{0, 3}},
            {opcode_id::kWarpRectilinear, 0x01030000, 3, w},
            {opcode_id::kFixVignetteRadial, 0x01030000, 0, v},
            {2, 0x01030000, 1, UnknownOp{{9, 8, 7}}},
            {opcode_id::kMapTable, 0x01030000, 0, MapTableOp{{0, 0, 8, 8, 1, 2, 1, 2}, {0, 40000, 65535}}},
            {opcode_id::kDeltaPerRow, 0x01030000, 0, PerLineOp{{2, 0, 8, 8, 0, 1, 2, 1}, {0.25f, -0.5f, 1e-3f}}},
            {opcode_id::kScalePerColumn, 0x01030000, 1, PerLineOp{{0, 0, 8, 8, 0, 3, 1, 1}, {1.5f}}},
            {opcode_id::kFixBadPixelsList, 0x01030000, 0, FixBadPixelsListOp{2, {3, 4, 5, 6}, {1, 1, 3, 3}}},
            {opcode_id::kTrimBounds, 0x01030000, 0, TrimBoundsOp{1, 2, 30, 40}}};
}

TEST(OpcodeList, ReadsBackWhatWasWritten) {
    const std::vector<uint8_t> bytes = serialize_opcode_list(every_known_opcode());
    std::vector<Opcode> list;
    std::string error;
    ASSERT_TRUE(parse_opcode_list(bytes, list, error)) << error;
    ASSERT_EQ(list.size(), 11u);
    const auto& g = std::get<GainMapOp>(list[0].body);
    EXPECT_EQ(g.area.top, 1u);
    EXPECT_EQ(g.area.row_pitch, 2u);
    EXPECT_EQ(g.points_h, 3u);
    EXPECT_EQ(g.origin_v, -0.1);
    EXPECT_EQ(g.gains, (std::vector<float>{1.0f, 1.5f, 2.0f, 1.25f, 1.0f, 0.75f}));
    EXPECT_EQ(std::get<MapPolynomialOp>(list[1].body).coefficients, (std::vector<double>{0.0, 1.0, -0.25}));
    EXPECT_TRUE(list[1].optional());
    EXPECT_EQ(std::get<FixBadPixelsConstantOp>(list[2].body).bayer_phase, 3u);
    EXPECT_EQ(std::get<WarpRectilinearOp>(list[3].body).radial[1], 0.01);
    EXPECT_EQ(std::get<WarpRectilinearOp>(list[3].body).center_x, 0.48);
    EXPECT_EQ(std::get<FixVignetteRadialOp>(list[4].body).k[1], 0.1);
    EXPECT_EQ(list[5].id, 2u);
    EXPECT_EQ(std::get<UnknownOp>(list[5].body).parameters, (std::vector<uint8_t>{9, 8, 7}));
    const auto& table = std::get<MapTableOp>(list[6].body);
    EXPECT_EQ(table.area.plane, 1u);
    EXPECT_EQ(table.area.col_pitch, 2u);
    EXPECT_EQ(table.table, (std::vector<uint16_t>{0, 40000, 65535}));
    EXPECT_EQ(list[7].id, opcode_id::kDeltaPerRow);
    EXPECT_EQ(std::get<PerLineOp>(list[7].body).values, (std::vector<float>{0.25f, -0.5f, 1e-3f}));
    EXPECT_EQ(std::get<PerLineOp>(list[7].body).area.top, 2u);
    EXPECT_EQ(std::get<PerLineOp>(list[8].body).area.planes, 3u);
    const auto& bad = std::get<FixBadPixelsListOp>(list[9].body);
    EXPECT_EQ(bad.bayer_phase, 2u);
    EXPECT_EQ(bad.points, (std::vector<uint32_t>{3, 4, 5, 6}));
    EXPECT_EQ(bad.rects, (std::vector<uint32_t>{1, 1, 3, 3}));
    const auto& trim = std::get<TrimBoundsOp>(list[10].body);
    EXPECT_EQ(trim.left, 2u);
    EXPECT_EQ(trim.bottom, 30u);
    // The opcode list is big-endian: the count 11 is stored as 00 00 00 0b.
    EXPECT_EQ(bytes[3], 11);
    // MapTable's entries are 16-bit: its parameters are the area, the size and 2 bytes an entry.
    const std::vector<uint8_t> map_bytes = serialize_opcode_list({list[6]});
    EXPECT_EQ(map_bytes.size(), 4u + 16u + 32u + 4u + 6u);
}

TEST(OpcodeList, EveryCutIsRefused) {
    const std::vector<uint8_t> bytes = serialize_opcode_list(every_known_opcode());
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        std::vector<Opcode> list;
        std::string error;
        EXPECT_FALSE(parse_opcode_list(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut), list, error)) << cut;
        EXPECT_FALSE(error.empty());
    }
}

TEST(OpcodeList, SizesThatDoNotFitAreRefused) {
    std::vector<Opcode> list;
    std::string error;
    GainMapOp g;
    g.points_v = 0x40000000;
    g.points_h = 4;
    g.gains = {1.0f};
    EXPECT_FALSE(parse_opcode_list(serialize_opcode_list({{opcode_id::kGainMap, 0, 0, g}}), list, error));
    EXPECT_NE(error.find("GainMap"), std::string::npos);
    MapPolynomialOp m;
    m.coefficients.assign(12, 0.0);  // degree 11, beyond the opcode's limit of 8
    EXPECT_FALSE(parse_opcode_list(serialize_opcode_list({{opcode_id::kMapPolynomial, 0, 0, m}}), list, error));
    WarpRectilinearOp w;
    w.planes = 9;  // more planes than an image has
    w.radial.assign(36, 0.0);
    w.tangential.assign(18, 0.0);
    EXPECT_FALSE(parse_opcode_list(serialize_opcode_list({{opcode_id::kWarpRectilinear, 0, 0, w}}), list, error));
    // Counts beyond the parameters: a table of 65537 entries, deltas, bad pixels.
    EXPECT_FALSE(parse_opcode_list(serialize_opcode_list({{opcode_id::kMapTable, 0, 0, MapTableOp{{}, std::vector<uint16_t>(65537)}}}),
                                   list, error));
    EXPECT_NE(error.find("MapTable"), std::string::npos);
    std::vector<uint8_t> deltas = serialize_opcode_list({{opcode_id::kDeltaPerColumn, 0, 0, PerLineOp{{}, {1.0f}}}});
    deltas[16 + 4 + 32 + 3] = 9;  // count 9, one value present
    EXPECT_FALSE(parse_opcode_list(deltas, list, error));
    EXPECT_NE(error.find("DeltaPerColumn count 9"), std::string::npos) << error;
    std::vector<uint8_t> points = serialize_opcode_list({{opcode_id::kFixBadPixelsList, 0, 0, FixBadPixelsListOp{0, {1, 1}, {}}}});
    points[16 + 4 + 4] = 0x40;  // 2^30 points
    EXPECT_FALSE(parse_opcode_list(points, list, error));
    EXPECT_NE(error.find("FixBadPixelsList"), std::string::npos) << error;
}

TEST(OpcodeList, RandomDamageNeverReadsOutside) {
    const std::vector<uint8_t> bytes = serialize_opcode_list(every_known_opcode());
    std::mt19937 rng(7);
    for (int trial = 0; trial < 3000; ++trial) {
        std::vector<uint8_t> damaged = bytes;
        const int changes = 1 + int(rng() % 4);
        for (int k = 0; k < changes; ++k) damaged[rng() % damaged.size()] = uint8_t(rng());
        damaged.resize(rng() % (damaged.size() + 1));
        std::vector<Opcode> list;
        std::string error;
        if (!parse_opcode_list(damaged, list, error)) {
            EXPECT_FALSE(error.empty());
        }
    }
}

}  // namespace
}  // namespace lumra_tools
