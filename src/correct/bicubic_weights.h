// The table of 4 x 4 cubic resampling weights at 1/32-pixel steps.
#pragma once

namespace lumra {

constexpr int kBicubicSteps = 32;   // fraction indices per direction
constexpr int kBicubicTaps = 16;    // weights per entry: four rows of four

// Entry (a, b), at (a * 32 + b) * 16, holds the weights for vertical fraction
// a / 32 and horizontal fraction b / 32: row t (offsets -1, 0, +1, +2 from the
// sample's integer row) then column u (offsets -1 .. +2). Built by the first
// call and kept for the life of the process; concurrent first calls wait for
// the one build and never see a partial table.
const float* bicubic_weight_table() noexcept;

}  // namespace lumra
