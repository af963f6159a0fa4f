#include "develop/color_setup.h"

#include "develop/tone_spline.h"

#include <algorithm>
#include <cmath>

namespace lumra_tools {
namespace {

Mat3 to_mat3(const std::vector<double>& v) {
    Mat3 m{};
    std::copy_n(v.begin(), 9, m.begin());
    return m;
}

// Weight of illuminant 1 for a scene white: linear in inverse temperature
// between the two calibration illuminants, held at the ends.
double illuminant_weight(const ColorProfile& p, Chromaticity white) {
    if (p.color_matrix2.empty()) return 1.0;
    const double t1 = illuminant_temperature(p.illuminant1), t2 = illuminant_temperature(p.illuminant2);
    if (t1 <= 0.0 || t2 <= 0.0 || t1 == t2) return 1.0;
    const double t = correlated_temperature(white);
    const double w = (1.0 / t - 1.0 / t2) / (1.0 / t1 - 1.0 / t2);
    return std::clamp(w, 0.0, 1.0);
}

Mat3 color_matrix(const ColorProfile& p, double w) {
    const Mat3 m1 = to_mat3(p.color_matrix1);
    return p.color_matrix2.empty() ? m1 : blend(m1, to_mat3(p.color_matrix2), w);
}

// AnalogBalance times the interpolated CameraCalibration: the camera unit's
// departure from the model the colour matrices describe. The calibration
// belongs to the profile it was measured for, so it is used only when the
// profile's calibration signature equals the camera's (both absent counts as
// equal); a missing matrix of the pair counts as the identity.
Mat3 unit_calibration(const DngFile& dng, const ColorProfile& p, double w) {
    Mat3 cc = identity3();
    if (dng.camera_calibration_signature == p.calibration_signature &&
        (!dng.camera_calibration1.empty() || !dng.camera_calibration2.empty())) {
        const Mat3 c1 = dng.camera_calibration1.empty() ? identity3() : to_mat3(dng.camera_calibration1);
        const Mat3 c2 = dng.camera_calibration2.empty() ? identity3() : to_mat3(dng.camera_calibration2);
        cc = p.color_matrix2.empty() ? c1 : blend(c1, c2, w);
    }
    const Vec3 ab = dng.analog_balance.size() == 3 ? Vec3{dng.analog_balance[0], dng.analog_balance[1],
                                                          dng.analog_balance[2]}
                                                    : Vec3{1.0, 1.0, 1.0};
    return multiply(diagonal3(ab), cc);
}

// XYZ to camera values for the white's illuminant weight w.
Mat3 xyz_to_camera(const DngFile& dng, const ColorProfile& p, double w) {
    return multiply(unit_calibration(dng, p, w), color_matrix(p, w));
}

}  // namespace

bool setup_color(const DngFile& dng, const ColorProfile& p, ColorSetup& s, std::string& error) {
    if (p.color_matrix1.empty()) {
        error = "has no ColorMatrix1, so its colours cannot be interpreted";
        return false;
    }
    Mat3 xyz_from_camera{};
    if (!dng.as_shot_white_xy.empty()) {
        s.white = {dng.as_shot_white_xy[0], dng.as_shot_white_xy[1]};
    } else if (!dng.as_shot_neutral.empty()) {
        // The white whose camera response is the neutral depends on the
        // matrix, which depends on the white: iterate to the fixed point.
        const Vec3 neutral{dng.as_shot_neutral[0], dng.as_shot_neutral[1], dng.as_shot_neutral[2]};
        Chromaticity xy = kD50;
        for (int i = 0; i < 50; ++i) {
            if (!invert(xyz_to_camera(dng, p, illuminant_weight(p, xy)), xyz_from_camera)) break;
            const Chromaticity next = xyz_to_xy(multiply(xyz_from_camera, neutral));
            const bool settled = std::fabs(next.x - xy.x) + std::fabs(next.y - xy.y) < 1e-9;
            xy = next;
            if (settled) break;
        }
        s.white = xy;
    } else {
        s.white = kD50;
    }
    s.weight1 = illuminant_weight(p, s.white);
    const Mat3 cm = xyz_to_camera(dng, p, s.weight1);
    Mat3 unit_inverse{};
    if (!invert(cm, xyz_from_camera) || !invert(unit_calibration(dng, p, s.weight1), unit_inverse)) {
        error = "has a singular ColorMatrix or CameraCalibration";
        return false;
    }
    Vec3 n = dng.as_shot_neutral.empty() ? multiply(cm, xy_to_xyz(s.white))
                                         : Vec3{dng.as_shot_neutral[0], dng.as_shot_neutral[1], dng.as_shot_neutral[2]};
    const double largest = std::max({n[0], n[1], n[2]});
    if (!(largest > 0.0)) {
        error = "has a white balance with no positive component";
        return false;
    }
    for (double& x : n) x = std::max(x / largest, 1e-6);
    s.neutral = n;
    Mat3 camera_to_pcs{};
    const bool forward = !p.forward_matrix1.empty() && (p.color_matrix2.empty() || !p.forward_matrix2.empty());
    if (forward) {
        const Mat3 fm1 = to_mat3(p.forward_matrix1);
        const Mat3 fm = p.forward_matrix2.empty() ? fm1 : blend(fm1, to_mat3(p.forward_matrix2), s.weight1);
        // The forward matrix maps the reference camera's white-balanced
        // values: undo the unit's calibration first.
        const Vec3 reference = multiply(unit_inverse, n);
        if (!(reference[0] > 0.0 && reference[1] > 0.0 && reference[2] > 0.0)) {
            error = "has a white balance that its CameraCalibration turns negative";
            return false;
        }
        camera_to_pcs =
            multiply(fm, multiply(diagonal3({1.0 / reference[0], 1.0 / reference[1], 1.0 / reference[2]}), unit_inverse));
    } else {
        camera_to_pcs = multiply(bradford(s.white, kD50), xyz_from_camera);
        const double y = multiply(camera_to_pcs, n)[1];
        if (!(y > 0.0)) {
            error = "has a ColorMatrix that maps its white to no light";
            return false;
        }
        camera_to_pcs = scaled(camera_to_pcs, 1.0 / y);
    }
    s.camera_to_prophoto = multiply(xyz_to_prophoto(), camera_to_pcs);
    if (!p.hue_sat_dims.empty() && !p.hue_sat_data1.empty()) {
        s.hue_sat = p.hue_sat_data1;
        if (p.hue_sat_data2.size() == s.hue_sat.size())
            for (size_t i = 0; i < s.hue_sat.size(); ++i)
                s.hue_sat[i] = float(s.weight1 * p.hue_sat_data1[i] + (1.0 - s.weight1) * p.hue_sat_data2[i]);
    }
    s.exposure_ev = dng.baseline_exposure + p.baseline_exposure_offset;
    return true;
}

std::vector<float> tone_curve_table(const std::vector<float>& points, size_t size) {
    std::vector<double> xs, ys;
    for (size_t i = 0; i + 1 < points.size(); i += 2) {
        xs.push_back(points[i]);
        ys.push_back(points[i + 1]);
    }
    const ToneSpline spline(std::move(xs), std::move(ys));
    std::vector<float> table(size);
    // A spline may overshoot between widely spaced points; the curve maps 0..1 to 0..1.
    for (size_t i = 0; i < size; ++i) table[i] = float(std::clamp(spline(double(i) / double(size - 1)), 0.0, 1.0));
    return table;
}

std::vector<float> identity_table() { return {0.0f, 1.0f}; }

std::vector<float> srgb_encode_table(size_t size) {
    std::vector<float> table(size);
    for (size_t i = 0; i < size; ++i) table[i] = float(srgb_encode(double(i) / double(size - 1)));
    return table;
}

std::vector<float> prophoto_encode_table(size_t size) {
    std::vector<float> table(size);
    for (size_t i = 0; i < size; ++i) {
        const double v = double(i) / double(size - 1);
        table[i] = float(v < 1.0 / 512.0 ? 16.0 * v : std::pow(v, 1.0 / 1.8));
    }
    return table;
}

Mat3 prophoto_to_srgb() { return multiply(xyz_to_srgb(), multiply(bradford(kD50, kD65), prophoto_to_xyz())); }

}  // namespace lumra_tools
