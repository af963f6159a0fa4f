// Entries of the lens and sensor corrections. The in-place corrections have
// one list of checks, in their region form; the whole-image entry is the
// region entry on the part that is the whole image, whose region checks then
// always pass, so both run the same checks in the same order and the same
// kernel.
#include "frame/checks.h"
#include "correct/correct_kernels.h"

using namespace lumra;

namespace {

// The region of a whole image: the part at (0, 0) of the image's own size.
LumraRegion whole_region(const LumraImage* image) { return LumraRegion{0, 0, image->height, image->width, 0}; }

PartOfWhole part_of(const LumraImage* image, const LumraRegion* region) {
    return {region->top, region->left, image->height, image->width, region->full_height, region->full_width};
}

// Warp positions are doubles that become row and column numbers: for a whole
// image of 2^53 or more rows or columns (which no buffer could hold) they are
// neither exact nor always convertible, so such wholes are refused.
bool whole_fits_warp(const LumraRegion* region) {
    constexpr uint64_t kLimit = uint64_t{1} << 53;
    return region->full_height < kLimit && region->full_width < kLimit;
}

bool whole_fits_int32(const LumraRegion* region) {
    return fits_int32(region->full_height) && fits_int32(region->full_width);
}

// An area bound pair of (0, 0) means the whole extent; any other pair must lie
// inside [0, extent] in order, since the kernel does not trim the area.
bool area_inside(int32_t first, int32_t last, uint64_t extent) {
    if (first == 0 && last == 0) return true;
    return first >= 0 && first <= last && static_cast<uint64_t>(last) <= extent;
}

}  // namespace

extern "C" LUMRA_API LumraStatus lumra_apply_gain_map_region(
    LumraImage* image, const LumraRegion* region, const float* gains, int32_t map_points_v, int32_t map_points_h,
    int32_t map_planes, int32_t top, int32_t left, int32_t bottom, int32_t right, int32_t plane, int32_t planes,
    int32_t row_pitch, int32_t col_pitch, double map_spacing_v, double map_spacing_h, double map_origin_v,
    double map_origin_h) noexcept {
    LUMRA_REQUIRE(image && region, kInvalid);
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
    LUMRA_REQUIRE(region_clear(region), kInvalid);
    LUMRA_REQUIRE(part_inside(image, region), kRegion);
    apply_gain_map_impl(static_cast<float*>(image->data), part_of(image, region), 3, gains,
                        static_cast<uint64_t>(map_points_v), static_cast<uint64_t>(map_points_h),
                        static_cast<uint64_t>(map_planes), top, left, bottom, right, plane, planes, row_pitch,
                        col_pitch, map_spacing_v, map_spacing_h, map_origin_v, map_origin_h);
    return LUMRA_OK;
}

extern "C" LUMRA_API LumraStatus lumra_apply_gain_map(LumraImage* image, const float* gains, int32_t map_points_v,
                                                      int32_t map_points_h, int32_t map_planes, int32_t top,
                                                      int32_t left, int32_t bottom, int32_t right, int32_t plane,
                                                      int32_t planes, int32_t row_pitch, int32_t col_pitch,
                                                      double map_spacing_v, double map_spacing_h, double map_origin_v,
                                                      double map_origin_h) noexcept {
    LUMRA_REQUIRE(image, kInvalid);
    const LumraRegion whole = whole_region(image);
    return lumra_apply_gain_map_region(image, &whole, gains, map_points_v, map_points_h, map_planes, top, left,
                                       bottom, right, plane, planes, row_pitch, col_pitch, map_spacing_v,
                                       map_spacing_h, map_origin_v, map_origin_h);
}

