// lumra_mono_lut: one curve of any length, any element types.
#include "support/entry_harness.h"

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const auto all = {LUMRA_DTYPE_UINT8, LUMRA_DTYPE_UINT16, LUMRA_DTYPE_FLOAT32};
    const uint64_t lut_size = in.pick<uint64_t>({0, 1, 2, 3, 16, 255, 256, 257, 1024, 4096});
    const std::vector<float> lut = in.numbers(lut_size);
    const float* lut_pointer = in.table(lut);
    Shape shape = draw_shape(in, 12, 40, 1, all);
    Shape out = draw_like(in, shape);
    out.dtype = in.dtype(all);
    const int32_t in_bits = in.bits(), out_bits = in.bits();
    Arguments args;
    const int src = args.add(in, shape, true);
    const int dst = args.add(in, out, false);
    check_call(args, [&](Arguments& a, Path) {
        return lumra_mono_lut(a[src], a[dst], lut_pointer, lut_size, in_bits, out_bits);
    });
    return 0;
}
