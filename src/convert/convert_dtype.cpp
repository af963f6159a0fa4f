// Element type conversion: one loop per type pair and ceiling-in-force, chosen
// once per call. The bulk runs in blocks of eight elements (SSE2 where the
// target has it, else the per-element function); the remaining elements run
// the per-element function. Both paths give the same result for every input:
// the SSE2 operations below are chosen to match the scalar ones exactly,
// NaN and signed zero included.
#include "convert/convert_dtype.h"

#include "simd/isa.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "common/numeric.h"

namespace lumra {
namespace {

template <typename Out, bool kCeiling>
inline Out convert_one(float value, float scale, float ceiling) {
    float v = value * scale;
    if constexpr (kCeiling) v = std::min(v, ceiling);
    return store_element<Out>(v);
}

#if LUMRA_SIMD_X86

// Eight source elements as two groups of four floats (integer widening and
// int32-to-float conversion are exact).
inline void load_block(const float* src, __m128& low, __m128& high) {
    low = _mm_loadu_ps(src);
    high = _mm_loadu_ps(src + 4);
}
inline void load_block(const uint16_t* src, __m128& low, __m128& high) {
    const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i zero = _mm_setzero_si128();
    low = _mm_cvtepi32_ps(_mm_unpacklo_epi16(words, zero));
    high = _mm_cvtepi32_ps(_mm_unpackhi_epi16(words, zero));
}
inline void load_block(const uint8_t* src, __m128& low, __m128& high) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i words = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src)), zero);
    low = _mm_cvtepi32_ps(_mm_unpacklo_epi16(words, zero));
    high = _mm_cvtepi32_ps(_mm_unpackhi_epi16(words, zero));
}

// std::min(v, ceiling) is (ceiling < v ? ceiling : v); minps(a, b) is
// (a < b ? a : b), so the ceiling goes first and a NaN v stays NaN.
template <bool kCeiling>
inline __m128 scale_lanes(__m128 value, __m128 scale, __m128 ceiling) {
    const __m128 v = _mm_mul_ps(value, scale);
    if constexpr (kCeiling) return _mm_min_ps(ceiling, v);
    return v;
}

// store_element's limit: std::max(0, v) is (0 < v ? v : 0), which is
// maxps(v, 0); std::min(m, top) with m never NaN is minps(m, top). The
// limited value converts exactly by truncation. Without kLimit the caller
// knows every value already lies in [0, top + 1).
template <bool kLimit>
inline __m128i truncate_lanes(__m128 v, __m128 top) {
    if constexpr (kLimit) v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), top);
    return _mm_cvttps_epi32(v);
}

template <bool kLimit>
inline void store_block(float* dst, __m128 low, __m128 high) {
    _mm_storeu_ps(dst, low);
    _mm_storeu_ps(dst + 4, high);
}
template <bool kLimit>
inline void store_block(uint16_t* dst, __m128 low, __m128 high) {
    const __m128 top = _mm_set1_ps(65535.0f);
    // Values 0..65535: keep the low 16 bits of each lane by sign-extending them
    // and packing with signed saturation, which then never saturates.
    const __m128i a = _mm_srai_epi32(_mm_slli_epi32(truncate_lanes<kLimit>(low, top), 16), 16);
    const __m128i b = _mm_srai_epi32(_mm_slli_epi32(truncate_lanes<kLimit>(high, top), 16), 16);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_packs_epi32(a, b));
}
template <bool kLimit>
inline void store_block(uint8_t* dst, __m128 low, __m128 high) {
    const __m128 top = _mm_set1_ps(255.0f);
    const __m128i words = _mm_packs_epi32(truncate_lanes<kLimit>(low, top), truncate_lanes<kLimit>(high, top));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(words, words));
}

template <typename In, typename Out, bool kCeiling, bool kLimit>
inline void convert_block(const In* src, Out* dst, float scale, float ceiling) {
    const __m128 scales = _mm_set1_ps(scale), ceilings = _mm_set1_ps(ceiling);
    __m128 low, high;
    load_block(src, low, high);
    store_block<kLimit>(dst, scale_lanes<kCeiling>(low, scales, ceilings),
                        scale_lanes<kCeiling>(high, scales, ceilings));
}

#else

template <typename In, typename Out, bool kCeiling, bool kLimit>
inline void convert_block(const In* src, Out* dst, float scale, float ceiling) {
    for (int k = 0; k < 8; ++k) dst[k] = convert_one<Out, kCeiling>(read_element(src[k]), scale, ceiling);
}

#endif

template <typename In, typename Out, bool kCeiling, bool kLimit>
void convert_run(const void* src_data, void* dst_data, uint64_t count, float scale, float ceiling) {
    const In* src = static_cast<const In*>(src_data);
    Out* dst = static_cast<Out*>(dst_data);
    const uint64_t bulk = count - count % 8;
    uint64_t i = 0;
    for (; i < bulk; i += 8) convert_block<In, Out, kCeiling, kLimit>(src + i, dst + i, scale, ceiling);
    for (; i < count; ++i) dst[i] = convert_one<Out, kCeiling>(read_element(src[i]), scale, ceiling);
}

