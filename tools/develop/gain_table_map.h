#pragma once

#include "develop/planes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lumra_tools {

// Parses a ProfileGainTableMap tag (big-endian; the trailing Gamma field is
// optional) and applies it to a linear ProPhoto image whose baseline
// exposure has already been applied.
bool apply_gain_table_map(const std::vector<uint8_t>& bytes, FloatImage& image, std::string& error);

}  // namespace lumra_tools
