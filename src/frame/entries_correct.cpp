// Entries of the lens and sensor corrections.
#include "checks.h"
#include "correct/correct_kernels.h"

using namespace lumra;

extern "C" LUMRA_API LumraStatus lumra_apply_gain_map(LumraImage* image, const float* gains, int32_t map_points_v,
                                                      int32_t map_points_h, int32_t map_planes, int32_t top,
                                                      int32_t left, int32_t bottom, int32_t right, int32_t plane,
                                                      int32_t planes, int32_t row_pitch, int32_t col_pitch,
                                                      double map_spacing_v, double map_spacing_h, double map_origin_v,
                                                      double map_origin_h) noexcept {
    LUMRA_REQUIRE(image, kInvalid);
    LUMRA_REQUIRE(map_planes > 0, kInvalid);
    LUMRA_REQUIRE(map_points_h > 0, kInvalid);
    LUMRA_REQUIRE(map_points_v > 0, kInvalid);
    LUMRA_REQUIRE(gains, kInvalid);
    LUMRA_REQUIRE(has_data(image), kInvalid);
    LUMRA_REQUIRE(is_float(image), kUnsupported);
    LUMRA_REQUIRE(reserved_clear(image), kInvalid);
    LUMRA_REQUIRE(image->channels == 3, kInvalid);
    LUMRA_REQUIRE(row_pitch >= 1, kInvalid);
    LUMRA_REQUIRE(col_pitch != 0, kInvalid);
    LUMRA_REQUIRE(plane >= 0, kInvalid);
    apply_gain_map_impl(static_cast<float*>(image->data), image->height, image->width, 3, gains,
                        static_cast<uint64_t>(map_points_v), static_cast<uint64_t>(map_points_h),
                        static_cast<uint64_t>(map_planes), top, left, bottom, right, plane, planes, row_pitch,
                        col_pitch, map_spacing_v, map_spacing_h, map_origin_v, map_origin_h);
    return LUMRA_OK;
}

extern "C" LUMRA_API LumraStatus lumra_apply_gain_map_cfa(LumraImage* image, const float* gains,
                                                          int32_t map_points_v, int32_t map_points_h,
                                                          int32_t map_planes, int32_t top, int32_t left,
                                                          int32_t bottom, int32_t right, int32_t row_pitch,
                                                          int32_t col_pitch, double map_spacing_v,
                                                          double map_spacing_h, double map_origin_v,
                                                          double map_origin_h) noexcept {
    LUMRA_REQUIRE(image, kInvalid);
    LUMRA_REQUIRE(map_planes > 0, kInvalid);
    LUMRA_REQUIRE(map_points_h > 0, kInvalid);
    LUMRA_REQUIRE(map_points_v > 0, kInvalid);
    LUMRA_REQUIRE(gains, kInvalid);
    LUMRA_REQUIRE(has_data(image), kInvalid);
    LUMRA_REQUIRE(is_float(image), kUnsupported);
    LUMRA_REQUIRE(reserved_clear(image), kInvalid);
    LUMRA_REQUIRE(image->channels == 1, kInvalid);
    LUMRA_REQUIRE(row_pitch >= 1, kInvalid);
    LUMRA_REQUIRE(col_pitch != 0, kInvalid);
    apply_gain_map_impl(static_cast<float*>(image->data), image->height, image->width, 1, gains,
                        static_cast<uint64_t>(map_points_v), static_cast<uint64_t>(map_points_h),
                        static_cast<uint64_t>(map_planes), top, left, bottom, right, 0, 1, row_pitch, col_pitch,
                        map_spacing_v, map_spacing_h, map_origin_v, map_origin_h);
    return LUMRA_OK;
}

extern "C" LUMRA_API LumraStatus lumra_apply_flat_gain_map(LumraImage* image, const float* gains, int32_t map_rows,
                                                           int32_t map_cols) noexcept {
    LUMRA_REQUIRE(image, kInvalid);
    LUMRA_REQUIRE(map_cols >= 2, kInvalid);
    LUMRA_REQUIRE(map_rows >= 2, kInvalid);
    LUMRA_REQUIRE(gains, kInvalid);
    LUMRA_REQUIRE(has_data(image), kInvalid);
    LUMRA_REQUIRE(is_float(image), kUnsupported);
    LUMRA_REQUIRE(reserved_clear(image), kInvalid);
    LUMRA_REQUIRE(image->channels == 1, kInvalid);
    LUMRA_REQUIRE(image->height != 0, kInvalid);
    LUMRA_REQUIRE(image->width != 0, kInvalid);
    return apply_flat_gain_map_impl(static_cast<float*>(image->data), image->height, image->width, gains,
                                    map_rows, map_cols);
}

