// The mono LUT: one curve on one-channel elements. It reads only the caller's
// entries (the entry after the last counts as the last). For integer input the
// result depends only on the element's value, so large images compute it once
// per value and look it up.
#include <cstdlib>
#include <type_traits>

#include "color/color_kernels.h"
#include "color/lut_lookup.h"
#include "color/value_table.h"
#include "common/numeric.h"
#include "simd/lanes.h"

namespace lumra {
namespace {

struct MonoCurve {
    const float* lut;
    uint64_t size;
    float top;     // float(N - 1)
    float factor;  // (1 / in_max) * (N - 1), formed once
    float out_max;
    bool direct;   // 8-bit input and 256 entries: lut[s], no interpolation

    template <typename Out>
    Out value(float element) const {
        return store_element<Out>(clamp_unit(lut_lookup_unpadded(lut, size, top, element * factor)) * out_max);
    }
    template <typename Out>
    Out direct_value(uint8_t element) const {
        return store_element<Out>(clamp_unit(lut[element]) * out_max);
    }
};

template <typename In, typename Out>
void mono_run(const In* src, Out* dst, uint64_t count, const MonoCurve& curve) {
    if constexpr (!std::is_same_v<In, float>) {
        const bool applied = apply_through_value_table<In, Out>(src, dst, count, [&](In element) {
            if constexpr (std::is_same_v<In, uint8_t>) {
                if (curve.direct) return curve.direct_value<Out>(element);
            }
            return curve.value<Out>(read_element(element));
        });
        if (applied) return;
        if constexpr (std::is_same_v<In, uint8_t>) {
            if (curve.direct) {
                for (uint64_t i = 0; i < count; ++i) dst[i] = curve.direct_value<Out>(src[i]);
                return;
            }
        }
    }
    for (uint64_t i = 0; i < count; ++i) dst[i] = curve.value<Out>(read_element(src[i]));
}

template <typename In>
void mono_from(const void* src, void* dst, uint64_t count, LumraDType dst_type, const MonoCurve& curve) {
    const In* in = static_cast<const In*>(src);
    switch (dst_type) {
        case LUMRA_DTYPE_UINT8: return mono_run(in, static_cast<uint8_t*>(dst), count, curve);
        case LUMRA_DTYPE_UINT16: return mono_run(in, static_cast<uint16_t*>(dst), count, curve);
        default: return mono_run(in, static_cast<float*>(dst), count, curve);
    }
}

bool is_integer_type(LumraDType type) { return type == LUMRA_DTYPE_UINT8 || type == LUMRA_DTYPE_UINT16; }
bool is_known_type(LumraDType type) { return is_integer_type(type) || type == LUMRA_DTYPE_FLOAT32; }

}  // namespace

LumraStatus mono_lut_kernel(const void* src_data, void* dst_data, uint64_t count, LumraDType src_type,
                            LumraDType dst_type, const float* lut, uint64_t lut_size, int32_t in_bits,
                            int32_t out_bits) noexcept {
    const float in_max = full_scale(src_type, in_bits);
    if (!is_known_type(dst_type) && out_bits < 1) return LUMRA_ERR_UNSUPPORTED;
    const float out_max = full_scale(dst_type, out_bits);
    if (in_max == 0.0f || out_max == 0.0f) return LUMRA_ERR_UNSUPPORTED;
    if (!is_known_type(src_type) || !is_known_type(dst_type)) return LUMRA_ERR_UNSUPPORTED;
    if ((is_integer_type(src_type) && in_bits >= 32) || (is_integer_type(dst_type) && out_bits >= 32)) {
        return LUMRA_ERR_UNSUPPORTED;
    }
    if (count == 0) return LUMRA_OK;

    const float top = static_cast<float>(lut_size - 1);
    const MonoCurve curve{lut,     lut_size, top, (1.0f / in_max) * top,
                          out_max, src_type == LUMRA_DTYPE_UINT8 && lut_size == 256};
    switch (src_type) {
        case LUMRA_DTYPE_UINT8: mono_from<uint8_t>(src_data, dst_data, count, dst_type, curve); break;
        case LUMRA_DTYPE_UINT16: mono_from<uint16_t>(src_data, dst_data, count, dst_type, curve); break;
        default: mono_from<float>(src_data, dst_data, count, dst_type, curve); break;
    }
    return LUMRA_OK;
}

}  // namespace lumra
