// A plain reading of the edge-directed demosaic, pixel by pixel, for
// differential tests: every quantity is a function of a position of the
// mirrored whole image, written out as the design page defines it.
#pragma once

#include <cstdint>
#include <vector>

namespace lumra_test {

// Three floats per pixel of a height x width mosaic with a Bayer pattern.
std::vector<float> adaptive_demosaic_reference(const std::vector<float>& src, int64_t height, int64_t width,
                                               const int32_t pattern[4]);

}  // namespace lumra_test
