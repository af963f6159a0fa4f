// lumra_warp_rectilinear_source_window: on failure nothing is written; on
// success the window lies inside the whole image and keeps its size (that
// the warp accepts it and gives the whole image's bits is checked by the
// warp's region target).
#include "calls/corrections.h"

#include <cstring>

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const WarpCall call(in);
    const uint64_t full_height = in.in_range<uint64_t>(0, in.rare(16) ? uint64_t(1) << 40 : 64);
    const uint64_t full_width = in.in_range<uint64_t>(0, in.rare(16) ? uint64_t(1) << 40 : 64);
    const Placement part = draw_part(in, full_height, full_width);
    const uint64_t channels = in.rare(16) ? in.pick<uint64_t>({0, 2, 4, uint64_t(1) << 31, ~uint64_t(0)}) : 3;
    Expectation expect;
    LumraRegion placed = region_of(in, part, full_height, full_width, expect);
    const LumraRegion* placed_pointer = in.rare(64) ? nullptr : &placed;
    const bool null_outputs = in.rare(64);
    const LumraRegion untouched{11, 12, 13, 14, 15};
    LumraRegion window = untouched;
    uint64_t height = 21, width = 22;
    const LumraStatus status = lumra_warp_rectilinear_source_window(
        placed_pointer, part.height, part.width, channels, call.radial_pointer, call.planes, call.radial_count,
        call.tangential_pointer, call.center_x, call.center_y, call.bicubic, null_outputs ? nullptr : &window,
        &height, &width);
    if (status < LUMRA_OK || status > LUMRA_ERR_REGION) fail("undocumented status %d", int(status));
    if (status != LUMRA_OK) {
        if (std::memcmp(&window, &untouched, sizeof window) != 0 || height != 21 || width != 22)
            fail("a failing window query (%d) wrote its outputs", int(status));
        return 0;
    }
    const Placement found{window.top, window.left, height, width};
    if (window.full_height != placed.full_height || window.full_width != placed.full_width || window.reserved != 0 ||
        !inside(found, placed.full_height, placed.full_width))
        fail("the window %llu+%llu x %llu+%llu lies outside the whole image", (unsigned long long)found.top,
             (unsigned long long)found.height, (unsigned long long)found.left, (unsigned long long)found.width);
    return 0;
}