extern "C" LUMRA_API LumraStatus lumra_apply_gain_map_cfa_region(
    LumraImage* image, const LumraRegion* region, const float* gains, int32_t map_points_v, int32_t map_points_h,
    int32_t map_planes, int32_t top, int32_t left, int32_t bottom, int32_t right, int32_t row_pitch,
    int32_t col_pitch, double map_spacing_v, double map_spacing_h, double map_origin_v,
    double map_origin_h) noexcept {
    LUMRA_REQUIRE(image && region, kInvalid);
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
    LUMRA_REQUIRE(region_clear(region), kInvalid);
    LUMRA_REQUIRE(part_inside(image, region), kRegion);
    apply_gain_map_impl(static_cast<float*>(image->data), part_of(image, region), 1, gains,
                        static_cast<uint64_t>(map_points_v), static_cast<uint64_t>(map_points_h),
                        static_cast<uint64_t>(map_planes), top, left, bottom, right, 0, 1, row_pitch, col_pitch,
                        map_spacing_v, map_spacing_h, map_origin_v, map_origin_h);
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
    const LumraRegion whole = whole_region(image);
    return lumra_apply_gain_map_cfa_region(image, &whole, gains, map_points_v, map_points_h, map_planes, top, left,
                                           bottom, right, row_pitch, col_pitch, map_spacing_v, map_spacing_h,
                                           map_origin_v, map_origin_h);
}

extern "C" LUMRA_API LumraStatus lumra_apply_flat_gain_map_region(LumraImage* image, const LumraRegion* region,
                                                                  const float* gains, int32_t map_rows,
                                                                  int32_t map_cols) noexcept {
    LUMRA_REQUIRE(image && region, kInvalid);
    LUMRA_REQUIRE(map_cols >= 2, kInvalid);
    LUMRA_REQUIRE(map_rows >= 2, kInvalid);
    LUMRA_REQUIRE(gains, kInvalid);
    LUMRA_REQUIRE(has_data(image), kInvalid);
    LUMRA_REQUIRE(is_float(image), kUnsupported);
    LUMRA_REQUIRE(reserved_clear(image), kInvalid);
    LUMRA_REQUIRE(image->channels == 1, kInvalid);
    LUMRA_REQUIRE(region->full_height != 0, kInvalid);
    LUMRA_REQUIRE(region->full_width != 0, kInvalid);
    LUMRA_REQUIRE(region_clear(region), kInvalid);
    LUMRA_REQUIRE(part_inside(image, region), kRegion);
    return apply_flat_gain_map_impl(static_cast<float*>(image->data), part_of(image, region), gains, map_rows,
                                    map_cols);
}

extern "C" LUMRA_API LumraStatus lumra_apply_flat_gain_map(LumraImage* image, const float* gains, int32_t map_rows,
                                                           int32_t map_cols) noexcept {
    LUMRA_REQUIRE(image, kInvalid);
    const LumraRegion whole = whole_region(image);
    return lumra_apply_flat_gain_map_region(image, &whole, gains, map_rows, map_cols);
}

extern "C" LUMRA_API LumraStatus lumra_map_polynomial_region(LumraImage* image, const LumraRegion* region,
                                                             int32_t top, int32_t left, int32_t bottom,
                                                             int32_t right, int32_t plane, int32_t planes,
                                                             int32_t row_pitch, int32_t col_pitch,
                                                             const float* coefficients, int32_t degree) noexcept {
    LUMRA_REQUIRE(image && region, kInvalid);
    LUMRA_REQUIRE(degree >= 0, kInvalid);
    LUMRA_REQUIRE(coefficients, kInvalid);
    LUMRA_REQUIRE(has_data(image), kInvalid);
    LUMRA_REQUIRE(is_float(image), kUnsupported);
    LUMRA_REQUIRE(reserved_clear(image), kInvalid);
    LUMRA_REQUIRE(image->channels == 1 || image->channels == 3, kInvalid);
    LUMRA_REQUIRE(row_pitch > 0, kInvalid);
    LUMRA_REQUIRE(col_pitch > 0, kInvalid);
    LUMRA_REQUIRE(whole_fits_int32(region), kInvalid);
    LUMRA_REQUIRE(plane >= 0, kInvalid);
    LUMRA_REQUIRE(area_inside(top, bottom, region->full_height), kInvalid);
    LUMRA_REQUIRE(area_inside(left, right, region->full_width), kInvalid);
    LUMRA_REQUIRE(region_clear(region), kInvalid);
    LUMRA_REQUIRE(part_inside(image, region), kRegion);
    apply_map_polynomial_impl(static_cast<float*>(image->data), part_of(image, region), narrow(image->channels), top,
                              left, bottom, right, plane, planes, row_pitch, col_pitch, coefficients, degree);
    return LUMRA_OK;
}

