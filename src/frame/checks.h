// Predicates shared by the exported entries. Each entry is a list of
// LUMRA_REQUIRE lines, one per check and in the documented order, so the first
// failing check decides the status and nothing is dereferenced before the
// check that guards it has passed.
#pragma once

#include <cstdint>

#include "lumra.h"

#define LUMRA_REQUIRE(condition, status) \
    do {                                 \
        if (!(condition)) return (status); \
    } while (0)

namespace lumra {

constexpr LumraStatus kInvalid = LUMRA_ERR_INVALID_ARGUMENT;
constexpr LumraStatus kUnsupported = LUMRA_ERR_UNSUPPORTED;
constexpr LumraStatus kMismatch = LUMRA_ERR_DIMENSION_MISMATCH;

inline bool has_data(const LumraImage* image) { return image->data != nullptr; }
inline bool reserved_clear(const LumraImage* image) { return image->reserved == 0; }
inline bool is_float(const LumraImage* image) { return image->dtype == LUMRA_DTYPE_FLOAT32; }
inline bool is_uint16(const LumraImage* image) { return image->dtype == LUMRA_DTYPE_UINT16; }

// Full 64-bit comparison, height first.
inline bool same_size(const LumraImage* a, const LumraImage* b) {
    return a->height == b->height && a->width == b->width;
}
inline bool same_shape(const LumraImage* a, const LumraImage* b) {
    return same_size(a, b) && a->channels == b->channels;
}

// Kernels that take 32-bit sizes need every size below 2^31; larger images
// are refused rather than silently narrowed.
inline bool fits_int32(uint64_t value) { return value < (uint64_t{1} << 31); }
inline bool size_fits_int32(const LumraImage* image) {
    return fits_int32(image->height) && fits_int32(image->width);
}

// The low 32 bits of a size, as the kernels that narrow sizes see them.
inline int32_t narrow(uint64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

}  // namespace lumra
