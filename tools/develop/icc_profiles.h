// ICC profiles of the output colour spaces, built with LittleCMS from each
// space's primaries, white and curve, for embedding in the written files.
#pragma once

#include "develop/pipeline.h"

#include <cstdint>
#include <vector>

namespace lumra_tools {

// The serialised profile (built once per space, then shared; thread-safe).
// Empty only if LittleCMS could not build it.
const std::vector<uint8_t>& icc_profile(OutputSpace space);

}  // namespace lumra_tools
