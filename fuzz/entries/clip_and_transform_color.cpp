// lumra_clip_and_transform_color on float RGB.
#include "support/entry_harness.h"

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const std::vector<float> clip = in.numbers(3), matrix = in.numbers(9);
    const float* clip_pointer = in.table(clip);
    const float* matrix_pointer = in.table(matrix);
    Shape shape = draw_shape(in, 8, 40, 3, {LUMRA_DTYPE_FLOAT32});
    Arguments args;
    const int src = args.add(in, shape, true);
    const int dst = args.add(in, draw_like(in, shape), false);
    check_call(args, [&](Arguments& a, Path) {
        return lumra_clip_and_transform_color(a[src], a[dst], clip_pointer, matrix_pointer);
    });
    return 0;
}
