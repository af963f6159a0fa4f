// Predicates shared by the exported entries. Each entry is a list of
// LUMRA_REQUIRE lines, one per check and in the documented order, so the first
// failing check decides the status and nothing is dereferenced before the
// check that guards it has passed.
#pragma once

#include <cstdint>

#include "lumra.h"

#define LUMRA_REQUIRE(condition, status) \
    do {                                 \
        if (!(condition)) return (status); \
    } while (0)

namespace lumra {

constexpr LumraStatus kInvalid = LUMRA_ERR_INVALID_ARGUMENT;
constexpr LumraStatus kUnsupported = LUMRA_ERR_UNSUPPORTED;
constexpr LumraStatus kMismatch = LUMRA_ERR_DIMENSION_MISMATCH;
constexpr LumraStatus kRegion = LUMRA_ERR_REGION;

inline bool has_data(const LumraImage* image) { return image->data != nullptr; }
inline bool reserved_clear(const LumraImage* image) { return image->reserved == 0; }
inline bool is_float(const LumraImage* image) { return image->dtype == LUMRA_DTYPE_FLOAT32; }
inline bool is_uint16(const LumraImage* image) { return image->dtype == LUMRA_DTYPE_UINT16; }

// Full 64-bit comparison, height first.
inline bool same_size(const LumraImage* a, const LumraImage* b) {
    return a->height == b->height && a->width == b->width;
}
inline bool same_shape(const LumraImage* a, const LumraImage* b) {
    return same_size(a, b) && a->channels == b->channels;
}

// Kernels that take 32-bit sizes need every size below 2^31; larger images
// are refused rather than silently narrowed.
inline bool fits_int32(uint64_t value) { return value < (uint64_t{1} << 31); }
inline bool size_fits_int32(const LumraImage* image) {
    return fits_int32(image->height) && fits_int32(image->width);
}

// Region entries. Every sum is formed so that no field value can overflow.
inline bool region_clear(const LumraRegion* region) { return region->reserved == 0; }

// The part described by `image` lies inside the whole image.
inline bool part_inside(const LumraImage* image, const LumraRegion* region) {
    return region->top <= region->full_height && image->height <= region->full_height - region->top &&
           region->left <= region->full_width && image->width <= region->full_width - region->left;
}

inline bool same_whole(const LumraRegion* a, const LumraRegion* b) {
    return a->full_height == b->full_height && a->full_width == b->full_width;
}

// The window (a part inside the whole image) holds whole-image rows
// [top, bottom) and columns [left, right).
inline bool window_holds(const LumraImage* window, const LumraRegion* region, uint64_t top, uint64_t left,
                         uint64_t bottom, uint64_t right) {
    return region->top <= top && bottom - region->top <= window->height && region->left <= left &&
           right - region->left <= window->width;
}

// The part's rows [top, top + height) grown by `reach` on each side and
// limited to the whole image, as [first, last) in whole-image rows (columns
// likewise with left and width).
inline uint64_t reach_before(uint64_t start, uint64_t reach) { return start > reach ? start - reach : 0; }
inline uint64_t reach_after(uint64_t end, uint64_t reach, uint64_t full) {
    return end < full && full - end > reach ? end + reach : full;
}

// The checks every region entry with a source window makes after the whole
// entry's own: both regions clear, both parts inside the whole image, the same
// whole image, and a window that holds the destination part grown by `reach`
// pixels on every side (limited to the whole image). Returns LUMRA_OK or the
// first failing status.
inline LumraStatus check_source_window(const LumraImage* src, const LumraRegion* src_region, const LumraImage* dst,
                                       const LumraRegion* dst_region, uint64_t reach) {
    LUMRA_REQUIRE(region_clear(src_region) && region_clear(dst_region), kInvalid);
    LUMRA_REQUIRE(part_inside(dst, dst_region), kRegion);
    LUMRA_REQUIRE(same_whole(src_region, dst_region), kMismatch);
    LUMRA_REQUIRE(part_inside(src, src_region), kRegion);
    const uint64_t top = reach_before(dst_region->top, reach);
    const uint64_t left = reach_before(dst_region->left, reach);
    const uint64_t bottom = reach_after(dst_region->top + dst->height, reach, dst_region->full_height);
    const uint64_t right = reach_after(dst_region->left + dst->width, reach, dst_region->full_width);
    LUMRA_REQUIRE(window_holds(src, src_region, top, left, bottom, right), kRegion);
    return LUMRA_OK;
}

// The low 32 bits of a size, as the kernels that narrow sizes see them.
inline int32_t narrow(uint64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

}  // namespace lumra
