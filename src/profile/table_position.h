// Turning a table position into an index without an undefined conversion.
#pragma once

#include <algorithm>
#include <cstdint>

#include "simd/lanes.h"

namespace lumra {

// floor(position), limited to at most last. The caller has already replaced a
// NaN or negative position, so truncation is the floor; the float is capped
// before the conversion (2^32 converts exactly) and the index is limited again
// in integer arithmetic, where float(last) could have rounded up.
inline int64_t limited_floor(float position, int64_t last) {
    const float capped = std::min(position, 4294967296.0f);
    return std::min(static_cast<int64_t>(capped), last);
}

// A NaN or negative table position reads the first entry with fraction 0.
template <typename V>
LUMRA_SHARED_BODY V non_negative_position(V position) {
    return zero_unless(greater_equal(position, V(0.0f)), position);
}

}  // namespace lumra
