// Entries of the profile adjustments.
#include "checks.h"

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
    return LUMRA_OK;  // placeholder until the hue/saturation map lands
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
    (void)white_level, (void)black_level, (void)ramp_width, (void)allow_overrange;
    return LUMRA_OK;  // placeholder until the exposure ramp lands
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
    (void)spacing_v, (void)spacing_h, (void)origin_v, (void)origin_h, (void)gamma, (void)exposure_gain;
    return LUMRA_OK;  // placeholder until the profile gain table map lands
}
