#pragma once

#include "develop/planes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lumra_tools {

// A ProfileGainTableMap tag (big-endian; the trailing Gamma field is
// optional), applied to a linear ProPhoto image whose baseline exposure has
// already been applied.
struct GainTableMap {
    uint32_t points_v = 0, points_h = 0, points_n = 0;
    double spacing_v = 0, spacing_h = 0, origin_v = 0, origin_h = 0;
    float weights[5] = {};
    std::vector<float> gains;
    float gamma = 1.0f;

    bool parse(const std::vector<uint8_t>& bytes, std::string& error);
    // On rows [top, top + band.height) of an image of full_height rows.
    bool apply(LumraImage& band, uint32_t top, uint32_t full_height, std::string& error) const;
};

// Parses the tag and applies it to the whole image.
bool apply_gain_table_map(const std::vector<uint8_t>& bytes, FloatImage& image, std::string& error);

}  // namespace lumra_tools
