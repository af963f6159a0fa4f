// lumra_map_polynomial: any area, plane range, lattice and coefficients.
#include "support/entry_harness.h"

#include <algorithm>

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const int32_t degree = in.count(0, 8);
    const std::vector<float> coefficients = in.numbers(size_t(std::max(degree, 0)) + 1);
    const float* coefficients_pointer = in.table(coefficients);
    const int32_t top = in.int32(0, 10), left = in.int32(0, 40), bottom = in.int32(0, 10), right = in.int32(0, 40);
    const int32_t plane = in.int32(0, 3), planes = in.int32(0, 4);
    const int32_t row_pitch = in.int32(1, 4), col_pitch = in.int32(1, 4);
    Arguments args;
    const int image = args.add(in, draw_shape(in, 10, 40, in.pick<uint64_t>({1, 3}), {LUMRA_DTYPE_FLOAT32}), false);
    check_call(args, [&](Arguments& a, Path) {
        return lumra_map_polynomial(a[image], top, left, bottom, right, plane, planes, row_pitch, col_pitch,
                                    coefficients_pointer, degree);
    });
    return 0;
}
