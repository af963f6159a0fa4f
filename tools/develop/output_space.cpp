#include "develop/output_space.h"

#include <cmath>

namespace lumra_tools {
namespace {

constexpr RgbSpace kSpaces[] = {
    {"srgb", "sRGB IEC61966-2.1 (lumra)", {0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}, kD65, true},
    {"prophoto", "ProPhoto RGB (ROMM, lumra)", {0.7347, 0.2653}, {0.1596, 0.8404}, {0.0366, 0.0001}, kD50, false},
    {"display-p3", "Display P3 (lumra)", {0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, kD65, true},
};

}  // namespace

const RgbSpace& rgb_space(OutputSpace space) {
    switch (space) {
        case OutputSpace::prophoto: return kSpaces[1];
        case OutputSpace::display_p3: return kSpaces[2];
        default: return kSpaces[0];
    }
}

bool parse_output_space(const std::string& name, OutputSpace& space) {
    for (OutputSpace s : {OutputSpace::srgb, OutputSpace::display_p3, OutputSpace::prophoto})
        if (name == rgb_space(s).name) {
            space = s;
            return true;
        }
    return false;
}

std::string output_space_names() { return "srgb|display-p3|prophoto"; }

Mat3 rgb_to_xyz(const RgbSpace& s) {
    // Columns are the primaries' XYZ, each scaled so that RGB (1, 1, 1) is the white.
    const Vec3 r = xy_to_xyz(s.red), g = xy_to_xyz(s.green), b = xy_to_xyz(s.blue);
    const Mat3 p{r[0], g[0], b[0], r[1], g[1], b[1], r[2], g[2], b[2]};
    const Vec3 k = multiply(inverse_of(p), xy_to_xyz(s.white));
    return multiply(p, diagonal3(k));
}

Mat3 prophoto_to_output(OutputSpace space) {
    if (space == OutputSpace::prophoto) return identity3();
    const RgbSpace& s = rgb_space(space);
    return multiply(inverse_of(rgb_to_xyz(s)), multiply(bradford(kD50, s.white), prophoto_to_xyz()));
}

std::vector<float> output_encode_table(OutputSpace space, size_t size) {
    const bool srgb = rgb_space(space).srgb_curve;
    std::vector<float> table(size);
    for (size_t i = 0; i < size; ++i) {
        const double v = double(i) / double(size - 1);
        table[i] = float(srgb ? srgb_encode(v) : v < 1.0 / 512.0 ? 16.0 * v : std::pow(v, 1.0 / 1.8));
    }
    return table;
}

}  // namespace lumra_tools
