// Entries of the profile adjustments.
#include "frame/checks.h"
#include "profile/profile_kernels.h"

using namespace lumra;

extern "C" LUMRA_API LumraStatus lumra_apply_hue_sat_map(LumraImage* image, const float* map, int32_t hue_divisions,
                                                         int32_t sat_divisions, int32_t val_divisions) noexcept {
    LUMRA_REQUIRE(image && map, kInvalid);
    LUMRA_REQUIRE(has_data(image), kInvalid);
    LUMRA_REQUIRE(is_float(image), kUnsupported);
    LUMRA_REQUIRE(image->channels == 3, kInvalid);
    LUMRA_REQUIRE(reserved_clear(image), kInvalid);
    LUMRA_REQUIRE(hue_divisions > 0 && sat_divisions > 0, kInvalid);
    LUMRA_REQUIRE(val_divisions >= 0, kInvalid);
    LUMRA_REQUIRE(size_fits_int32(image), kInvalid);
    LUMRA_REQUIRE(sat_divisions != 1, kInvalid);
    apply_hue_sat_map_kernel(static_cast<float*>(image->data), narrow(image->height), narrow(image->width), map,
                             hue_divisions, sat_divisions, val_divisions);
    return LUMRA_OK;
}

extern "C" LUMRA_API LumraStatus lumra_apply_exposure_ramp(const LumraImage* src, LumraImage* dst, double white_level,
                                                           double black_level, double ramp_width,
                                                           bool allow_overrange) noexcept {
    LUMRA_REQUIRE(src && dst, kInvalid);
    LUMRA_REQUIRE(has_data(src) && has_data(dst), kInvalid);
    LUMRA_REQUIRE(is_float(src) && is_float(dst), kUnsupported);
    LUMRA_REQUIRE(src->channels == 3 && dst->channels == 3, kInvalid);
    LUMRA_REQUIRE(reserved_clear(src) && reserved_clear(dst), kInvalid);
    LUMRA_REQUIRE(same_size(src, dst), kInvalid);
    LUMRA_REQUIRE(size_fits_int32(src), kInvalid);
    apply_exposure_ramp_kernel(static_cast<const float*>(src->data), static_cast<float*>(dst->data),
                               narrow(src->height), narrow(src->width), white_level, black_level, ramp_width,
                               allow_overrange);
    return LUMRA_OK;
}

extern "C" LUMRA_API LumraStatus lumra_apply_profile_gain_table_map(LumraImage* image, const float* gains,
                                                                    int32_t points_v, int32_t points_h,
                                                                    int32_t points_n, const float* weights,
                                                                    float spacing_v, float spacing_h, float origin_v,
                                                                    float origin_h, float gamma,
                                                                    float exposure_gain) noexcept {
    LUMRA_REQUIRE(image, kInvalid);
    LUMRA_REQUIRE(weights, kInvalid);
    LUMRA_REQUIRE(gains, kInvalid);
    LUMRA_REQUIRE(has_data(image), kInvalid);
    LUMRA_REQUIRE(is_float(image), kUnsupported);
    LUMRA_REQUIRE(image->channels == 3, kInvalid);
    LUMRA_REQUIRE(reserved_clear(image), kInvalid);
    LUMRA_REQUIRE(points_v > 0 && points_h > 0 && points_n > 0, kInvalid);
    LUMRA_REQUIRE(size_fits_int32(image), kInvalid);
    const ImagePlace whole{0, 0, narrow(image->height), narrow(image->width)};
    apply_profile_gain_table_map_kernel(static_cast<float*>(image->data), narrow(image->height),
                                        narrow(image->width), whole, points_v, points_h, spacing_v, spacing_h,
                                        origin_v, origin_h, points_n, weights, gamma, gains, exposure_gain);
    return LUMRA_OK;
}

extern "C" LUMRA_API LumraStatus lumra_apply_profile_gain_table_map_region(
    LumraImage* image, const LumraRegion* region, const float* gains, int32_t points_v, int32_t points_h,
    int32_t points_n, const float* weights, float spacing_v, float spacing_h, float origin_v, float origin_h,
    float gamma, float exposure_gain) noexcept {
    LUMRA_REQUIRE(image && region, kInvalid);
    LUMRA_REQUIRE(weights, kInvalid);
    LUMRA_REQUIRE(gains, kInvalid);
    LUMRA_REQUIRE(has_data(image), kInvalid);
    LUMRA_REQUIRE(is_float(image), kUnsupported);
    LUMRA_REQUIRE(image->channels == 3, kInvalid);
    LUMRA_REQUIRE(reserved_clear(image), kInvalid);
    LUMRA_REQUIRE(points_v > 0 && points_h > 0 && points_n > 0, kInvalid);
    LUMRA_REQUIRE(fits_int32(region->full_height) && fits_int32(region->full_width), kInvalid);
    LUMRA_REQUIRE(region_clear(region), kInvalid);
    LUMRA_REQUIRE(part_inside(image, region), kRegion);
    const ImagePlace place{narrow(region->top), narrow(region->left), narrow(region->full_height),
                           narrow(region->full_width)};
    apply_profile_gain_table_map_kernel(static_cast<float*>(image->data), narrow(image->height),
                                        narrow(image->width), place, points_v, points_h, spacing_v, spacing_h,
                                        origin_v, origin_h, points_n, weights, gamma, gains, exposure_gain);
    return LUMRA_OK;
}
