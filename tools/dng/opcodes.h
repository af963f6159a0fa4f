// DNG opcode lists: big-endian records of (id, version, flags, byte count,
// parameters). Parsing checks every length against the bytes the tag holds.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace lumra_tools {

namespace opcode_id {
inline constexpr uint32_t kWarpRectilinear = 1, kFixVignetteRadial = 3, kFixBadPixelsConstant = 4;
inline constexpr uint32_t kFixBadPixelsList = 5, kTrimBounds = 6, kMapTable = 7;
inline constexpr uint32_t kMapPolynomial = 8, kGainMap = 9;
inline constexpr uint32_t kDeltaPerRow = 10, kDeltaPerColumn = 11, kScalePerRow = 12, kScalePerColumn = 13;
}  // namespace opcode_id

struct AreaSpec {  // the area and lattice fields shared by GainMap and MapPolynomial
    uint32_t top = 0, left = 0, bottom = 0, right = 0, plane = 0, planes = 1, row_pitch = 1, col_pitch = 1;
};

struct GainMapOp {
    AreaSpec area;
    uint32_t points_v = 1, points_h = 1, map_planes = 1;
    double spacing_v = 1, spacing_h = 1, origin_v = 0, origin_h = 0;
    std::vector<float> gains;  // points_v x points_h x map_planes, planes fastest
};

struct MapPolynomialOp {
    AreaSpec area;
    std::vector<double> coefficients;  // degree + 1
};

struct FixBadPixelsConstantOp {
    uint32_t constant = 0, bayer_phase = 0;
};

struct WarpRectilinearOp {
    uint32_t planes = 1;
    std::vector<double> radial;      // 4 per plane
    std::vector<double> tangential;  // 2 per plane
    double center_x = 0.5, center_y = 0.5;
};

struct FixVignetteRadialOp {
    double k[5] = {0, 0, 0, 0, 0};
    double center_x = 0.5, center_y = 0.5;
};

struct MapTableOp {
    AreaSpec area;
    std::vector<uint16_t> table;  // 1 to 65536 entries; values past the end take the last
};

// DeltaPerRow, DeltaPerColumn, ScalePerRow, ScalePerColumn (told apart by the id):
// one value per row (or column) of the area's lattice.
struct PerLineOp {
    AreaSpec area;
    std::vector<float> values;
};

struct FixBadPixelsListOp {
    uint32_t bayer_phase = 0;
    std::vector<uint32_t> points;  // row, column pairs
    std::vector<uint32_t> rects;   // top, left, bottom, right quadruples (bottom and right exclusive)
};

struct TrimBoundsOp {
    uint32_t top = 0, left = 0, bottom = 0, right = 0;
};

struct UnknownOp {
    std::vector<uint8_t> parameters;
};

using OpcodeBody = std::variant<GainMapOp, MapPolynomialOp, FixBadPixelsConstantOp, WarpRectilinearOp,
                                FixVignetteRadialOp, MapTableOp, PerLineOp, FixBadPixelsListOp, TrimBoundsOp,
                                UnknownOp>;

struct Opcode {
    uint32_t id = 0;
    uint32_t version = 0x01030000;
    uint32_t flags = 0;  // bit 0: optional, bit 1: may be skipped for previews
    OpcodeBody body;
    bool optional() const { return flags & 1u; }
};

const char* opcode_name(uint32_t id);

// False with a one-line reason when the list is malformed.
bool parse_opcode_list(const std::vector<uint8_t>& bytes, std::vector<Opcode>& list, std::string& error);
std::vector<uint8_t> serialize_opcode_list(const std::vector<Opcode>& list);

}  // namespace lumra_tools
