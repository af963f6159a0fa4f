// Entries of raw preparation: normalisation, demosaic, bad-pixel repair, each
// on the whole image and on a part of it (the _region forms, which run the
// same kernels with the part's place in the whole image).
#include "frame/checks.h"
#include "raw/raw_kernels.h"

using namespace lumra;

namespace {

// A whole image's buffer, and a part's or window's buffer, as the raw kernels place them.
PartPlace whole(const LumraImage* image) { return PartPlace{0, 0, image->height, image->width}; }
PartPlace placed(const LumraImage* image, const LumraRegion* region) {
    return PartPlace{region->top, region->left, image->height, image->width};
}

}  // namespace

extern "C" LUMRA_API LumraStatus lumra_normalize_raw(
    const LumraImage* src, LumraImage* dst, const float* black_levels, int32_t black_repeat_rows,
    int32_t black_repeat_cols, int32_t samples_per_pixel, const float* white_levels, int32_t white_level_count,
    const float* black_delta_h, int32_t black_delta_h_count, const float* black_delta_v,
    int32_t black_delta_v_count, const uint16_t* linearization_table, int32_t linearization_table_size) noexcept {
    // The whole image is the region that covers it: the region form's checks
    // are then exactly this entry's, in the same order.
    LUMRA_REQUIRE(src && dst, kInvalid);
    const LumraRegion whole_image{0, 0, src->height, src->width, 0};
    return lumra_normalize_raw_region(src, dst, &whole_image, black_levels, black_repeat_rows, black_repeat_cols,
                                      samples_per_pixel, white_levels, white_level_count, black_delta_h,
                                      black_delta_h_count, black_delta_v, black_delta_v_count, linearization_table,
                                      linearization_table_size);
}

extern "C" LUMRA_API LumraStatus lumra_normalize_raw_region(
    const LumraImage* src, LumraImage* dst, const LumraRegion* region, const float* black_levels,
    int32_t black_repeat_rows, int32_t black_repeat_cols, int32_t samples_per_pixel, const float* white_levels,
    int32_t white_level_count, const float* black_delta_h, int32_t black_delta_h_count, const float* black_delta_v,
    int32_t black_delta_v_count, const uint16_t* linearization_table, int32_t linearization_table_size) noexcept {
    LUMRA_REQUIRE(src && dst && region, kInvalid);
    LUMRA_REQUIRE(has_data(src) && has_data(dst), kInvalid);
    LUMRA_REQUIRE(black_levels, kInvalid);
    LUMRA_REQUIRE(white_levels, kInvalid);
    LUMRA_REQUIRE(reserved_clear(src) && reserved_clear(dst), kInvalid);
    LUMRA_REQUIRE(same_size(src, dst), kInvalid);
    LUMRA_REQUIRE(is_uint16(src) || is_float(src), kUnsupported);
    LUMRA_REQUIRE(is_float(dst), kUnsupported);
    LUMRA_REQUIRE(src->channels == static_cast<uint64_t>(static_cast<int64_t>(samples_per_pixel)), kInvalid);
    LUMRA_REQUIRE(dst->channels == src->channels, kInvalid);
    LUMRA_REQUIRE(black_repeat_rows > 0 && black_repeat_cols > 0, kInvalid);
    LUMRA_REQUIRE(samples_per_pixel > 0 && white_level_count > 0, kInvalid);
    LUMRA_REQUIRE(fits_int32(region->full_height) && fits_int32(region->full_width), kInvalid);
    LUMRA_REQUIRE(region_clear(region), kInvalid);
    LUMRA_REQUIRE(part_inside(src, region), kRegion);
    return normalize_raw_dispatch(src->data, src->dtype, static_cast<float*>(dst->data), narrow(src->height),
                                  narrow(src->width), narrow(region->top), narrow(region->left), samples_per_pixel,
                                  black_levels, black_repeat_rows, black_repeat_cols, black_delta_h,
                                  black_delta_h_count, black_delta_v, black_delta_v_count, white_levels,
                                  white_level_count, linearization_table, linearization_table_size);
}

