// lumra_transform_color: any subset of (curve, matrix, curve), any element
// types and depths, with and without hue preservation.
#include "support/entry_harness.h"

using namespace lumra_fuzz;

namespace {

std::vector<float> draw_curve(Input& in, uint64_t& size) {
    size = in.pick<uint64_t>({0, 1, 2, 3, 16, 256, 257, 1024, 4096});
    return in.numbers(size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const auto all = {LUMRA_DTYPE_UINT8, LUMRA_DTYPE_UINT16, LUMRA_DTYPE_FLOAT32};
    uint64_t lut1_size = 0, lut2_size = 0;
    const std::vector<float> lut1 = draw_curve(in, lut1_size), lut2 = draw_curve(in, lut2_size);
    const std::vector<float> matrix = in.numbers(9);
    const float* lut1_pointer = in.flag() ? lut1.data() : nullptr;
    const float* matrix_pointer = in.flag() ? matrix.data() : nullptr;
    const float* lut2_pointer = in.flag() ? lut2.data() : nullptr;
    const bool hue_preserving = in.flag();
    Shape shape = draw_shape(in, 8, 40, 3, all);
    Shape out = draw_like(in, shape);
    out.dtype = in.dtype(all);
    const int32_t in_bits = in.bits(), out_bits = in.bits();
    Arguments args;
    const int src = args.add(in, shape, true);
    const int dst = args.add(in, out, false);
    check_call(args, [&](Arguments& a, Path) {
        return lumra_transform_color(a[src], a[dst], lut1_pointer, lut1_size, matrix_pointer, lut2_pointer,
                                     lut2_size, in_bits, out_bits, hue_preserving);
    });
    return 0;
}