// An area bound pair of (0, 0) means the whole extent; any other pair must lie
// inside [0, extent] in order, since the kernel does not trim the area.
static bool area_inside(int32_t first, int32_t last, uint64_t extent) {
    if (first == 0 && last == 0) return true;
    return first >= 0 && first <= last && static_cast<uint64_t>(last) <= extent;
}

extern "C" LUMRA_API LumraStatus lumra_map_polynomial(LumraImage* image, int32_t top, int32_t left, int32_t bottom,
                                                      int32_t right, int32_t plane, int32_t planes,
                                                      int32_t row_pitch, int32_t col_pitch,
                                                      const float* coefficients, int32_t degree) noexcept {
    LUMRA_REQUIRE(image, kInvalid);
    LUMRA_REQUIRE(degree >= 0, kInvalid);
    LUMRA_REQUIRE(coefficients, kInvalid);
    LUMRA_REQUIRE(has_data(image), kInvalid);
    LUMRA_REQUIRE(is_float(image), kUnsupported);
    LUMRA_REQUIRE(reserved_clear(image), kInvalid);
    LUMRA_REQUIRE(image->channels == 1 || image->channels == 3, kInvalid);
    LUMRA_REQUIRE(row_pitch > 0, kInvalid);
    LUMRA_REQUIRE(col_pitch > 0, kInvalid);
    LUMRA_REQUIRE(size_fits_int32(image), kInvalid);
    LUMRA_REQUIRE(plane >= 0, kInvalid);
    LUMRA_REQUIRE(area_inside(top, bottom, image->height), kInvalid);
    LUMRA_REQUIRE(area_inside(left, right, image->width), kInvalid);
    apply_map_polynomial_impl(static_cast<float*>(image->data), narrow(image->height), narrow(image->width),
                              narrow(image->channels), top, left, bottom, right, plane, planes, row_pitch,
                              col_pitch, coefficients, degree);
    return LUMRA_OK;
}

extern "C" LUMRA_API LumraStatus lumra_fix_vignette(LumraImage* image, const double* coefficients,
                                                    int32_t coefficient_count, double center_x,
                                                    double center_y) noexcept {
    LUMRA_REQUIRE(image, kInvalid);
    LUMRA_REQUIRE(coefficient_count > 0, kInvalid);
    LUMRA_REQUIRE(coefficients, kInvalid);
    LUMRA_REQUIRE(has_data(image), kInvalid);
    LUMRA_REQUIRE(is_float(image), kUnsupported);
    LUMRA_REQUIRE(reserved_clear(image), kInvalid);
    if (narrow(image->height) <= 0 || narrow(image->width) <= 0 || narrow(image->channels) <= 0) return LUMRA_OK;
    LUMRA_REQUIRE(size_fits_int32(image) && fits_int32(image->channels), kInvalid);
    return fix_vignette_impl(static_cast<float*>(image->data), narrow(image->height), narrow(image->width),
                             narrow(image->channels), coefficients, coefficient_count, center_x, center_y);
}

extern "C" LUMRA_API LumraStatus lumra_warp_rectilinear(const LumraImage* source, LumraImage* destination,
                                                        const double* radial, int32_t coefficient_planes,
                                                        int32_t radial_count, const double* tangential,
                                                        double center_x, double center_y, bool bicubic) noexcept {
    LUMRA_REQUIRE(source && destination, kInvalid);
    LUMRA_REQUIRE(has_data(source), kInvalid);
    LUMRA_REQUIRE(radial_count > 0, kInvalid);
    LUMRA_REQUIRE(coefficient_planes > 0, kInvalid);
    LUMRA_REQUIRE(radial, kInvalid);
    LUMRA_REQUIRE(has_data(destination), kInvalid);
    LUMRA_REQUIRE(is_float(source) && is_float(destination), kUnsupported);
    LUMRA_REQUIRE(reserved_clear(source) && reserved_clear(destination), kInvalid);
    LUMRA_REQUIRE(source->height == destination->height, kMismatch);
    LUMRA_REQUIRE(source->width == destination->width, kMismatch);
    LUMRA_REQUIRE(source->channels == destination->channels, kMismatch);
    LUMRA_REQUIRE(fits_int32(source->channels), kInvalid);
    LUMRA_REQUIRE(!bicubic || (source->height >= 4 && source->width >= 4), kInvalid);
    warp_rectilinear(static_cast<const float*>(source->data), static_cast<float*>(destination->data),
                     source->height, source->width, narrow(source->channels), radial, coefficient_planes,
                     radial_count, tangential, center_x, center_y, bicubic);
    return LUMRA_OK;
}
