#include "dng/profile_tags.h"

#include "dng/render_tags.h"
#include "dng/tiff_fields.h"

#include <cmath>

namespace lumra_tools {
namespace {

constexpr uint32_t kColorMatrix1 = 50721, kColorMatrix2 = 50722;
constexpr uint32_t kIlluminant1 = 50778, kIlluminant2 = 50779;

bool matrix_tag(TagSource& source, uint32_t tag, const char* name, std::vector<double>& out, std::string& error) {
    std::vector<double> v;
    if (!source.numbers(tag, v)) return true;
    if (v.size() != 9) {
        error = std::string(name) + " holds " + std::to_string(v.size()) + " values, not 9";
        return false;
    }
    for (double x : v)
        if (!std::isfinite(x)) {
            error = std::string(name) + " holds a value that is not finite";
            return false;
        }
    out = v;
    return true;
}

bool dims_tag(TagSource& source, uint32_t tag, const char* name, std::vector<uint32_t>& out, std::string& error) {
    std::vector<double> v;
    if (!source.numbers(tag, v)) return true;
    if (v.size() != 3 || v[0] < 1 || v[1] < 2 || v[2] < 0 || v[0] > 360 || v[1] > 256 || v[2] > 256) {
        error = std::string(name) + " has impossible divisions";
        return false;
    }
    out = {uint32_t(v[0]), uint32_t(v[1]), uint32_t(v[2])};
    return true;
}

bool table_tag(TagSource& source, uint32_t tag, const char* name, const std::vector<uint32_t>& dims,
               std::vector<float>& out, std::string& error) {
    std::vector<double> v;
    if (!source.numbers(tag, v)) return true;
    if (dims.empty()) {
        error = std::string(name) + " is present without its dimensions";
        return false;
    }
    const uint64_t expected = uint64_t(dims[0]) * dims[1] * (dims[2] ? dims[2] : 1) * 3;
    if (v.size() != expected) {
        error = std::string(name) + " holds " + std::to_string(v.size()) + " values, its dimensions need " +
                std::to_string(expected);
        return false;
    }
    out.assign(v.begin(), v.end());
    return true;
}

uint32_t scalar_or(TagSource& source, uint32_t tag, uint32_t fallback) {
    std::vector<double> v;
    if (!source.numbers(tag, v) || v.empty()) return fallback;
    return uint32_t(v[0]);
}

}  // namespace

bool read_profile_tags(TagSource& source, ColorProfile& p, std::string& error) {
    p.illuminant1 = int(scalar_or(source, kIlluminant1, 0));
    p.illuminant2 = int(scalar_or(source, kIlluminant2, 0));
    if (!matrix_tag(source, kColorMatrix1, "ColorMatrix1", p.color_matrix1, error) ||
        !matrix_tag(source, kColorMatrix2, "ColorMatrix2", p.color_matrix2, error) ||
        !matrix_tag(source, dng_tag::kForwardMatrix1, "ForwardMatrix1", p.forward_matrix1, error) ||
        !matrix_tag(source, dng_tag::kForwardMatrix2, "ForwardMatrix2", p.forward_matrix2, error) ||
        !dims_tag(source, dng_tag::kHueSatMapDims, "ProfileHueSatMapDims", p.hue_sat_dims, error) ||
        !table_tag(source, dng_tag::kHueSatMapData1, "ProfileHueSatMapData1", p.hue_sat_dims, p.hue_sat_data1,
                   error) ||
        !table_tag(source, dng_tag::kHueSatMapData2, "ProfileHueSatMapData2", p.hue_sat_dims, p.hue_sat_data2,
                   error) ||
        !dims_tag(source, dng_tag::kLookTableDims, "ProfileLookTableDims", p.look_dims, error) ||
        !table_tag(source, dng_tag::kLookTableData, "ProfileLookTableData", p.look_dims, p.look_data, error))
        return false;
    p.hue_sat_encoding = scalar_or(source, dng_tag::kHueSatMapEncoding, 0);
    p.look_encoding = scalar_or(source, dng_tag::kLookTableEncoding, 0);
    std::vector<double> v;
    if (source.numbers(dng_tag::kToneCurve, v)) {
        if (v.size() < 4 || v.size() % 2 != 0 || v.size() > 2 * 8192) {
            error = "ProfileToneCurve holds " + std::to_string(v.size()) + " values, not a list of 2 or more points";
            return false;
        }
        for (size_t i = 0; i < v.size(); ++i)
            if (!(v[i] >= 0.0 && v[i] <= 1.0) || (i % 2 == 0 && i >= 2 && v[i] <= v[i - 2])) {
                error = "ProfileToneCurve points are not increasing values in 0..1";
                return false;
            }
        p.tone_curve.assign(v.begin(), v.end());
    }
    if (source.numbers(dng_tag::kBaselineExposureOffset, v) && !v.empty() && std::isfinite(v[0]))
        p.baseline_exposure_offset = v[0];
    source.bytes(dng_tag::kGainTableMap, p.gain_table_map);
    p.calibration_signature = tag_text(source, dng_tag::kProfileCalibrationSignature);
    return true;
}

}  // namespace lumra_tools
