#include "dng/opcodes.h"

#include "dng/big_endian.h"

#include <bit>
#include <cstring>

namespace lumra_tools {
namespace {

using Reader = BigEndianReader;

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}
void put_f32(std::vector<uint8_t>& out, float v) { put_u32(out, std::bit_cast<uint32_t>(v)); }
void put_f64(std::vector<uint8_t>& out, double v) {
    const uint64_t bits = std::bit_cast<uint64_t>(v);
    put_u32(out, uint32_t(bits >> 32));
    put_u32(out, uint32_t(bits));
}

bool read_area(Reader& in, AreaSpec& a) {
    return in.u32(a.top) && in.u32(a.left) && in.u32(a.bottom) && in.u32(a.right) && in.u32(a.plane) &&
           in.u32(a.planes) && in.u32(a.row_pitch) && in.u32(a.col_pitch);
}
void write_area(std::vector<uint8_t>& out, const AreaSpec& a) {
    for (uint32_t v : {a.top, a.left, a.bottom, a.right, a.plane, a.planes, a.row_pitch, a.col_pitch}) put_u32(out, v);
}

bool parse_gain_map(Reader& in, GainMapOp& op, std::string& error) {
    if (!read_area(in, op.area) || !in.u32(op.points_v) || !in.u32(op.points_h) || !in.f64(op.spacing_v) ||
        !in.f64(op.spacing_h) || !in.f64(op.origin_v) || !in.f64(op.origin_h) || !in.u32(op.map_planes)) {
        error = "GainMap parameters are truncated";
        return false;
    }
    const uint64_t count = uint64_t(op.points_v) * op.points_h * op.map_planes;
    if (count == 0 || count > in.remaining() / 4) {
        error = "GainMap holds " + std::to_string(op.points_v) + " x " + std::to_string(op.points_h) + " x " +
                std::to_string(op.map_planes) + " gains, more than its parameters carry";
        return false;
    }
    op.gains.resize(count);
    for (float& g : op.gains) in.f32(g);
    return true;
}

bool parse_polynomial(Reader& in, MapPolynomialOp& op, std::string& error) {
    uint32_t degree = 0;
    if (!read_area(in, op.area) || !in.u32(degree)) {
        error = "MapPolynomial parameters are truncated";
        return false;
    }
    if (degree > 8 || uint64_t(degree + 1) * 8 > in.remaining()) {
        error = "MapPolynomial degree " + std::to_string(degree) + " does not fit its parameters";
        return false;
    }
    op.coefficients.resize(degree + 1);
    for (double& c : op.coefficients) in.f64(c);
    return true;
}

bool parse_warp(Reader& in, WarpRectilinearOp& op, std::string& error) {
    if (!in.u32(op.planes) || op.planes < 1 || op.planes > 4 || uint64_t(op.planes) * 48 + 16 > in.remaining()) {
        error = "WarpRectilinear plane count does not fit its parameters";
        return false;
    }
    op.radial.resize(size_t(op.planes) * 4);
    op.tangential.resize(size_t(op.planes) * 2);
    for (uint32_t p = 0; p < op.planes; ++p) {
        for (int k = 0; k < 4; ++k) in.f64(op.radial[p * 4 + k]);
        for (int k = 0; k < 2; ++k) in.f64(op.tangential[p * 2 + k]);
    }
    in.f64(op.center_x);
    in.f64(op.center_y);
    return true;
}

bool parse_map_table(Reader& in, MapTableOp& op, std::string& error) {
    uint32_t size = 0;
    if (!read_area(in, op.area) || !in.u32(size)) {
        error = "MapTable parameters are truncated";
        return false;
    }
    if (size == 0 || size > 65536 || uint64_t(size) * 2 > in.remaining()) {
        error = "MapTable size " + std::to_string(size) + " does not fit its parameters";
        return false;
    }
    op.table.resize(size);
    for (uint16_t& v : op.table) in.u16(v);
    return true;
}

bool parse_per_line(Reader& in, PerLineOp& op, const char* name, std::string& error) {
    uint32_t count = 0;
    if (!read_area(in, op.area) || !in.u32(count)) {
        error = std::string(name) + " parameters are truncated";
        return false;
    }
    if (count == 0 || count > in.remaining() / 4) {
        error = std::string(name) + " count " + std::to_string(count) + " does not fit its parameters";
        return false;
    }
    op.values.resize(count);
    for (float& v : op.values) in.f32(v);
    return true;
}

bool parse_bad_pixel_list(Reader& in, FixBadPixelsListOp& op, std::string& error) {
    uint32_t points = 0, rects = 0;
    if (!in.u32(op.bayer_phase) || !in.u32(points) || !in.u32(rects)) {
        error = "FixBadPixelsList parameters are truncated";
        return false;
    }
    if (uint64_t(points) * 8 + uint64_t(rects) * 16 > in.remaining()) {
        error = "FixBadPixelsList lists " + std::to_string(points) + " points and " + std::to_string(rects) +
                " rectangles, more than its parameters carry";
        return false;
    }
    op.points.resize(size_t(points) * 2);
    op.rects.resize(size_t(rects) * 4);
    for (uint32_t& v : op.points) in.u32(v);
    for (uint32_t& v : op.rects) in.u32(v);
    return true;
}

}  // namespace

