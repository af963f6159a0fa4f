#include "develop/pipeline.h"

#include "develop/color_setup.h"
#include "develop/gain_table_map.h"
#include "develop/geometry.h"
#include "develop/hue_sat_encoded.h"
#include "develop/output_space.h"
#include "develop/planes.h"
#include "develop/raw_opcodes.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>

namespace lumra_tools {
namespace {

using Clock = std::chrono::steady_clock;

class StageClock {
public:
    explicit StageClock(DevelopReport& report) : report_(report), start_(Clock::now()) {}
    void lap(const char* name) {
        const auto now = Clock::now();
        report_.stages.push_back({name, std::chrono::duration<double>(now - start_).count()});
        start_ = now;
    }

private:
    DevelopReport& report_;
    Clock::time_point start_;
};

bool check(LumraStatus status, const char* what, std::string& error) {
    if (status == LUMRA_OK) return true;
    error = std::string(what) + " failed: " + status_text(status);
    return false;
}

bool parse_list(const std::vector<uint8_t>& bytes, const char* name, std::vector<Opcode>& list, std::string& error) {
    if (bytes.empty()) return true;
    std::string reason;
    if (parse_opcode_list(bytes, list, reason)) return true;
    error = "has a malformed " + std::string(name) + ": " + reason;
    return false;
}

// OpcodeList1 acts on the stored 16-bit values; only the constant bad-pixel
// repair is known there.
bool fix_bad_pixels(const std::vector<Opcode>& list, DngFile& dng, const DevelopOptions& options,
                    DevelopReport& report, std::string& error) {
    OpcodeContext context{options, report, "OpcodeList1", &dng};
    for (const Opcode& op : list) {
        const auto* fix = std::get_if<FixBadPixelsConstantOp>(&op.body);
        if (!dng.raw_float.empty()) {  // the list's opcodes act on stored integers
            if (!refuse_opcode(op, context, error)) return false;
            continue;
        }
        if (!fix || dng.samples != 1) {
            if (!run_raw_opcode(op, dng, context, error)) return false;
            continue;
        }
        if (options.skip.count("bad-pixels") || fix->constant > 65535) continue;
        LumraImage view{dng.raw.data(), dng.height, dng.width, 1, LUMRA_DTYPE_UINT16, 0};
        // lumra numbers the phases with green on even sites; DNG's with red at
        // the top-left, so the two differ in the lowest bit.
        if (!check(lumra_fix_bad_pixels_constant(&view, &view, uint16_t(fix->constant),
                                                 int32_t((fix->bayer_phase & 3u) ^ 1u)),
                   "FixBadPixelsConstant", error))
            return false;
    }
    return true;
}

void crop_to_active_area(DngFile& dng) {
    if (dng.active_area[2] == 0) return;
    const uint32_t top = dng.active_area[0], left = dng.active_area[1];
    const uint32_t height = dng.active_area[2] - top, width = dng.active_area[3] - left;
    if (height == dng.height && width == dng.width) return;
    auto crop = [&](auto& raw) {
        std::remove_reference_t<decltype(raw)> cropped(size_t(height) * width * dng.samples);
        for (uint32_t r = 0; r < height; ++r)
            std::copy_n(&raw[(size_t(top + r) * dng.width + left) * dng.samples], size_t(width) * dng.samples,
                        &cropped[size_t(r) * width * dng.samples]);
        raw.swap(cropped);
    };
    // The CFA tile is anchored at the active area's corner as well.
    if (dng.raw_float.empty())
        crop(dng.raw);
    else
        crop(dng.raw_float);
    dng.width = width;
    dng.height = height;
}

bool normalize(const DngFile& dng, FloatImage& out, std::string& error) {
    out = FloatImage(dng.height, dng.width, dng.samples);
    LumraImage src{const_cast<uint16_t*>(dng.raw.data()), dng.height, dng.width, dng.samples, LUMRA_DTYPE_UINT16, 0};
    if (!dng.raw_float.empty()) {
        src.data = const_cast<float*>(dng.raw_float.data());
        src.dtype = LUMRA_DTYPE_FLOAT32;
    }
    LumraImage dst = out.view();
    return check(lumra_normalize_raw(&src, &dst, dng.black_levels.data(), int32_t(dng.black_repeat_rows),
                                     int32_t(dng.black_repeat_cols), int32_t(dng.samples), dng.white_levels.data(),
                                     int32_t(dng.white_levels.size()),
                                     dng.black_delta_h.empty() ? nullptr : dng.black_delta_h.data(),
                                     int32_t(dng.black_delta_h.size()),
                                     dng.black_delta_v.empty() ? nullptr : dng.black_delta_v.data(),
                                     int32_t(dng.black_delta_v.size()),
                                     dng.linearization.empty() ? nullptr : dng.linearization.data(),
                                     int32_t(dng.linearization.size())),
                 "normalisation", error);
}

bool demosaic(const DngFile& dng, const DevelopOptions& options, FloatImage& image, DevelopReport& report,
              std::string& error) {
    FloatImage rgb(image.height, image.width, 3);
    LumraImage src = image.view(), dst = rgb.view();
    const int32_t pattern[4] = {dng.cfa[0], dng.cfa[1], dng.cfa[2], dng.cfa[3]};
    LumraStatus status = LUMRA_ERR_UNSUPPORTED;
    if (options.demosaic == DemosaicMethod::adaptive) {
        status = lumra_adaptive_demosaic(&src, &dst, pattern);
        // The edge-directed method needs a Bayer layout; other 2x2 layouts
        // still develop, bilinearly.
        if (status == LUMRA_ERR_UNSUPPORTED)
            report.warnings.push_back("the CFA layout is not a Bayer arrangement; demosaicing bilinearly");
    }
    if (status == LUMRA_ERR_UNSUPPORTED) status = lumra_bilinear_demosaic(&src, &dst, pattern);
    if (!check(status, "demosaic", error)) return false;
    image = std::move(rgb);
    return true;
}

bool hue_sat(FloatImage& image, const std::vector<float>& table, const std::vector<uint32_t>& dims, uint32_t encoding,
             const char* name, DevelopReport& report, std::string& error) {
    if (encoding > 1 && dims[2] > 1)
        report.warnings.push_back(std::string(name) + " uses an unknown value encoding; applying it linearly");
    if (encoding == 1 && dims[2] > 1) {  // value axis indexed in sRGB-encoded values
        apply_hue_sat_map_encoded(image.data.get(), size_t(image.height) * image.width, table.data(), int(dims[0]),
                                  int(dims[1]), int(dims[2]), true);
        return true;
    }
    LumraImage view = image.view();
    return check(lumra_apply_hue_sat_map(&view, table.data(), int32_t(dims[0]), int32_t(dims[1]), int32_t(dims[2])),
                 name, error);
}

bool encode_output(FloatImage& image, const ColorProfile& profile, const DevelopOptions& options,
                   DevelopedImage& out, std::string& error) {
    const bool tone = !profile.tone_curve.empty() && !options.skip.count("tone-curve");
    const std::vector<float> curve = tone ? tone_curve_table(profile.tone_curve) : identity_table();
    const std::vector<float> encode = output_encode_table(options.space);
    const Mat3 m = prophoto_to_output(options.space);
    float matrix[9];
    for (int i = 0; i < 9; ++i) matrix[i] = float(m[i]);
    out.width = image.width;
    out.height = image.height;
    out.bits = options.bits;
    out.space = options.space;
    LumraImage src = image.view();
    LumraImage dst{nullptr, image.height, image.width, 3, LUMRA_DTYPE_UINT8, 0};
    if (options.bits == 16) {
        out.rgb16.assign(image.size(), 0);
        dst.data = out.rgb16.data();
        dst.dtype = LUMRA_DTYPE_UINT16;
    } else {
        out.rgb8.assign(image.size(), 0);
        dst.data = out.rgb8.data();
    }
    return check(lumra_transform_color(&src, &dst, curve.data(), curve.size(), matrix, encode.data(), encode.size(),
                                       0, 0, true),
                 "output encoding", error);
}

bool develop_steps(DngFile& dng, const ColorProfile& profile, const DevelopOptions& options, DevelopedImage& out,
                   DevelopReport& report, std::string& error) {
    StageClock clock(report);
    std::vector<Opcode> list1, list2, list3;
    ColorSetup color;
    if (!parse_list(dng.opcode_list1, "OpcodeList1", list1, error) ||
        !parse_list(dng.opcode_list2, "OpcodeList2", list2, error) ||
        !parse_list(dng.opcode_list3, "OpcodeList3", list3, error) || !setup_color(dng, profile, color, error))
        return false;
    clock.lap("set-up");
    if (!fix_bad_pixels(list1, dng, options, report, error)) return false;
    clock.lap("opcode list 1 (bad pixels)");
    crop_to_active_area(dng);
    FloatImage image;
    if (!normalize(dng, image, error)) return false;
    clock.lap("linearisation, black and white levels");
    OpcodeContext context2{options, report, "OpcodeList2", &dng};
    if (!run_float_opcodes(list2, image, context2, error)) return false;
    clock.lap("opcode list 2 (gain maps, polynomials)");
    if (dng.samples == 1) {
        if (!demosaic(dng, options, image, report, error)) return false;
        clock.lap("demosaic");
    }
    OpcodeContext context3{options, report, "OpcodeList3", &dng};
    if (!run_float_opcodes(list3, image, context3, error)) return false;
    clock.lap("opcode list 3 (warp, vignette, gain maps)");
    FloatImage pcs(image.height, image.width, 3);
    {
        const float clip[3] = {float(color.neutral[0]), float(color.neutral[1]), float(color.neutral[2])};
        float matrix[9];
        for (int i = 0; i < 9; ++i) matrix[i] = float(color.camera_to_prophoto[i]);
        LumraImage src = image.view(), dst = pcs.view();
        if (!check(lumra_clip_and_transform_color(&src, &dst, clip, matrix), "camera to ProPhoto", error))
            return false;
        image = std::move(pcs);
    }
    clock.lap("white balance and camera matrix");
    if (!color.hue_sat.empty() && !options.skip.count("hue-sat-map")) {
        if (!hue_sat(image, color.hue_sat, profile.hue_sat_dims, profile.hue_sat_encoding, "ProfileHueSatMap", report,
                     error))
            return false;
        clock.lap("profile hue/saturation map");
    }
    if (color.exposure_ev != 0.0 && !options.skip.count("exposure")) {
        LumraImage view = image.view();
        if (!check(lumra_apply_exposure_ramp(&view, &view, std::exp2(-color.exposure_ev), 0.0, 0.0, false),
                   "exposure ramp", error))
            return false;
        clock.lap("baseline exposure");
    }
    if (!profile.gain_table_map.empty() && !options.skip.count("gain-table-map")) {
        if (!apply_gain_table_map(profile.gain_table_map, image, error)) return false;
        clock.lap("profile gain table map");
    }
    if (!profile.look_data.empty() && !options.skip.count("look-table")) {
        if (!hue_sat(image, profile.look_data, profile.look_dims, profile.look_encoding, "ProfileLookTable", report,
                     error))
            return false;
        clock.lap("profile look table");
    }
    if (!encode_output(image, profile, options, out, error)) return false;
    apply_output_geometry(dng, out, report.warnings);
    clock.lap("tone curve and output encoding");
    return true;
}

}  // namespace

const std::vector<std::pair<std::string, std::string>>& skippable_stages() {
    static const std::vector<std::pair<std::string, std::string>> stages = {
        {"bad-pixels", "FixBadPixelsConstant and FixBadPixelsList repair"},
        {"map-table", "MapTable (any opcode list)"},
        {"deltas", "DeltaPerRow/Column and ScalePerRow/Column (any opcode list)"},
        {"gain-map", "GainMap lens shading (OpcodeList2 and 3)"},
        {"polynomial", "MapPolynomial (OpcodeList2 and 3)"},
        {"warp", "WarpRectilinear distortion correction (OpcodeList3)"},
        {"vignette", "FixVignetteRadial (OpcodeList3)"},
        {"hue-sat-map", "ProfileHueSatMap"},
        {"exposure", "BaselineExposure"},
        {"gain-table-map", "ProfileGainTableMap"},
        {"look-table", "ProfileLookTable"},
        {"tone-curve", "ProfileToneCurve"},
    };
    return stages;
}

bool develop(const DngFile& input, const ColorProfile& profile, const DevelopOptions& options, DevelopedImage& out,
             DevelopReport& report, std::string& error) {
    try {
        DngFile dng = input;
        return develop_steps(dng, profile, options, out, report, error);
    } catch (const std::bad_alloc&) {
        error = "is too large to develop in the available memory";
        return false;
    }
}

}  // namespace lumra_tools
