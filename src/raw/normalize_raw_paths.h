// The reciprocal paths of raw normalisation, shared between the dispatcher and
// their own file.
#pragma once

#include <cstdint>

namespace lumra {

struct TileLayout {
    int32_t height, width, samples;
    int32_t top, left;  // whole-image row and column of the first element
    const float* black_levels;
    int32_t repeat_rows, repeat_cols;
    const float* white_levels;
    int32_t white_count;
};

// Runs the reciprocal path for one sample with a 2 x 2 or 1 x 1 tile, or three
// samples with a 1 x 1 tile, when no delta and no linearisation table is in
// force. Returns false, without writing, for any other layout and for spans
// whose reciprocal is not a normal float (the general path then runs).
bool normalize_tile_reciprocal(const void* src, int32_t src_dtype, float* dst, const TileLayout& tile) noexcept;

}  // namespace lumra