extern "C" LUMRA_API LumraStatus lumra_map_polynomial(LumraImage* image, int32_t top, int32_t left, int32_t bottom,
                                                      int32_t right, int32_t plane, int32_t planes,
                                                      int32_t row_pitch, int32_t col_pitch,
                                                      const float* coefficients, int32_t degree) noexcept {
    LUMRA_REQUIRE(image, kInvalid);
    const LumraRegion whole = whole_region(image);
    return lumra_map_polynomial_region(image, &whole, top, left, bottom, right, plane, planes, row_pitch, col_pitch,
                                       coefficients, degree);
}

extern "C" LUMRA_API LumraStatus lumra_fix_vignette_region(LumraImage* image, const LumraRegion* region,
                                                           const double* coefficients, int32_t coefficient_count,
                                                           double center_x, double center_y) noexcept {
    LUMRA_REQUIRE(image && region, kInvalid);
    LUMRA_REQUIRE(coefficient_count > 0, kInvalid);
    LUMRA_REQUIRE(coefficients, kInvalid);
    LUMRA_REQUIRE(has_data(image), kInvalid);
    LUMRA_REQUIRE(is_float(image), kUnsupported);
    LUMRA_REQUIRE(reserved_clear(image), kInvalid);
    // A whole image without rows, columns or channels (as 32-bit sizes) is
    // done at once; once the region checks have passed, so is any part of it.
    const bool nothing = narrow(region->full_height) <= 0 || narrow(region->full_width) <= 0 ||
                         narrow(image->channels) <= 0;
    LUMRA_REQUIRE(nothing || (whole_fits_int32(region) && fits_int32(image->channels)), kInvalid);
    LUMRA_REQUIRE(region_clear(region), kInvalid);
    LUMRA_REQUIRE(part_inside(image, region), kRegion);
    if (nothing) return LUMRA_OK;
    return fix_vignette_impl(static_cast<float*>(image->data), part_of(image, region), narrow(image->channels),
                             coefficients, coefficient_count, center_x, center_y);
}

extern "C" LUMRA_API LumraStatus lumra_fix_vignette(LumraImage* image, const double* coefficients,
                                                    int32_t coefficient_count, double center_x,
                                                    double center_y) noexcept {
    LUMRA_REQUIRE(image, kInvalid);
    const LumraRegion whole = whole_region(image);
    return lumra_fix_vignette_region(image, &whole, coefficients, coefficient_count, center_x, center_y);
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
    const PartOfWhole whole = PartOfWhole::whole(source->height, source->width);
    warp_rectilinear(static_cast<const float*>(source->data), whole, static_cast<float*>(destination->data), whole,
                     narrow(source->channels), radial, coefficient_planes, radial_count, tangential, center_x,
                     center_y, bicubic);
    return LUMRA_OK;
}

