#pragma once

#include <cstdint>

#include "lumra.h"

namespace lumra {

// Rescales count elements from one element type and bit depth to another,
// with an optional ceiling. Returns LUMRA_OK or LUMRA_ERR_UNSUPPORTED; nothing
// is written before the status is decided.
LumraStatus convert_dtype_kernel(const void* src, void* dst, uint64_t count, int32_t src_type, int32_t dst_type,
                                 int32_t in_bits, int32_t out_bits, float ceiling) noexcept;

}  // namespace lumra
