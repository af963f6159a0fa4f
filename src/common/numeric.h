// Element reads, saturating stores and full-scale values shared by every
// kernel that converts between element types.
#pragma once

#include <algorithm>
#include <cstdint>

#include "lumra.h"
#include "simd/isa.h"

namespace lumra {

// Integer stores truncate toward zero and then saturate to the type's range;
// a NaN stores 0. The float is limited before the conversion so that no
// float-to-integer conversion is ever out of range. For values in range this
// is exactly truncation.
template <typename Out>
inline Out store_element(float value);

template <>
inline float store_element<float>(float value) {
    return value;
}
template <>
inline uint8_t store_element<uint8_t>(float value) {
    const float limited = std::min(std::max(0.0f, value), 255.0f);  // max(0, NaN) is 0
    return static_cast<uint8_t>(static_cast<int32_t>(limited));
}
template <>
inline uint16_t store_element<uint16_t>(float value) {
    const float limited = std::min(std::max(0.0f, value), 65535.0f);
    return static_cast<uint16_t>(static_cast<int32_t>(limited));
}

template <typename In>
inline float read_element(In value) {
    return static_cast<float>(value);
}

// The limits every kernel uses, one name per rule. NaN and signed zeros come
// out as each comment says on every path; the lane types (simd/lanes.h) give
// the same names the same meaning lane by lane.
//
// std::max(low, x): a NaN x gives low.
template <typename T>
inline T lower_limit(T x, T low) {
    return low < x ? x : low;
}
// std::min(x, high): a NaN x stays NaN.
template <typename T>
inline T upper_limit(T x, T high) {
    return high < x ? high : x;
}
// std::max(x, low): a NaN x stays NaN.
template <typename T>
inline T lower_limit_keeping_nan(T x, T low) {
    return x < low ? low : x;
}

// Limited to [0, 1], the lower limit first: a NaN becomes 0. V is float or a
// lane type (a shared body, so that it is compiled for its caller's level).
template <typename V>
LUMRA_SHARED_BODY V clamp_unit(V value) {
    return upper_limit(lower_limit(value, V(0.0f)), V(1.0f));
}

// x < high ? x : high: a NaN x gives `high`.
template <typename T>
inline T limit_high(T x, T high) {
    return x < high ? x : high;
}

// The upper limit first, then the lower one: a NaN becomes `high`, and a
// value not above `low` (-0 included) becomes `low`. V is float or a lane type.
template <typename V>
LUMRA_SHARED_BODY V limit_high_then_low(V value, V low, V high) {
    return lower_limit(limit_high(value, high), low);
}

// 2^(bits mod 32) - 1 in 32-bit unsigned arithmetic (so 32 gives 0).
inline uint32_t bit_depth_max(int32_t bits) {
    const uint32_t shift = static_cast<uint32_t>(bits) % 32u;
    return shift == 0 ? 0u : (uint32_t{1} << shift) - 1u;
}

// Full scale of an element type at a bit depth: 1.0 for float; for an
// integer type 2^bits - 1 when bits >= 1, else the type's own maximum; 0 for
// a type that is not one of the three (callers treat 0 as unsupported).
inline float full_scale(int32_t dtype, int32_t bits) {
    if (dtype == LUMRA_DTYPE_FLOAT32) return 1.0f;
    if (bits >= 1) return static_cast<float>(bit_depth_max(bits));
    if (dtype == LUMRA_DTYPE_UINT8) return 255.0f;
    if (dtype == LUMRA_DTYPE_UINT16) return 65535.0f;
    return 0.0f;
}

}  // namespace lumra