extern "C" LUMRA_API LumraStatus lumra_bilinear_demosaic(const LumraImage* src, LumraImage* dst,
                                                         const int32_t* cfa_pattern) noexcept {
    LUMRA_REQUIRE(src && dst && cfa_pattern, kInvalid);
    LUMRA_REQUIRE(has_data(src) && has_data(dst), kInvalid);
    LUMRA_REQUIRE(is_float(src), kUnsupported);
    LUMRA_REQUIRE(src->channels == 1, kInvalid);
    LUMRA_REQUIRE(is_float(dst), kUnsupported);
    LUMRA_REQUIRE(dst->channels == 3, kInvalid);
    LUMRA_REQUIRE(src->height == dst->height, kMismatch);
    LUMRA_REQUIRE(src->width == dst->width, kMismatch);
    for (int i = 0; i < 4; ++i) LUMRA_REQUIRE(static_cast<uint32_t>(cfa_pattern[i]) <= 2u, kInvalid);
    bilinear_demosaic_kernel(static_cast<const float*>(src->data), whole(src), static_cast<float*>(dst->data),
                             whole(dst), src->height, src->width, cfa_pattern);
    return LUMRA_OK;
}

extern "C" LUMRA_API LumraStatus lumra_bilinear_demosaic_region(const LumraImage* src, const LumraRegion* src_region,
                                                                LumraImage* dst, const LumraRegion* dst_region,
                                                                const int32_t* cfa_pattern) noexcept {
    LUMRA_REQUIRE(src && src_region && dst && dst_region && cfa_pattern, kInvalid);
    LUMRA_REQUIRE(has_data(src) && has_data(dst), kInvalid);
    LUMRA_REQUIRE(is_float(src), kUnsupported);
    LUMRA_REQUIRE(src->channels == 1, kInvalid);
    LUMRA_REQUIRE(is_float(dst), kUnsupported);
    LUMRA_REQUIRE(dst->channels == 3, kInvalid);
    for (int i = 0; i < 4; ++i) LUMRA_REQUIRE(static_cast<uint32_t>(cfa_pattern[i]) <= 2u, kInvalid);
    const LumraStatus window = check_source_window(src, src_region, dst, dst_region, 1);
    LUMRA_REQUIRE(window == LUMRA_OK, window);
    bilinear_demosaic_kernel(static_cast<const float*>(src->data), placed(src, src_region),
                             static_cast<float*>(dst->data), placed(dst, dst_region), dst_region->full_height,
                             dst_region->full_width, cfa_pattern);
    return LUMRA_OK;
}

extern "C" LUMRA_API LumraStatus lumra_fix_bad_pixels_constant(const LumraImage* src, LumraImage* dst,
                                                               uint16_t bad_value, int32_t bayer_phase) noexcept {
    LUMRA_REQUIRE(src && dst, kInvalid);
    LUMRA_REQUIRE(has_data(src) && has_data(dst), kInvalid);
    LUMRA_REQUIRE(is_uint16(src) && is_uint16(dst), kUnsupported);
    LUMRA_REQUIRE(reserved_clear(src) && reserved_clear(dst), kInvalid);
    LUMRA_REQUIRE(src->channels == 1 && dst->channels == 1, kInvalid);
    LUMRA_REQUIRE(src->height == dst->height, kMismatch);
    LUMRA_REQUIRE(src->width == dst->width, kMismatch);
    if (src->height == 0 || src->width == 0) return LUMRA_OK;
    fix_bad_pixels_constant_impl(static_cast<const uint16_t*>(src->data), whole(src),
                                 static_cast<uint16_t*>(dst->data), whole(dst), src->height, src->width, bad_value,
                                 static_cast<uint32_t>(bayer_phase));
    return LUMRA_OK;
}

extern "C" LUMRA_API LumraStatus lumra_fix_bad_pixels_constant_region(const LumraImage* src,
                                                                      const LumraRegion* src_region, LumraImage* dst,
                                                                      const LumraRegion* dst_region,
                                                                      uint16_t bad_value,
                                                                      int32_t bayer_phase) noexcept {
    LUMRA_REQUIRE(src && src_region && dst && dst_region, kInvalid);
    LUMRA_REQUIRE(has_data(src) && has_data(dst), kInvalid);
    LUMRA_REQUIRE(is_uint16(src) && is_uint16(dst), kUnsupported);
    LUMRA_REQUIRE(reserved_clear(src) && reserved_clear(dst), kInvalid);
    LUMRA_REQUIRE(src->channels == 1 && dst->channels == 1, kInvalid);
    const LumraStatus window = check_source_window(src, src_region, dst, dst_region, 2);
    LUMRA_REQUIRE(window == LUMRA_OK, window);
    if (dst->height == 0 || dst->width == 0) return LUMRA_OK;
    fix_bad_pixels_constant_impl(static_cast<const uint16_t*>(src->data), placed(src, src_region),
                                 static_cast<uint16_t*>(dst->data), placed(dst, dst_region), dst_region->full_height,
                                 dst_region->full_width, bad_value, static_cast<uint32_t>(bayer_phase));
    return LUMRA_OK;
}

