// lumra_apply_exposure_ramp, into another buffer or in place, any levels.
#include "support/entry_harness.h"

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const double white = in.dnumber(), black = in.dnumber() / 8, ramp = in.dnumber() / 8;
    const bool overrange = in.flag(), in_place = in.flag();
    Shape shape = draw_shape(in, 10, 40, 3, {LUMRA_DTYPE_FLOAT32});
    Arguments args;
    const int src = args.add(in, shape, !in_place);
    const int dst = in_place ? args.add_alias(src, false) : args.add(in, draw_like(in, shape), false);
    check_call(args, [&](Arguments& a, Path) {
        return lumra_apply_exposure_ramp(a[src], a[dst], white, black, ramp, overrange);
    });
    return 0;
}
