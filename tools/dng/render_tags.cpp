#include "dng/render_tags.h"

#include "dng/tiff_fields.h"

#include <cmath>

namespace lumra_tools {
namespace {

constexpr uint32_t kOrientation = 274;
constexpr uint32_t kDefaultScale = 50718, kDefaultCropOrigin = 50719, kDefaultCropSize = 50720;
constexpr uint32_t kCameraCalibration1 = 50723, kCameraCalibration2 = 50724, kAnalogBalance = 50727;
using dng_tag::kCameraCalibrationSignature, dng_tag::kDefaultUserCrop;

bool all_finite(const std::vector<double>& v) {
    for (double x : v)
        if (!std::isfinite(x)) return false;
    return true;
}

bool matrix(TagSource& source, uint32_t tag, const char* name, std::vector<double>& out, std::string& error) {
    std::vector<double> v;
    if (!source.numbers(tag, v)) return true;
    if (v.size() != 9 || !all_finite(v)) {
        error = std::string(name) + " is not a 3 x 3 matrix of finite values";
        return false;
    }
    out = v;
    return true;
}

}  // namespace

std::string tag_text(TagSource& source, uint32_t tag) {
    std::vector<uint8_t> bytes;
    if (!source.bytes(tag, bytes)) return {};
    std::string text;
    for (uint8_t b : bytes) {
        if (b == 0) break;
        text.push_back(char(b));
    }
    return text;
}

bool read_camera_tags(TagSource& source, DngFile& dng, std::string& error) {
    std::vector<double> v;
    if (source.numbers(kAnalogBalance, v)) {
        if (v.size() != 3 || !all_finite(v) || !(v[0] > 0 && v[1] > 0 && v[2] > 0)) {
            error = "has an AnalogBalance that is not three positive values";
            return false;
        }
        dng.analog_balance = v;
    }
    if (!matrix(source, kCameraCalibration1, "CameraCalibration1", dng.camera_calibration1, error) ||
        !matrix(source, kCameraCalibration2, "CameraCalibration2", dng.camera_calibration2, error))
        return false;
    dng.camera_calibration_signature = tag_text(source, kCameraCalibrationSignature);
    // An orientation outside 1..8 is treated as unknown, which TIFF reads as 1.
    if (source.numbers(kOrientation, v) && !v.empty() && v[0] >= 1 && v[0] <= 8) dng.orientation = uint32_t(v[0]);
    return true;
}

bool read_crop_tags(TagSource& source, DngFile& dng, std::string& error) {
    const double width = dng.active_area[2] ? dng.active_area[3] - dng.active_area[1] : dng.width;
    const double height = dng.active_area[2] ? dng.active_area[2] - dng.active_area[0] : dng.height;
    std::vector<double> v;
    if (source.numbers(kDefaultScale, v)) {
        if (v.size() != 2 || !all_finite(v) || !(v[0] > 0 && v[1] > 0)) {
            error = "has a DefaultScale that is not two positive values";
            return false;
        }
        dng.default_scale[0] = v[0];
        dng.default_scale[1] = v[1];
    }
    std::vector<double> origin{0, 0}, size{width, height};
    const bool has_origin = source.numbers(kDefaultCropOrigin, v);
    if (has_origin) origin = v;
    const bool has_size = source.numbers(kDefaultCropSize, v);
    if (has_size) size = v;
    if (has_origin || has_size) {
        if (origin.size() != 2 || size.size() != 2 || !all_finite(origin) || !all_finite(size) || origin[0] < 0 ||
            origin[1] < 0 || !(size[0] >= 1 && size[1] >= 1) || origin[0] + size[0] > width + 0.5 ||
            origin[1] + size[1] > height + 0.5) {
            error = "has a default crop outside its active area of " + std::to_string(uint32_t(width)) + " x " +
                    std::to_string(uint32_t(height));
            return false;
        }
        dng.default_crop_origin[0] = origin[0];
        dng.default_crop_origin[1] = origin[1];
        dng.default_crop_size[0] = size[0];
        dng.default_crop_size[1] = size[1];
    }
    if (source.numbers(kDefaultUserCrop, v)) {
        if (v.size() != 4 || !all_finite(v) || !(v[0] >= 0 && v[1] >= 0 && v[2] <= 1 && v[3] <= 1 && v[0] < v[2] &&
                                                 v[1] < v[3])) {
            error = "has a DefaultUserCrop that is not a rectangle within 0..1";
            return false;
        }
        for (int i = 0; i < 4; ++i) dng.default_user_crop[i] = v[i];
    }
    return true;
}

}  // namespace lumra_tools
