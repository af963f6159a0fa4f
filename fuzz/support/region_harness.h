// Region entries: a part of the image (a band or a tile) computed on its own
// buffers must give, bit for bit and on every path, the whole-image call's
// result on that part. A region target runs the whole-image call on the whole
// image and the region call on a part cut from it, both through check_call,
// and compares.
#pragma once

#include "support/entry_harness.h"

namespace lumra_fuzz {

// Rows [top, top + height) and columns [left, left + width) of the whole image.
struct Placement {
    uint64_t top = 0, left = 0, height = 0, width = 0;
};

// A part of a full_height x full_width image: usually inside it (a band, a
// tile, a single pixel, the whole image), now and then reaching outside.
Placement draw_part(Input& in, uint64_t full_height, uint64_t full_width);

// The part grown by `reach` pixels on every side, limited to the whole image:
// the smallest source window the part may be given. Usually that or a larger
// window; now and then a window one pixel short on some side.
Placement draw_window(Input& in, const Placement& part, uint64_t reach, uint64_t full_height,
                      uint64_t full_width);

bool inside(const Placement& part, uint64_t full_height, uint64_t full_width);
bool holds(const Placement& window, const Placement& part, uint64_t reach, uint64_t full_height,
           uint64_t full_width);

// What a region call is held to: `accepted`, that it must succeed where the
// whole-image call does; `comparable`, that when it succeeds its part equals
// the whole image's result there (not so for a region naming another whole
// size, which places the part in a different image).
struct Expectation {
    bool accepted = true;
    bool comparable = true;
};

// The region of a placement; now and then with reserved set or the whole
// image's size off by one, which the expectation records.
LumraRegion region_of(Input& in, const Placement& part, uint64_t full_height, uint64_t full_width,
                      Expectation& expect);

// Whether image `index` is a real buffer of its described size, so parts can
// be cut from it.
bool can_cut(const Arguments& whole, int index);

// Adds to `part` a packed copy of `placement` of image `index` of `whole`
// (the same element type, channels and reserved field). Returns its index.
int add_cut(Arguments& part, const Arguments& whole, int index, const Placement& placement, bool read_only);

// When both calls succeeded (and the region is comparable), the part's image
// must equal the whole result's image on the placement; when the whole call
// succeeded and the region must be accepted, the region call must succeed.
void check_region(LumraStatus whole_status, const Arguments& whole_result, int whole_index,
                  LumraStatus part_status, const Arguments& part_result, int part_index,
                  const Placement& placement, const Expectation& expect);

}  // namespace lumra_fuzz
