// Turning a table position into an index without an undefined conversion.
#pragma once

#include <algorithm>
#include <cstdint>

#include "simd/isa.h"

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
inline float non_negative_position(float position) { return position >= 0.0f ? position : 0.0f; }

#if LUMRA_SIMD_X86
// The same for four lanes of positions below 2^24 or of indices limited to
// last < 2^24: the cap then changes no result.
inline __m128 non_negative_lanes(__m128 position) {
    return _mm_and_ps(_mm_cmpge_ps(position, _mm_setzero_ps()), position);
}
inline __m128i limited_floor_lanes(__m128 position, __m128i last) {
    const __m128i index = _mm_cvttps_epi32(_mm_min_ps(position, _mm_set1_ps(16777216.0f)));
    const __m128i beyond = _mm_cmpgt_epi32(index, last);
    return _mm_or_si128(_mm_and_si128(beyond, last), _mm_andnot_si128(beyond, index));
}
#endif

}  // namespace lumra
