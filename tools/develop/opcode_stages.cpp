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

bool gain_map_fits(const GainMapOp& g, std::string& error) {
    if (area_fits(g.area) && fits_int(g.points_v) && fits_int(g.points_h) && fits_int(g.map_planes)) return true;
    error = "GainMap has an impossible area, pitch or size";
    return false;
}

bool run_gain_map_band(const GainMapOp& g, LumraImage& band, uint32_t top, uint32_t full_height,
                       std::string& error) {
    if (!gain_map_fits(g, error)) return false;
    const AreaSpec& a = g.area;
    const LumraRegion region = band_region(top, full_height, band.width);
    if (band.channels == 1) {
        if (a.plane != 0) return true;  // the mosaic has only plane 0
        return check(lumra_apply_gain_map_cfa_region(&band, &region, g.gains.data(), int(g.points_v),
                                                     int(g.points_h), int(g.map_planes), int(a.top), int(a.left),
                                                     int(a.bottom), int(a.right), int(a.row_pitch),
                                                     int(a.col_pitch), g.spacing_v, g.spacing_h, g.origin_v,
                                                     g.origin_h),
                     "GainMap", error);
    }
    return check(lumra_apply_gain_map_region(&band, &region, g.gains.data(), int(g.points_v), int(g.points_h),
                                             int(g.map_planes), int(a.top), int(a.left), int(a.bottom),
                                             int(a.right), int(a.plane), int(a.planes), int(a.row_pitch),
                                             int(a.col_pitch), g.spacing_v, g.spacing_h, g.origin_v, g.origin_h),
                 "GainMap", error);
}

bool run_gain_map(const GainMapOp& g, FloatImage& image, std::string& error) {
    if (!gain_map_fits(g, error)) return false;
    const AreaSpec& a = g.area;
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

// The opcode acts on the part of its area inside the image: on the whole
// image (band null) or on a band of it.
bool run_polynomial(const MapPolynomialOp& m, LumraImage& image, const LumraRegion* band, std::string& error) {
    const AreaSpec& a = m.area;
    if (!area_fits(a)) {
        error = "MapPolynomial has an impossible area or pitch";
        return false;
    }
    const uint64_t height = band ? band->full_height : image.height;
    const int bottom = int(std::min<uint64_t>(a.bottom, height));
    const int right = int(std::min<uint64_t>(a.right, image.width));
    const int top = std::min(int(a.top), bottom), left = std::min(int(a.left), right);
    if (top == bottom || left == right) return true;
    const std::vector<float> c(m.coefficients.begin(), m.coefficients.end());
    const LumraStatus status =
        band ? lumra_map_polynomial_region(&image, band, top, left, bottom, right, int(a.plane), int(a.planes),
                                           int(a.row_pitch), int(a.col_pitch), c.data(), int(c.size() - 1))
             : lumra_map_polynomial(&image, top, left, bottom, right, int(a.plane), int(a.planes),
                                    int(a.row_pitch), int(a.col_pitch), c.data(), int(c.size() - 1));
    return check(status, "MapPolynomial", error);
}

// The warp's coefficients for three planes: one set may serve every plane.
struct WarpCoefficients {
    std::vector<double> radial = std::vector<double>(12), tangential = std::vector<double>(6);
    explicit WarpCoefficients(const WarpRectilinearOp& w) {
        for (uint32_t p = 0; p < 3; ++p) {
            const uint32_t from = std::min(p, w.planes - 1);
            std::copy_n(w.radial.begin() + from * 4, 4, radial.begin() + p * 4);
            std::copy_n(w.tangential.begin() + from * 2, 2, tangential.begin() + p * 2);
        }
    }
};

// A band of the warped image from the rows of the source that it reads.
bool run_warp_band(const WarpRectilinearOp& w, const FloatImage& source, LumraImage& band, uint32_t top,
                   std::string& error) {
    const WarpCoefficients k(w);
    const bool bicubic = source.height >= 4 && source.width >= 4;
    const LumraRegion part = band_region(top, source.height, source.width);
    LumraRegion window{};
    uint64_t window_height = 0, window_width = 0;
    if (!check(lumra_warp_rectilinear_source_window(&part, band.height, band.width, 3, k.radial.data(), 3, 4,
                                                    k.tangential.data(), w.center_x, w.center_y, bicubic, &window,
                                                    &window_height, &window_width),
               "WarpRectilinear", error))
        return false;
    // Whole rows of the window: the source's rows are packed.
    const uint64_t first = std::min<uint64_t>(window.top, source.height - 1);
    const uint64_t rows = std::max<uint64_t>(1, std::min<uint64_t>(window_height, source.height - first));
    const LumraImage src{source.data.get() + first * source.width * 3, rows, source.width, 3, LUMRA_DTYPE_FLOAT32, 0};
    const LumraRegion src_region = band_region(uint32_t(first), source.height, source.width);
    return check(lumra_warp_rectilinear_region(&src, &src_region, &band, &part, k.radial.data(), 3, 4,
                                               k.tangential.data(), w.center_x, w.center_y, bicubic),
                 "WarpRectilinear", error);
}

bool run_warp(const WarpRectilinearOp& w, FloatImage& image, std::string& error) {
    if (image.channels != 3) {
        error = "WarpRectilinear needs a demosaiced image";
        return false;
    }
    const WarpCoefficients k(w);
    FloatImage warped(image.height, image.width, 3);
    LumraImage src = image.view(), dst = warped.view();
    const bool bicubic = image.height >= 4 && image.width >= 4;
    if (!check(lumra_warp_rectilinear(&src, &dst, k.radial.data(), 3, 4, k.tangential.data(), w.center_x,
                                      w.center_y, bicubic),
               "WarpRectilinear", error))
        return false;
    image = std::move(warped);
    return true;
}

// MapTable and the per-row and per-column deltas and scales act pixel by
// pixel, so they run on bands; FixBadPixelsList reads neighbours at any
// distance and TrimBounds changes the image's size, so they need the whole
// image.
bool plan_value_opcode(const Opcode& op, OpcodeContext& context, std::vector<FloatStep>& steps, std::string& error) {
    const WholeStep whole = [&op, &context](FloatImage& image, std::string& e) {
        return run_value_opcode(op, image, context, e);
    };
    const auto part_of = [](const LumraImage& band, uint32_t top, uint32_t full_height) {
        return ImagePart{top, 0, uint32_t(band.height), uint32_t(band.width), uint32_t(band.channels), full_height,
                         uint32_t(band.width)};
    };
    if (const auto* t = std::get_if<MapTableOp>(&op.body)) {
        if (skipped(context, "map-table")) return true;
        steps.push_back({"MapTable", whole,
                         [t, part_of](LumraImage& band, uint32_t top, uint32_t full_height, std::string&) {
                             apply_map_table(static_cast<float*>(band.data), part_of(band, top, full_height), *t);
                             return true;
                         },
                         {}});
    } else if (const auto* l = std::get_if<PerLineOp>(&op.body)) {
        if (skipped(context, "deltas")) return true;
        const uint32_t id = op.id;
        steps.push_back({opcode_name(id), whole,
                         [l, id, part_of](LumraImage& band, uint32_t top, uint32_t full_height, std::string&) {
                             apply_per_line(static_cast<float*>(band.data), part_of(band, top, full_height), id, *l);
                             return true;
                         },
                         {}});
    } else if (std::holds_alternative<FixBadPixelsListOp>(op.body)) {
        if (skipped(context, "bad-pixels")) return true;
        steps.push_back({"FixBadPixelsList", whole, {}, {}});
    } else if (std::holds_alternative<TrimBoundsOp>(op.body)) {
        steps.push_back({"TrimBounds", whole, {}, {}});
    } else {
        return refuse_opcode(op, context, error);
    }
    return true;
}

}  // namespace