// Same integer type at scale 1 without a ceiling: x * 1 is x, so the
// conversion is an exact copy (memmove, since the buffers may be one).
template <typename T>
void copy_run(const void* src, void* dst, uint64_t count, float, float) {
    std::memmove(dst, src, count * sizeof(T));
}

// 8-bit to 16-bit by a whole-number scale m with 255 m <= 65535 and no
// ceiling: x * m is exact in float and in range, so the integer product is
// the truncated result.
void widen_run(const void* src_data, void* dst_data, uint64_t count, float scale, float) {
    const uint8_t* src = static_cast<const uint8_t*>(src_data);
    uint16_t* dst = static_cast<uint16_t*>(dst_data);
    const auto factor = static_cast<uint16_t>(scale);
    uint64_t i = 0;
#if LUMRA_SIMD_X86
    const __m128i factors = _mm_set1_epi16(static_cast<short>(factor)), zero = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_mullo_epi16(_mm_unpacklo_epi8(bytes, zero), factors));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 8),
                         _mm_mullo_epi16(_mm_unpackhi_epi8(bytes, zero), factors));
    }
#endif
    for (; i < count; ++i) dst[i] = static_cast<uint16_t>(src[i] * factor);
}

using ConvertRun = void (*)(const void*, void*, uint64_t, float, float);

template <typename T>
constexpr float type_max() {
    return static_cast<float>(std::numeric_limits<T>::max());
}

template <typename In, typename Out>
ConvertRun pick_run(bool ceiling_in_force, float scale) {
    if constexpr (std::is_integral_v<In> && std::is_integral_v<Out>) {
        if constexpr (std::is_same_v<In, Out>) {
            if (!ceiling_in_force && scale == 1.0f) return copy_run<In>;
        }
        if constexpr (sizeof(In) == 1 && sizeof(Out) == 2) {
            if (!ceiling_in_force && scale == std::floor(scale) && scale * 255.0f <= 65535.0f) return widen_run;
        }
        // Products of non-negative sources grow with the source, so the
        // largest source bounds them all: below top + 1 nothing needs limiting.
        if (type_max<In>() * scale < type_max<Out>() + 1.0f) {
            return ceiling_in_force ? convert_run<In, Out, true, false> : convert_run<In, Out, false, false>;
        }
    }
    return ceiling_in_force ? convert_run<In, Out, true, true> : convert_run<In, Out, false, true>;
}

template <typename In>
ConvertRun pick_destination(int32_t dst_type, bool ceiling_in_force, float scale) {
    switch (dst_type) {
        case LUMRA_DTYPE_FLOAT32: return pick_run<In, float>(ceiling_in_force, scale);
        case LUMRA_DTYPE_UINT16: return pick_run<In, uint16_t>(ceiling_in_force, scale);
        case LUMRA_DTYPE_UINT8: return pick_run<In, uint8_t>(ceiling_in_force, scale);
        default: return nullptr;
    }
}

ConvertRun pick_pair(int32_t src_type, int32_t dst_type, bool ceiling_in_force, float scale) {
    switch (src_type) {
        case LUMRA_DTYPE_FLOAT32: return pick_destination<float>(dst_type, ceiling_in_force, scale);
        case LUMRA_DTYPE_UINT16: return pick_destination<uint16_t>(dst_type, ceiling_in_force, scale);
        case LUMRA_DTYPE_UINT8: return pick_destination<uint8_t>(dst_type, ceiling_in_force, scale);
        default: return nullptr;
    }
}

bool is_integer_type(int32_t dtype) { return dtype == LUMRA_DTYPE_UINT8 || dtype == LUMRA_DTYPE_UINT16; }

}  // namespace

LumraStatus convert_dtype_kernel(const void* src, void* dst, uint64_t count, int32_t src_type, int32_t dst_type,
                                 int32_t in_bits, int32_t out_bits, float ceiling) noexcept {
    const float in_max = full_scale(src_type, in_bits);
    if (dst_type != LUMRA_DTYPE_FLOAT32 && !is_integer_type(dst_type) && out_bits < 1) return LUMRA_ERR_UNSUPPORTED;
    const float out_max = full_scale(dst_type, out_bits);
    if (in_max == 0.0f || out_max == 0.0f) return LUMRA_ERR_UNSUPPORTED;

    // A float destination takes any non-negative ceiling; an integer one only
    // a ceiling below its full scale (NaN compares false and means none).
    const bool ceiling_in_force =
        dst_type == LUMRA_DTYPE_FLOAT32 ? ceiling >= 0.0f : (ceiling >= 0.0f && ceiling < out_max);
    const float scale = out_max / in_max;

    const ConvertRun run = pick_pair(src_type, dst_type, ceiling_in_force, scale);
    if (run == nullptr) return LUMRA_ERR_UNSUPPORTED;
    if (count != 0) run(src, dst, count, scale, ceiling);
    return LUMRA_OK;
}

}  // namespace lumra
