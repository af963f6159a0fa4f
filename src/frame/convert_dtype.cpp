// Element type conversion: one loop per type pair and ceiling-in-force, chosen
// once per call. The bulk runs in blocks of eight elements that the compiler
// turns into SIMD; the tail runs the same per-element function, so both give
// the same result for every input.
#include "convert_dtype.h"

#include "numeric.h"

namespace lumra {
namespace {

template <typename Out, bool kCeiling>
inline Out convert_one(float value, float scale, float ceiling) {
    float v = value * scale;
    if constexpr (kCeiling) v = std::min(v, ceiling);
    return store_element<Out>(v);
}

template <typename In, typename Out, bool kCeiling>
void convert_run(const void* src_data, void* dst_data, uint64_t count, float scale, float ceiling) {
    const In* __restrict src = static_cast<const In*>(src_data);
    Out* __restrict dst = static_cast<Out*>(dst_data);
    const uint64_t bulk = count - count % 8;
    uint64_t i = 0;
    for (; i < bulk; i += 8) {
        for (int k = 0; k < 8; ++k) dst[i + k] = convert_one<Out, kCeiling>(read_element(src[i + k]), scale, ceiling);
    }
    for (; i < count; ++i) dst[i] = convert_one<Out, kCeiling>(read_element(src[i]), scale, ceiling);
}

using ConvertRun = void (*)(const void*, void*, uint64_t, float, float);

template <typename In, typename Out>
ConvertRun pick_run(bool ceiling_in_force) {
    return ceiling_in_force ? convert_run<In, Out, true> : convert_run<In, Out, false>;
}

template <typename In>
ConvertRun pick_destination(int32_t dst_type, bool ceiling_in_force) {
    switch (dst_type) {
        case LUMRA_DTYPE_FLOAT32: return pick_run<In, float>(ceiling_in_force);
        case LUMRA_DTYPE_UINT16: return pick_run<In, uint16_t>(ceiling_in_force);
        case LUMRA_DTYPE_UINT8: return pick_run<In, uint8_t>(ceiling_in_force);
        default: return nullptr;
    }
}

ConvertRun pick_pair(int32_t src_type, int32_t dst_type, bool ceiling_in_force) {
    switch (src_type) {
        case LUMRA_DTYPE_FLOAT32: return pick_destination<float>(dst_type, ceiling_in_force);
        case LUMRA_DTYPE_UINT16: return pick_destination<uint16_t>(dst_type, ceiling_in_force);
        case LUMRA_DTYPE_UINT8: return pick_destination<uint8_t>(dst_type, ceiling_in_force);
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

    const ConvertRun run = pick_pair(src_type, dst_type, ceiling_in_force);
    if (run == nullptr) return LUMRA_ERR_UNSUPPORTED;
    if (count != 0) run(src, dst, count, scale, ceiling);
    return LUMRA_OK;
}

}  // namespace lumra
