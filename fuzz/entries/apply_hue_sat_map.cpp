// lumra_apply_hue_sat_map: any table size and content, at every level.
#include "support/entry_harness.h"

#include <algorithm>

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const int32_t hue = in.count(1, 8), sat = in.count(2, 5), val = in.count(0, 4);
    const size_t entries = size_t(std::max(hue, 0)) * size_t(std::max(sat, 0)) * size_t(std::max(val, 1)) * 3;
    std::vector<float> map = in.numbers(entries);
    const float* map_pointer = in.table(map);
    Arguments args;
    const int image = args.add(in, draw_shape(in, 10, 40, 3, {LUMRA_DTYPE_FLOAT32}), false);
    check_call(args, [&](Arguments& a, Path) { return lumra_apply_hue_sat_map(a[image], map_pointer, hue, sat, val); });
    return 0;
}
