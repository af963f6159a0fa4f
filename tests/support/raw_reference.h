// Plain readings of the raw-preparation operations, written element by
// element as the operations are described, for differential tests.
#pragma once

#include <cstdint>
#include <vector>

namespace lumra_test {

struct NormalizeArgs {
    int32_t height = 1, width = 1, samples = 1;
    std::vector<float> black_levels{0.0f};
    int32_t repeat_rows = 1, repeat_cols = 1;
    std::vector<float> white_levels{1.0f};
    std::vector<float> delta_h, delta_v;  // empty: absent
    std::vector<uint16_t> table;          // empty: absent
};

// The division form; `x` is the source element as read (UINT16 or FLOAT32).
template <typename In>
std::vector<float> normalize_reference(const std::vector<In>& src, const NormalizeArgs& a);

// The reciprocal form of the delta-free, table-free layouts: (x - black) x r,
// r = 1 / span, refined by one Newton-Raphson step for samples 0 and 1 of the
// three-sample layout; a numerator at or above the span gives 1.
template <typename In>
std::vector<float> normalize_reciprocal_reference(const std::vector<In>& src, const NormalizeArgs& a);

// Three floats per pixel.
std::vector<float> demosaic_reference(const std::vector<float>& src, uint64_t height, uint64_t width,
                                      const int32_t pattern[4]);

// Repairs `dst` (which already holds the image). When `in_place` is true the
// neighbours are read from dst itself, as when src and dst are one buffer.
void fix_bad_pixels_reference(const std::vector<uint16_t>& src, std::vector<uint16_t>& dst, uint64_t height,
                              uint64_t width, uint16_t bad_value, int32_t bayer_phase, bool in_place);

}  // namespace lumra_test
