// lumra_apply_gain_map_cfa on a mosaic: any grid, area, lattice and placement.
#include "support/entry_harness.h"

#include <algorithm>

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const int32_t points_v = in.count(1, 5), points_h = in.count(1, 5), map_planes = in.count(1, 3);
    const size_t entries = size_t(std::max(points_v, 0)) * size_t(std::max(points_h, 0)) * size_t(std::max(map_planes, 0));
    std::vector<float> gains = in.numbers(entries);
    const float* gains_pointer = in.table(gains);
    const int32_t top = in.int32(-2, 10), left = in.int32(-2, 40), bottom = in.int32(-2, 12), right = in.int32(-2, 42);
    const int32_t row_pitch = in.int32(1, 4), col_pitch = in.int32(-3, 4);
    const double spacing_v = in.dnumber(), spacing_h = in.dnumber(), origin_v = in.dnumber(), origin_h = in.dnumber();
    Arguments args;
    const int image = args.add(in, draw_shape(in, 10, 40, 1, {LUMRA_DTYPE_FLOAT32}), false);
    check_call(args, [&](Arguments& a, Path) {
        return lumra_apply_gain_map_cfa(a[image], gains_pointer, points_v, points_h, map_planes, top, left, bottom,
                                        right, row_pitch, col_pitch, spacing_v, spacing_h, origin_v, origin_h);
    });
    return 0;
}
