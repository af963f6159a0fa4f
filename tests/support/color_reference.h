// Plain per-pixel readings of the colour operations, written from their
// descriptions one step at a time, to compare the kernels against. The
// documented hoisting is part of the arithmetic: a position from an element is
// element * (in_scale * (N - 1)); after a matrix the rows are pre-multiplied
// by (N - 1) (and by in_scale when the matrix acts on elements). Matrix rows
// are summed left to right, as in the library.
#pragma once

#include <cstdint>
#include <vector>

#include "lumra.h"

namespace lumra_ref {

// The caller's table followed by a copy of its last entry.
std::vector<float> pad(const std::vector<float>& curve);

// lut_lookup on a padded table of N + 1 entries.
float lookup(const std::vector<float>& padded, float position);

float unit_clamp(float value);
float dot(const float* row, float a, float b, float c);

// Truncate toward zero, then saturate to the type's range; NaN gives 0.
template <typename Out>
Out store(float value);

// Full scale of a type at a bit depth: 1 for float, 2^bits - 1, or the
// type's maximum when bits <= 0.
float full_scale(LumraDType type, int32_t bits);

struct TransformArgs {
    const std::vector<float>* lut1 = nullptr;  // caller's tables (unpadded)
    const float* matrix = nullptr;
    const std::vector<float>* lut2 = nullptr;
    int32_t in_bits = 0;
    int32_t out_bits = 0;
};

// The non-hue selection table and kernels, element by element.
template <typename In, typename Out>
std::vector<Out> transform(const std::vector<In>& src, const TransformArgs& args);

// The hue-preserving tone of one pixel, with the comparisons in their order.
void hue_tone(float r, float g, float b, float out[3], const std::vector<float>& padded, float tone_max);

// The hue-preserving pipelines: tone only (float out), tone + matrix, and
// tone + matrix + second curve.
template <typename Out>
std::vector<Out> hue_transform(const std::vector<float>& src, const TransformArgs& args);

std::vector<float> clip_and_transform(const std::vector<float>& src, const float clip_max[3], const float* matrix);

template <typename In, typename Out>
std::vector<Out> mono_lut(const std::vector<In>& src, const std::vector<float>& lut, int32_t in_bits,
                          int32_t out_bits);

}  // namespace lumra_ref