std::string status_text(LumraStatus status) {
    switch (status) {
        case LUMRA_ERR_INVALID_ARGUMENT: return "invalid argument";
        case LUMRA_ERR_UNSUPPORTED: return "unsupported";
        case LUMRA_ERR_DIMENSION_MISMATCH: return "dimension mismatch";
        case LUMRA_ERR_REGION: return "part outside the image or source window too small";
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

bool plan_float_opcodes(const std::vector<Opcode>& list, OpcodeContext& context, std::vector<FloatStep>& steps,
                        uint32_t channels, std::string& error) {
    for (const Opcode& op : list) {
        if (const auto* g = std::get_if<GainMapOp>(&op.body)) {
            if (skipped(context, "gain-map")) continue;
            steps.push_back({"GainMap", [g](FloatImage& image, std::string& e) { return run_gain_map(*g, image, e); },
                             [g](LumraImage& band, uint32_t top, uint32_t full_height, std::string& e) {
                                 return run_gain_map_band(*g, band, top, full_height, e);
                             },
                             {}});
        } else if (const auto* m = std::get_if<MapPolynomialOp>(&op.body)) {
            if (skipped(context, "polynomial")) continue;
            steps.push_back({"MapPolynomial",
                             [m](FloatImage& image, std::string& e) {
                                 LumraImage view = image.view();
                                 return run_polynomial(*m, view, nullptr, e);
                             },
                             [m](LumraImage& band, uint32_t top, uint32_t full_height, std::string& e) {
                                 const LumraRegion region = band_region(top, full_height, band.width);
                                 return run_polynomial(*m, band, &region, e);
                             },
                             {}});
        } else if (const auto* w = std::get_if<WarpRectilinearOp>(&op.body); w && channels == 3) {
            if (skipped(context, "warp")) continue;
            steps.push_back({"WarpRectilinear",
                             [w](FloatImage& image, std::string& e) { return run_warp(*w, image, e); },
                             {},
                             [w](const FloatImage& source, LumraImage& band, uint32_t top, std::string& e) {
                                 return run_warp_band(*w, source, band, top, e);
                             }});
        } else if (const auto* v = std::get_if<FixVignetteRadialOp>(&op.body); v && channels == 3) {
            if (skipped(context, "vignette")) continue;
            steps.push_back({"FixVignetteRadial",
                             [v](FloatImage& image, std::string& e) {
                                 LumraImage view = image.view();
                                 return check(lumra_fix_vignette(&view, v->k, 5, v->center_x, v->center_y),
                                              "FixVignetteRadial", e);
                             },
                             [v](LumraImage& band, uint32_t top, uint32_t full_height, std::string& e) {
                                 const LumraRegion region = band_region(top, full_height, band.width);
                                 return check(lumra_fix_vignette_region(&band, &region, v->k, 5, v->center_x,
                                                                        v->center_y),
                                              "FixVignetteRadial", e);
                             },
                             {}});
        } else if (!plan_value_opcode(op, context, steps, error)) {
            return false;
        }
    }
    return true;
}

bool run_float_opcodes(const std::vector<Opcode>& list, FloatImage& image, OpcodeContext& context,
                       std::string& error) {
    std::vector<FloatStep> steps;
    if (!plan_float_opcodes(list, context, steps, image.channels, error)) return false;
    for (const FloatStep& step : steps)
        if (!step.whole(image, error)) return false;
    return true;
}

}  // namespace lumra_tools
