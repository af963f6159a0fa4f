// The colour spaces a development can be written in: their primaries, white,
// transfer curve and the matrix from the working space (linear ProPhoto RGB).
#pragma once

#include "common/colorimetry.h"
#include "develop/pipeline.h"

#include <string>
#include <vector>

namespace lumra_tools {

struct RgbSpace {
    const char* name;         // as given to --space
    const char* description;  // the ICC profile's description
    Chromaticity red, green, blue, white;
    bool srgb_curve;  // the sRGB curve; otherwise the ROMM (ProPhoto) curve, gamma 1.8 with a linear toe
};

const RgbSpace& rgb_space(OutputSpace space);
// False when name is none of the spaces' names.
bool parse_output_space(const std::string& name, OutputSpace& space);
// "srgb|display-p3|prophoto", for messages and help.
std::string output_space_names();

// Linear RGB of the space to XYZ (relative to its own white, Y of white 1).
Mat3 rgb_to_xyz(const RgbSpace& space);
// Linear ProPhoto RGB (D50) to the space's linear RGB, Bradford-adapted to its white.
Mat3 prophoto_to_output(OutputSpace space);
// The space's transfer curve sampled at size points over 0..1.
std::vector<float> output_encode_table(OutputSpace space, size_t size = 16384);

}  // namespace lumra_tools
