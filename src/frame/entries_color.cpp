// Entries of the colour transform family.
#include "frame/checks.h"
#include "color/color_kernels.h"

using namespace lumra;

extern "C" LUMRA_API LumraStatus lumra_mono_lut(const LumraImage* src, LumraImage* dst, const float* lut,
                                                uint64_t lut_size, int32_t in_bits, int32_t out_bits) noexcept {
    LUMRA_REQUIRE(src && dst && lut, kInvalid);
    LUMRA_REQUIRE(has_data(src), kInvalid);
    LUMRA_REQUIRE(lut_size >= 2, kInvalid);
    LUMRA_REQUIRE(has_data(dst), kInvalid);
    LUMRA_REQUIRE(reserved_clear(src) && reserved_clear(dst), kInvalid);
    LUMRA_REQUIRE(same_size(src, dst), kInvalid);
    LUMRA_REQUIRE(src->channels == 1 && dst->channels == 1, kInvalid);
    return mono_lut_kernel(src->data, dst->data, src->height * src->width, src->dtype, dst->dtype, lut, lut_size,
                           in_bits, out_bits);
}

extern "C" LUMRA_API LumraStatus lumra_transform_color(const LumraImage* src, LumraImage* dst, const float* lut1,
                                                       uint64_t lut1_size, const float* matrix, const float* lut2,
                                                       uint64_t lut2_size, int32_t in_bits, int32_t out_bits,
                                                       bool hue_preserving) noexcept {
    LUMRA_REQUIRE(src && dst, kInvalid);
    LUMRA_REQUIRE(has_data(src) && has_data(dst), kInvalid);
    LUMRA_REQUIRE(reserved_clear(src) && reserved_clear(dst), kInvalid);
    LUMRA_REQUIRE(same_size(src, dst), kInvalid);
    LUMRA_REQUIRE(src->channels == 3 && dst->channels == 3, kInvalid);
    LUMRA_REQUIRE(lut1 || matrix || lut2, kInvalid);
    LUMRA_REQUIRE(size_fits_int32(src), kInvalid);
    LUMRA_REQUIRE(!lut1 || (lut1_size >= 1 && fits_int32(lut1_size)), kInvalid);
    LUMRA_REQUIRE(!lut2 || (lut2_size >= 1 && fits_int32(lut2_size)), kInvalid);
    const PaddedCurve curve1(lut1, lut1_size), curve2(lut2, lut2_size);
    LUMRA_REQUIRE(!curve1.failed() && !curve2.failed(), kInvalid);
    return transform_color_dispatch(src->data, dst->data, narrow(src->height), narrow(src->width), src->dtype,
                                    dst->dtype, curve1.data(), narrow(lut1_size), matrix, curve2.data(),
                                    narrow(lut2_size), in_bits, out_bits, hue_preserving);
}

extern "C" LUMRA_API LumraStatus lumra_clip_and_transform_color(const LumraImage* src, LumraImage* dst,
                                                                const float* clip_max, const float* matrix) noexcept {
    LUMRA_REQUIRE(src && dst && clip_max && matrix, kInvalid);
    LUMRA_REQUIRE(has_data(src) && has_data(dst), kInvalid);
    LUMRA_REQUIRE(is_float(src) && is_float(dst), kUnsupported);
    LUMRA_REQUIRE(reserved_clear(src) && reserved_clear(dst), kInvalid);
    LUMRA_REQUIRE(same_size(src, dst), kInvalid);
    LUMRA_REQUIRE(src->channels == 3 && dst->channels == 3, kInvalid);
    clip_and_transform_color_kernel(static_cast<const float*>(src->data), static_cast<float*>(dst->data),
                                    src->height * src->width, clip_max, matrix);
    return LUMRA_OK;
}
