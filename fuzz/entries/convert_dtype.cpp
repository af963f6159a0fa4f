// lumra_convert_dtype between any pair of element types and bit depths.
#include "support/entry_harness.h"

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const auto all = {LUMRA_DTYPE_UINT8, LUMRA_DTYPE_UINT16, LUMRA_DTYPE_FLOAT32};
    Shape shape = draw_shape(in, 8, 40, in.in_range<uint64_t>(1, 4), all);
    Shape out = draw_like(in, shape);
    out.dtype = in.dtype(all);
    const int32_t in_bits = in.bits(), out_bits = in.bits();
    const float ceiling = in.flag() ? -1.0f : in.number();
    Arguments args;
    const int src = args.add(in, shape, true);
    const int dst = args.add(in, out, false);
    check_call(args, [&](Arguments& a, Path) { return lumra_convert_dtype(a[src], a[dst], in_bits, out_bits, ceiling); });
    return 0;
}
