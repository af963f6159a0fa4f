// The invented camera that photographs the sample scene: its colour matrices
// and profile, 14-bit values over a 2 x 2 black tile with row and column
// deltas, lens shading (GainMap opcodes), radial fall-off (FixVignetteRadial),
// dead pixels (FixBadPixelsConstant) and photon and read noise.
#pragma once

#include "dng/dng_file.h"

#include <cstdint>

namespace lumra_tools {

// Renders the scene at width x height (3:2 keeps the chart square) into a DNG.
DngFile make_sample_dng(uint32_t width, uint32_t height, uint64_t seed = 20260101);

}  // namespace lumra_tools
