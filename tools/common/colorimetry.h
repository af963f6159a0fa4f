// Colorimetry shared by the developer, the sample generator and the tests:
// standard primaries, Bradford adaptation, correlated colour temperature,
// the sRGB curve and CIELAB.
#pragma once

#include "common/matrix3.h"

namespace lumra_tools {

struct Chromaticity {
    double x, y;
};

inline constexpr Chromaticity kD50{0.3457, 0.3585};
inline constexpr Chromaticity kD65{0.3127, 0.3290};

Vec3 xy_to_xyz(Chromaticity c);  // Y = 1
Chromaticity xyz_to_xy(const Vec3& xyz);

// Linear ProPhoto RGB (D50) and linear sRGB (D65) to and from XYZ.
Mat3 prophoto_to_xyz();
Mat3 xyz_to_prophoto();
Mat3 srgb_to_xyz();
Mat3 xyz_to_srgb();

// Bradford adaptation of XYZ from one white to another.
Mat3 bradford(Chromaticity from, Chromaticity to);

// Correlated colour temperature in kelvin (McCamy's cubic, good to a few
// kelvin between 2800 K and 10000 K), limited to 1000..50000 K.
double correlated_temperature(Chromaticity c);

// Temperature of an EXIF LightSource / CalibrationIlluminant code; 0 if unknown.
double illuminant_temperature(int code);

// Hue in sextants (0..6), saturation and value to RGB.
Vec3 hsv_to_rgb(double hue, double saturation, double value);

double srgb_encode(double linear);
double srgb_decode(double encoded);

struct Lab {
    double L, a, b;
};
Lab xyz_to_lab(const Vec3& xyz, const Vec3& white);
// 8-bit-style sRGB components in 0..1 (encoded) to CIELAB under D65.
Lab srgb_to_lab(const Vec3& encoded);
double delta_e_2000(const Lab& reference, const Lab& sample);

}  // namespace lumra_tools
