// What the colour entries call: the transform dispatcher, the clip-and-
// transform kernel, the mono LUT kernel, and the padded curve copies that the
// transform entry hands to the dispatcher.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "lumra.h"

namespace lumra {

// Picks one transform kernel for (input type, output type, stages present)
// and runs it. Returns LUMRA_ERR_UNSUPPORTED for a type pair outside the nine,
// a bit depth of 32 or more on an integer side, or a hue-preserving output
// type outside the three; LUMRA_ERR_INVALID_ARGUMENT for the hue-preserving
// combinations that need float data or lut1, or when no curve is given
// without a matrix.
LumraStatus transform_color_dispatch(const void* src_data, void* dst_data, int32_t height, int32_t width,
                                     LumraDType src_type, LumraDType dst_type, const float* lut1, int32_t lut1_size,
                                     const float* matrix, const float* lut2, int32_t lut2_size, int32_t in_bits,
                                     int32_t out_bits, bool hue_preserving) noexcept;

// Float RGB: min with clip_max per channel, the matrix, then the unit clamp.
void clip_and_transform_color_kernel(const float* src_data, float* dst_data, uint64_t pixel_count,
                                     const float* clip_max, const float* matrix) noexcept;

// One curve on one-channel elements between any pair of the three types,
// reading only the caller's lut_size entries.
LumraStatus mono_lut_kernel(const void* src_data, void* dst_data, uint64_t count, LumraDType src_type,
                            LumraDType dst_type, const float* lut, uint64_t lut_size, int32_t in_bits,
                            int32_t out_bits) noexcept;

// A private copy of a caller's curve of size (>= 1) entries with one more
// entry repeating the last, so that interpolation at the top position reads
// inside the copy. A null curve stays null. If the allocation fails, failed()
// is true and nothing else happens; the copy is freed with the object.
class PaddedCurve {
  public:
    using Allocate = void* (*)(size_t);

    PaddedCurve(const float* curve, uint64_t size, Allocate allocate = std::malloc) noexcept {
        if (curve == nullptr) return;
        copy_ = static_cast<float*>(allocate(static_cast<size_t>(size + 1) * sizeof(float)));
        if (copy_ == nullptr) {
            failed_ = true;
            return;
        }
        std::memcpy(copy_, curve, static_cast<size_t>(size) * sizeof(float));
        copy_[size] = curve[size - 1];
    }
    ~PaddedCurve() { std::free(copy_); }
    PaddedCurve(const PaddedCurve&) = delete;
    PaddedCurve& operator=(const PaddedCurve&) = delete;

    bool failed() const { return failed_; }
    const float* data() const { return copy_; }

  private:
    float* copy_ = nullptr;
    bool failed_ = false;
};

}  // namespace lumra