const char* opcode_name(uint32_t id) {
    static const char* const names[] = {"unknown", "WarpRectilinear", "WarpFisheye", "FixVignetteRadial",
                                        "FixBadPixelsConstant", "FixBadPixelsList", "TrimBounds", "MapTable",
                                        "MapPolynomial", "GainMap", "DeltaPerRow", "DeltaPerColumn",
                                        "ScalePerRow", "ScalePerColumn", "WarpRectilinear2"};
    return id < sizeof names / sizeof names[0] ? names[id] : "unknown";
}

bool parse_opcode_list(const std::vector<uint8_t>& bytes, std::vector<Opcode>& list, std::string& error) {
    list.clear();
    Reader in(bytes.data(), bytes.size());
    uint32_t count = 0;
    if (!in.u32(count)) {
        error = "opcode list is shorter than its count";
        return false;
    }
    if (count > in.remaining() / 16) {
        error = "opcode list claims " + std::to_string(count) + " opcodes in " + std::to_string(bytes.size()) +
                " bytes";
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        Opcode op;
        uint32_t size = 0;
        if (!in.u32(op.id) || !in.u32(op.version) || !in.u32(op.flags) || !in.u32(size)) {
            error = "opcode " + std::to_string(i + 1) + " header is truncated";
            return false;
        }
        if (size > in.remaining()) {
            error = std::string(opcode_name(op.id)) + " opcode claims " + std::to_string(size) +
                    " parameter bytes, only " + std::to_string(in.remaining()) + " remain";
            return false;
        }
        const size_t start = in.position();
        Reader params(bytes.data() + start, size);
        bool ok = true;
        switch (op.id) {
            case opcode_id::kGainMap: op.body = GainMapOp{}; ok = parse_gain_map(params, std::get<GainMapOp>(op.body), error); break;
            case opcode_id::kMapPolynomial:
                op.body = MapPolynomialOp{};
                ok = parse_polynomial(params, std::get<MapPolynomialOp>(op.body), error);
                break;
            case opcode_id::kFixBadPixelsConstant: {
                FixBadPixelsConstantOp body;
                ok = params.u32(body.constant) && params.u32(body.bayer_phase);
                if (!ok) error = "FixBadPixelsConstant parameters are truncated";
                op.body = body;
                break;
            }
            case opcode_id::kWarpRectilinear:
                op.body = WarpRectilinearOp{};
                ok = parse_warp(params, std::get<WarpRectilinearOp>(op.body), error);
                break;
            case opcode_id::kFixVignetteRadial: {
                FixVignetteRadialOp body;
                for (double& k : body.k) ok = ok && params.f64(k);
                ok = ok && params.f64(body.center_x) && params.f64(body.center_y);
                if (!ok) error = "FixVignetteRadial parameters are truncated";
                op.body = body;
                break;
            }
            case opcode_id::kMapTable:
                op.body = MapTableOp{};
                ok = parse_map_table(params, std::get<MapTableOp>(op.body), error);
                break;
            case opcode_id::kDeltaPerRow:
            case opcode_id::kDeltaPerColumn:
            case opcode_id::kScalePerRow:
            case opcode_id::kScalePerColumn:
                op.body = PerLineOp{};
                ok = parse_per_line(params, std::get<PerLineOp>(op.body), opcode_name(op.id), error);
                break;
            case opcode_id::kFixBadPixelsList:
                op.body = FixBadPixelsListOp{};
                ok = parse_bad_pixel_list(params, std::get<FixBadPixelsListOp>(op.body), error);
                break;
            case opcode_id::kTrimBounds: {
                TrimBoundsOp body;
                ok = params.u32(body.top) && params.u32(body.left) && params.u32(body.bottom) && params.u32(body.right);
                if (!ok) error = "TrimBounds parameters are truncated";
                op.body = body;
                break;
            }
            default:
                op.body = UnknownOp{std::vector<uint8_t>(bytes.begin() + start, bytes.begin() + start + size)};
                break;
        }
        if (!ok) return false;
        in.skip(size);
        list.push_back(std::move(op));
    }
    return true;
}

