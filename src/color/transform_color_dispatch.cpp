// The colour-transform dispatcher: full-scale values, then one kernel chosen
// for (input type, output type, stages present) and run over every pixel.
#include <type_traits>

#include "color/color_kernels.h"
#include "color/hue_preserving.h"
#include "color/transform_kernels.h"
#include "common/numeric.h"

namespace lumra {
namespace {

struct TransformCall {
    const void* src;
    void* dst;
    int64_t pixel_count;
    const float* lut1;
    int32_t lut1_size;
    const float* matrix;
    const float* lut2;
    int32_t lut2_size;
    float in_scale;
    float out_scale;
    bool bit_depth_unsupported;  // 32 or more bits on an integer side
};

bool is_integer_type(LumraDType type) { return type == LUMRA_DTYPE_UINT8 || type == LUMRA_DTYPE_UINT16; }

// 8-bit input whose first curve has exactly 256 entries reads it directly.
template <typename In, typename Run>
void with_direct_index(int32_t first_size, Run run) {
    if constexpr (std::is_same_v<In, uint8_t>) {
        if (first_size == 256) return run(std::true_type{});
    }
    run(std::false_type{});
}

template <typename In, typename Out>
LumraStatus run_pair(const TransformCall& c) {
    const In* src = static_cast<const In*>(c.src);
    Out* dst = static_cast<Out*>(c.dst);
    if (c.matrix == nullptr) {
        // Without a matrix only one curve applies: lut1 if given, else lut2.
        const float* lut = c.lut1 ? c.lut1 : c.lut2;
        const int32_t size = c.lut1 ? c.lut1_size : c.lut2_size;
        if (lut == nullptr) return LUMRA_ERR_INVALID_ARGUMENT;
        if (c.bit_depth_unsupported) return LUMRA_ERR_UNSUPPORTED;
        with_direct_index<In>(size, [&](auto direct) {
            transform_lut_only_impl<In, Out, decltype(direct)::value>(src, dst, c.pixel_count, lut, size, c.in_scale,
                                                                      c.out_scale);
        });
        return LUMRA_OK;
    }
    if (c.bit_depth_unsupported) return LUMRA_ERR_UNSUPPORTED;
    if (c.lut1 && c.lut2) {
        with_direct_index<In>(c.lut1_size, [&](auto direct) {
            transform_lut_matrix_lut_impl<In, Out, decltype(direct)::value>(
                src, dst, c.pixel_count, c.lut1, c.lut1_size, c.matrix, c.lut2, c.lut2_size, c.in_scale, c.out_scale);
        });
    } else if (c.lut1) {
        with_direct_index<In>(c.lut1_size, [&](auto direct) {
            transform_lut_matrix_impl<In, Out, decltype(direct)::value>(src, dst, c.pixel_count, c.lut1, c.lut1_size,
                                                                        c.matrix, c.in_scale, c.out_scale);
        });
    } else if (c.lut2) {
        transform_matrix_lut_impl<In, Out>(src, dst, c.pixel_count, c.matrix, c.lut2, c.lut2_size, c.in_scale,
                                           c.out_scale);
    } else {
        transform_matrix_only_impl<In, Out>(src, dst, c.pixel_count, c.matrix, c.in_scale, c.out_scale);
    }
    return LUMRA_OK;
}

template <typename In>
LumraStatus run_from(LumraDType dst_type, const TransformCall& c) {
    switch (dst_type) {
        case LUMRA_DTYPE_UINT8: return run_pair<In, uint8_t>(c);
        case LUMRA_DTYPE_UINT16: return run_pair<In, uint16_t>(c);
        case LUMRA_DTYPE_FLOAT32: return run_pair<In, float>(c);
        default: return LUMRA_ERR_UNSUPPORTED;
    }
}

template <typename Out>
LumraStatus run_hue_preserving_to(const TransformCall& c) {
    if (c.bit_depth_unsupported) return LUMRA_ERR_UNSUPPORTED;
    const float* src = static_cast<const float*>(c.src);
    Out* dst = static_cast<Out*>(c.dst);
    if (c.lut2 == nullptr) {
        transform_hue_preserving_lut_matrix_impl<Out>(src, dst, c.pixel_count, c.lut1, c.lut1_size, c.matrix,
                                                      c.out_scale);
    } else {
        transform_hue_preserving_lut_matrix_lut_impl<Out>(src, dst, c.pixel_count, c.lut1, c.lut1_size, c.matrix,
                                                          c.lut2, c.lut2_size, c.out_scale);
    }
    return LUMRA_OK;
}

LumraStatus run_hue_preserving(LumraDType src_type, LumraDType dst_type, const TransformCall& c) {
    if (c.lut1 == nullptr || src_type != LUMRA_DTYPE_FLOAT32) return LUMRA_ERR_INVALID_ARGUMENT;
    if (c.matrix == nullptr) {
        if (dst_type != LUMRA_DTYPE_FLOAT32) return LUMRA_ERR_INVALID_ARGUMENT;
        transform_hue_preserving_tone_impl(static_cast<const float*>(c.src), static_cast<float*>(c.dst),
                                           c.pixel_count, c.lut1, c.lut1_size);
        return LUMRA_OK;
    }
    switch (dst_type) {
        case LUMRA_DTYPE_UINT8: return run_hue_preserving_to<uint8_t>(c);
        case LUMRA_DTYPE_UINT16: return run_hue_preserving_to<uint16_t>(c);
        case LUMRA_DTYPE_FLOAT32: return run_hue_preserving_to<float>(c);
        default: return LUMRA_ERR_UNSUPPORTED;
    }
}

}  // namespace

LumraStatus transform_color_dispatch(const void* src_data, void* dst_data, int32_t height, int32_t width,
                                     LumraDType src_type, LumraDType dst_type, const float* lut1, int32_t lut1_size,
                                     const float* matrix, const float* lut2, int32_t lut2_size, int32_t in_bits,
                                     int32_t out_bits, bool hue_preserving) noexcept {
    const float in_max = full_scale(src_type, in_bits);
    const float out_max = full_scale(dst_type, out_bits);
    TransformCall call{};
    call.src = src_data;
    call.dst = dst_data;
    call.pixel_count = height > 0 && width > 0 ? int64_t{height} * int64_t{width} : 0;
    call.lut1 = lut1;
    call.lut1_size = lut1_size;
    call.matrix = matrix;
    call.lut2 = lut2;
    call.lut2_size = lut2_size;
    call.in_scale = in_max != 0.0f ? 1.0f / in_max : 0.0f;  // a zero full scale is rejected below
    call.out_scale = out_max;
    call.bit_depth_unsupported =
        (is_integer_type(src_type) && in_bits >= 32) || (is_integer_type(dst_type) && out_bits >= 32);

    if (hue_preserving) return run_hue_preserving(src_type, dst_type, call);
    switch (src_type) {
        case LUMRA_DTYPE_UINT8: return run_from<uint8_t>(dst_type, call);
        case LUMRA_DTYPE_UINT16: return run_from<uint16_t>(dst_type, call);
        case LUMRA_DTYPE_FLOAT32: return run_from<float>(dst_type, call);
        default: return LUMRA_ERR_UNSUPPORTED;
    }
}

}  // namespace lumra