extern "C" LUMRA_API LumraStatus lumra_warp_rectilinear_region(
    const LumraImage* source, const LumraRegion* source_region, LumraImage* destination,
    const LumraRegion* destination_region, const double* radial, int32_t coefficient_planes, int32_t radial_count,
    const double* tangential, double center_x, double center_y, bool bicubic) noexcept {
    LUMRA_REQUIRE(source && source_region && destination && destination_region, kInvalid);
    LUMRA_REQUIRE(has_data(source), kInvalid);
    LUMRA_REQUIRE(radial_count > 0, kInvalid);
    LUMRA_REQUIRE(coefficient_planes > 0, kInvalid);
    LUMRA_REQUIRE(radial, kInvalid);
    LUMRA_REQUIRE(has_data(destination), kInvalid);
    LUMRA_REQUIRE(is_float(source) && is_float(destination), kUnsupported);
    LUMRA_REQUIRE(reserved_clear(source) && reserved_clear(destination), kInvalid);
    LUMRA_REQUIRE(source->channels == destination->channels, kMismatch);
    LUMRA_REQUIRE(fits_int32(source->channels), kInvalid);
    LUMRA_REQUIRE(!bicubic || (destination_region->full_height >= 4 && destination_region->full_width >= 4),
                  kInvalid);
    LUMRA_REQUIRE(whole_fits_warp(destination_region), kInvalid);
    LUMRA_REQUIRE(region_clear(source_region) && region_clear(destination_region), kInvalid);
    LUMRA_REQUIRE(part_inside(destination, destination_region), kRegion);
    LUMRA_REQUIRE(same_whole(source_region, destination_region), kMismatch);
    LUMRA_REQUIRE(part_inside(source, source_region), kRegion);
    const PartOfWhole part = part_of(destination, destination_region);
    // At once when the window holds the bound (as the query's window does),
    // else from the part's positions.
    const auto holds = [&](const SourceBox& reads) {
        return reads.top == reads.bottom ||
               window_holds(source, source_region, reads.top, reads.left, reads.bottom, reads.right);
    };
    const int channels = narrow(source->channels);
    LUMRA_REQUIRE(holds(warp_source_bound(part, channels, radial, coefficient_planes, radial_count, tangential,
                                          center_x, center_y, bicubic)) ||
                      holds(warp_source_box(part, channels, radial, coefficient_planes, radial_count, tangential,
                                            center_x, center_y, bicubic)),
                  kRegion);
    warp_rectilinear(static_cast<const float*>(source->data), part_of(source, source_region),
                     static_cast<float*>(destination->data), part, narrow(source->channels), radial,
                     coefficient_planes, radial_count, tangential, center_x, center_y, bicubic);
    return LUMRA_OK;
}

extern "C" LUMRA_API LumraStatus lumra_warp_rectilinear_source_window(
    const LumraRegion* destination_region, uint64_t height, uint64_t width, uint64_t channels, const double* radial,
    int32_t coefficient_planes, int32_t radial_count, const double* tangential, double center_x, double center_y,
    bool bicubic, LumraRegion* window, uint64_t* window_height, uint64_t* window_width) noexcept {
    LUMRA_REQUIRE(destination_region && window && window_height && window_width, kInvalid);
    LUMRA_REQUIRE(radial_count > 0, kInvalid);
    LUMRA_REQUIRE(coefficient_planes > 0, kInvalid);
    LUMRA_REQUIRE(radial, kInvalid);
    LUMRA_REQUIRE(fits_int32(channels), kInvalid);
    LUMRA_REQUIRE(!bicubic || (destination_region->full_height >= 4 && destination_region->full_width >= 4),
                  kInvalid);
    LUMRA_REQUIRE(whole_fits_warp(destination_region), kInvalid);
    LUMRA_REQUIRE(region_clear(destination_region), kInvalid);
    const LumraImage part_size{nullptr, height, width, channels, LUMRA_DTYPE_FLOAT32, 0};
    LUMRA_REQUIRE(part_inside(&part_size, destination_region), kRegion);
    const SourceBox reads = warp_source_bound(part_of(&part_size, destination_region), narrow(channels), radial,
                                              coefficient_planes, radial_count, tangential, center_x, center_y,
                                              bicubic);
    *window = LumraRegion{reads.top, reads.left, destination_region->full_height, destination_region->full_width, 0};
    *window_height = reads.bottom - reads.top;
    *window_width = reads.right - reads.left;
    return LUMRA_OK;
}
