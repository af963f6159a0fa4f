// lumra_fix_bad_pixels_constant, into another buffer or in place, with bad
// sites anywhere (edges, corners, clusters).
#include "support/entry_harness.h"

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const uint16_t bad_value = in.flag() ? 0 : in.raw<uint16_t>();
    const int32_t phase = in.int32(0, 3);
    const bool in_place = in.flag();
    Shape shape = draw_shape(in, 10, 40, 1, {LUMRA_DTYPE_UINT16});
    Arguments args;
    const int src = args.add(in, shape, !in_place);
    const int dst = in_place ? args.add_alias(src, false) : args.add(in, draw_like(in, shape), false);
    // Mark some sites bad: a run of them from a fuzzed start and stride.
    Image& source = args.image(src);
    const size_t sites = source.bytes / 2;
    if (sites && source.desc.dtype == LUMRA_DTYPE_UINT16) {
        uint16_t* values = reinterpret_cast<uint16_t*>(source.buffer.get());
        const size_t stride = in.in_range<size_t>(1, 7);
        for (size_t i = in.in_range<size_t>(0, sites - 1), n = in.in_range(0, 64); n && i < sites; i += stride, --n)
            values[i] = bad_value;
    }
    check_call(args, [&](Arguments& a, Path) { return lumra_fix_bad_pixels_constant(a[src], a[dst], bad_value, phase); });
    return 0;
}
