// lumra_fix_vignette: any coefficients and centre, any channel count.
#include "support/entry_harness.h"

#include <algorithm>

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const int32_t count = in.count(1, 6);
    const std::vector<double> coefficients = in.dnumbers(size_t(std::max(count, 0)));
    const double* coefficients_pointer = in.table(coefficients);
    const double center_x = in.dnumber(), center_y = in.dnumber();
    Arguments args;
    const int image =
        args.add(in, draw_shape(in, 10, 40, in.pick<uint64_t>({1, 3, 1, 3, 2, 4}), {LUMRA_DTYPE_FLOAT32}), false);
    check_call(args, [&](Arguments& a, Path) {
        return lumra_fix_vignette(a[image], coefficients_pointer, count, center_x, center_y);
    });
    return 0;
}
