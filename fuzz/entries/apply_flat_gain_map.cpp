// lumra_apply_flat_gain_map: any grid stretched over any mosaic.
#include "support/entry_harness.h"

#include <algorithm>

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const int32_t rows = in.count(2, 6), cols = in.count(2, 6);
    std::vector<float> gains = in.numbers(size_t(std::max(rows, 0)) * size_t(std::max(cols, 0)));
    const float* gains_pointer = in.table(gains);
    Arguments args;
    const int image = args.add(in, draw_shape(in, 10, 40, 1, {LUMRA_DTYPE_FLOAT32}), false);
    check_call(args, [&](Arguments& a, Path) { return lumra_apply_flat_gain_map(a[image], gains_pointer, rows, cols); });
    return 0;
}