namespace {

// One colour on the two sites of a diagonal, each other colour on one site.
// The entries have checked that every colour is 0, 1 or 2.
bool is_bayer(const int32_t* p) {
    const bool main = p[0] == p[3] && p[1] != p[2] && p[1] != p[0] && p[2] != p[0];
    const bool anti = p[1] == p[2] && p[0] != p[3] && p[0] != p[1] && p[3] != p[1];
    return main || anti;
}

// The kernel places positions, mirrored edges included, in signed 64-bit
// arithmetic; no image that fits in memory comes near this bound.
constexpr uint64_t kAdaptiveSizeLimit = uint64_t{1} << 62;

}  // namespace

extern "C" LUMRA_API LumraStatus lumra_adaptive_demosaic(const LumraImage* src, LumraImage* dst,
                                                         const int32_t* cfa_pattern) noexcept {
    LUMRA_REQUIRE(src && dst && cfa_pattern, kInvalid);
    LUMRA_REQUIRE(has_data(src) && has_data(dst), kInvalid);
    LUMRA_REQUIRE(is_float(src), kUnsupported);
    LUMRA_REQUIRE(src->channels == 1, kInvalid);
    LUMRA_REQUIRE(is_float(dst), kUnsupported);
    LUMRA_REQUIRE(dst->channels == 3, kInvalid);
    LUMRA_REQUIRE(src->height == dst->height, kMismatch);
    LUMRA_REQUIRE(src->width == dst->width, kMismatch);
    for (int i = 0; i < 4; ++i) LUMRA_REQUIRE(static_cast<uint32_t>(cfa_pattern[i]) <= 2u, kInvalid);
    LUMRA_REQUIRE(is_bayer(cfa_pattern), kUnsupported);
    LUMRA_REQUIRE(src->height < kAdaptiveSizeLimit && src->width < kAdaptiveSizeLimit, kInvalid);
    const AdaptiveDemosaicArea area{static_cast<const float*>(src->data),
                                    0,
                                    0,
                                    src->height,
                                    src->width,
                                    static_cast<float*>(dst->data),
                                    0,
                                    0,
                                    dst->height,
                                    dst->width,
                                    src->height,
                                    src->width};
    return adaptive_demosaic_kernel(area, cfa_pattern);
}

extern "C" LUMRA_API LumraStatus lumra_adaptive_demosaic_region(const LumraImage* src,
                                                                const LumraRegion* src_region, LumraImage* dst,
                                                                const LumraRegion* dst_region,
                                                                const int32_t* cfa_pattern) noexcept {
    LUMRA_REQUIRE(src && dst && cfa_pattern && src_region && dst_region, kInvalid);
    LUMRA_REQUIRE(has_data(src) && has_data(dst), kInvalid);
    LUMRA_REQUIRE(is_float(src), kUnsupported);
    LUMRA_REQUIRE(src->channels == 1, kInvalid);
    LUMRA_REQUIRE(is_float(dst), kUnsupported);
    LUMRA_REQUIRE(dst->channels == 3, kInvalid);
    for (int i = 0; i < 4; ++i) LUMRA_REQUIRE(static_cast<uint32_t>(cfa_pattern[i]) <= 2u, kInvalid);
    LUMRA_REQUIRE(is_bayer(cfa_pattern), kUnsupported);
    const LumraStatus window = check_source_window(src, src_region, dst, dst_region, kAdaptiveDemosaicReach);
    if (window != LUMRA_OK) return window;
    LUMRA_REQUIRE(dst_region->full_height < kAdaptiveSizeLimit && dst_region->full_width < kAdaptiveSizeLimit,
                  kInvalid);
    const AdaptiveDemosaicArea area{static_cast<const float*>(src->data),
                                    src_region->top,
                                    src_region->left,
                                    src->height,
                                    src->width,
                                    static_cast<float*>(dst->data),
                                    dst_region->top,
                                    dst_region->left,
                                    dst->height,
                                    dst->width,
                                    dst_region->full_height,
                                    dst_region->full_width};
    return adaptive_demosaic_kernel(area, cfa_pattern);
}