std::vector<uint8_t> serialize_opcode_list(const std::vector<Opcode>& list) {
    std::vector<uint8_t> out;
    put_u32(out, uint32_t(list.size()));
    for (const Opcode& op : list) {
        std::vector<uint8_t> p;
        if (const auto* g = std::get_if<GainMapOp>(&op.body)) {
            write_area(p, g->area);
            put_u32(p, g->points_v);
            put_u32(p, g->points_h);
            for (double d : {g->spacing_v, g->spacing_h, g->origin_v, g->origin_h}) put_f64(p, d);
            put_u32(p, g->map_planes);
            for (float f : g->gains) put_f32(p, f);
        } else if (const auto* m = std::get_if<MapPolynomialOp>(&op.body)) {
            write_area(p, m->area);
            put_u32(p, uint32_t(m->coefficients.size() - 1));
            for (double c : m->coefficients) put_f64(p, c);
        } else if (const auto* b = std::get_if<FixBadPixelsConstantOp>(&op.body)) {
            put_u32(p, b->constant);
            put_u32(p, b->bayer_phase);
        } else if (const auto* w = std::get_if<WarpRectilinearOp>(&op.body)) {
            put_u32(p, w->planes);
            for (uint32_t k = 0; k < w->planes; ++k) {
                for (int j = 0; j < 4; ++j) put_f64(p, w->radial[k * 4 + j]);
                for (int j = 0; j < 2; ++j) put_f64(p, w->tangential[k * 2 + j]);
            }
            put_f64(p, w->center_x);
            put_f64(p, w->center_y);
        } else if (const auto* v = std::get_if<FixVignetteRadialOp>(&op.body)) {
            for (double k : v->k) put_f64(p, k);
            put_f64(p, v->center_x);
            put_f64(p, v->center_y);
        } else if (const auto* t = std::get_if<MapTableOp>(&op.body)) {
            write_area(p, t->area);
            put_u32(p, uint32_t(t->table.size()));
            for (uint16_t v : t->table) {
                p.push_back(uint8_t(v >> 8));
                p.push_back(uint8_t(v));
            }
        } else if (const auto* l = std::get_if<PerLineOp>(&op.body)) {
            write_area(p, l->area);
            put_u32(p, uint32_t(l->values.size()));
            for (float v : l->values) put_f32(p, v);
        } else if (const auto* b = std::get_if<FixBadPixelsListOp>(&op.body)) {
            put_u32(p, b->bayer_phase);
            put_u32(p, uint32_t(b->points.size() / 2));
            put_u32(p, uint32_t(b->rects.size() / 4));
            for (size_t i = 0; i + 1 < b->points.size(); i += 2) put_u32(p, b->points[i]), put_u32(p, b->points[i + 1]);
            for (size_t i = 0; i + 3 < b->rects.size(); i += 4)
                for (size_t k = 0; k < 4; ++k) put_u32(p, b->rects[i + k]);
        } else if (const auto* tb = std::get_if<TrimBoundsOp>(&op.body)) {
            for (uint32_t v : {tb->top, tb->left, tb->bottom, tb->right}) put_u32(p, v);
        } else if (const auto* u = std::get_if<UnknownOp>(&op.body)) {
            p = u->parameters;
        }
        put_u32(out, op.id);
        put_u32(out, op.version);
        put_u32(out, op.flags);
        put_u32(out, uint32_t(p.size()));
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

}  // namespace lumra_tools
