#include "develop/planes.h"

#include "develop/raw_opcodes.h"

#include <algorithm>
#include <climits>
#include <variant>

namespace lumra_tools {
namespace {

bool fits_int(uint32_t v) { return v <= uint32_t(INT_MAX); }

bool area_fits(const AreaSpec& a) {
    return fits_int(a.top) && fits_int(a.left) && fits_int(a.bottom) && fits_int(a.right) && fits_int(a.plane) &&
           fits_int(a.planes) && fits_int(a.row_pitch) && fits_int(a.col_pitch) && a.row_pitch >= 1 &&
           a.col_pitch >= 1;
}

bool skipped(OpcodeContext& c, const char* stage) { return c.options.skip.count(stage) != 0; }

bool check(LumraStatus status, const char* what, std::string& error) {
    if (status == LUMRA_OK) return true;
    error = std::string(what) + " failed: " + status_text(status);
    return false;
}

bool run_gain_map(const GainMapOp& g, FloatImage& image, std::string& error) {
    const AreaSpec& a = g.area;
    if (!area_fits(a) || !fits_int(g.points_v) || !fits_int(g.points_h) || !fits_int(g.map_planes)) {
        error = "GainMap has an impossible area, pitch or size";
        return false;
    }
    LumraImage view = image.view();
    if (image.channels == 1) {
        if (a.plane != 0) return true;  // the mosaic has only plane 0
        return check(lumra_apply_gain_map_cfa(&view, g.gains.data(), int(g.points_v), int(g.points_h),
                                              int(g.map_planes), int(a.top), int(a.left), int(a.bottom),
                                              int(a.right), int(a.row_pitch), int(a.col_pitch), g.spacing_v,
                                              g.spacing_h, g.origin_v, g.origin_h),
                     "GainMap", error);
    }
    return check(lumra_apply_gain_map(&view, g.gains.data(), int(g.points_v), int(g.points_h), int(g.map_planes),
                                      int(a.top), int(a.left), int(a.bottom), int(a.right), int(a.plane),
                                      int(a.planes), int(a.row_pitch), int(a.col_pitch), g.spacing_v, g.spacing_h,
                                      g.origin_v, g.origin_h),
                 "GainMap", error);
}

bool run_polynomial(const MapPolynomialOp& m, FloatImage& image, std::string& error) {
    const AreaSpec& a = m.area;
    if (!area_fits(a)) {
        error = "MapPolynomial has an impossible area or pitch";
        return false;
    }
    // The opcode acts on the part of its area inside the image.
    const int bottom = int(std::min<uint32_t>(a.bottom, image.height));
    const int right = int(std::min<uint32_t>(a.right, image.width));
    const int top = std::min(int(a.top), bottom), left = std::min(int(a.left), right);
    if (top == bottom || left == right) return true;
    const std::vector<float> c(m.coefficients.begin(), m.coefficients.end());
    LumraImage view = image.view();
    return check(lumra_map_polynomial(&view, top, left, bottom, right, int(a.plane), int(a.planes),
                                      int(a.row_pitch), int(a.col_pitch), c.data(), int(c.size() - 1)),
                 "MapPolynomial", error);
}

bool run_warp(const WarpRectilinearOp& w, FloatImage& image, std::string& error) {
    if (image.channels != 3) {
        error = "WarpRectilinear needs a demosaiced image";
        return false;
    }
    // One set of coefficients serves every plane.
    std::vector<double> radial(12), tangential(6);
    for (uint32_t p = 0; p < 3; ++p) {
        const uint32_t from = std::min(p, w.planes - 1);
        std::copy_n(w.radial.begin() + from * 4, 4, radial.begin() + p * 4);
        std::copy_n(w.tangential.begin() + from * 2, 2, tangential.begin() + p * 2);
    }
    FloatImage warped(image.height, image.width, 3);
    LumraImage src = image.view(), dst = warped.view();
    const bool bicubic = image.height >= 4 && image.width >= 4;
    if (!check(lumra_warp_rectilinear(&src, &dst, radial.data(), 3, 4, tangential.data(), w.center_x, w.center_y,
                                      bicubic),
               "WarpRectilinear", error))
        return false;
    image = std::move(warped);
    return true;
}

}  // namespace

std::string status_text(LumraStatus status) {
    switch (status) {
        case LUMRA_ERR_INVALID_ARGUMENT: return "invalid argument";
        case LUMRA_ERR_UNSUPPORTED: return "unsupported";
        case LUMRA_ERR_DIMENSION_MISMATCH: return "dimension mismatch";
        default: return "status " + std::to_string(status);
    }
}

bool refuse_opcode(const Opcode& op, OpcodeContext& context, std::string& error) {
    const std::string what = std::string(context.list_name) + " opcode " + std::to_string(op.id) + " (" +
                             opcode_name(op.id) + ")";
    if (op.optional()) {
        context.report.warnings.push_back("skipping optional " + what + ", which is not supported");
        return true;
    }
    error = "needs " + what + ", which is not supported";
    return false;
}

bool run_float_opcodes(const std::vector<Opcode>& list, FloatImage& image, OpcodeContext& context,
                       std::string& error) {
    for (const Opcode& op : list) {
        bool ok = true;
        if (const auto* g = std::get_if<GainMapOp>(&op.body)) {
            ok = skipped(context, "gain-map") || run_gain_map(*g, image, error);
        } else if (const auto* m = std::get_if<MapPolynomialOp>(&op.body)) {
            ok = skipped(context, "polynomial") || run_polynomial(*m, image, error);
        } else if (const auto* w = std::get_if<WarpRectilinearOp>(&op.body); w && image.channels == 3) {
            ok = skipped(context, "warp") || run_warp(*w, image, error);
        } else if (const auto* v = std::get_if<FixVignetteRadialOp>(&op.body); v && image.channels == 3) {
            LumraImage view = image.view();
            ok = skipped(context, "vignette") ||
                 check(lumra_fix_vignette(&view, v->k, 5, v->center_x, v->center_y), "FixVignetteRadial", error);
        } else {
            ok = run_value_opcode(op, image, context, error);
        }
        if (!ok) return false;
    }
    return true;
}

}  // namespace lumra_tools
