// lumra_bilinear_demosaic: any 2 x 2 pattern, colours valid or not.
#include "support/entry_harness.h"

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    int32_t cfa[4];
    for (int32_t& colour : cfa) colour = in.rare(32) ? in.int32(-1, 3) : in.in_range(0, 2);
    const int32_t* cfa_pointer = in.rare(64) ? nullptr : cfa;
    Shape shape = draw_shape(in, 10, 40, 1, {LUMRA_DTYPE_FLOAT32});
    Shape out = draw_like(in, shape);
    out.channels = in.rare(32) ? in.pick<uint64_t>({1, 4}) : 3;
    Arguments args;
    const int src = args.add(in, shape, true);
    const int dst = args.add(in, out, false);
    check_call(args, [&](Arguments& a, Path) { return lumra_bilinear_demosaic(a[src], a[dst], cfa_pointer); });
    return 0;
}
