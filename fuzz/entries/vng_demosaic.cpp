// lumra_vng_demosaic: refuses every call, whatever it is given, untouched.
#include "support/entry_harness.h"

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    int32_t cfa[4];
    for (int32_t& colour : cfa) colour = in.int32(0, 2);
    const int32_t* cfa_pointer = in.rare(4) ? nullptr : cfa;
    Shape shape = draw_shape(in, 6, 12, 1, {LUMRA_DTYPE_FLOAT32});
    Shape out = draw_like(in, shape);
    out.channels = 3;
    Arguments args;
    const int src = args.add(in, shape, true);
    const int dst = args.add(in, out, false);
    const LumraStatus status = check_call(
        args, [&](Arguments& a, Path) { return lumra_vng_demosaic(a[src], a[dst], cfa_pointer); }, {Path::widest});
    if (status != LUMRA_ERR_UNSUPPORTED) fail("lumra_vng_demosaic returned %d", int(status));
    return 0;
}
