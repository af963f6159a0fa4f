// lumra_apply_hue_sat_map: any table size and content. The narrower lane
// widths run through the kernel's own width switch after the entry accepts.
#include "support/entry_harness.h"

#include "profile/profile_kernels.h"

#include <algorithm>
#include <cstring>

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const int32_t hue = in.count(1, 8), sat = in.count(2, 5), val = in.count(0, 4);
    const size_t entries = size_t(std::max(hue, 0)) * size_t(std::max(sat, 0)) * size_t(std::max(val, 1)) * 3;
    std::vector<float> map = in.numbers(entries);
    const float* map_pointer = in.table(map);
    Arguments args;
    const int image = args.add(in, draw_shape(in, 10, 40, 3, {LUMRA_DTYPE_FLOAT32}), false);
    const Arguments& initial = args;
    check_call(args, [&](Arguments& a, Path path) {
        const LumraStatus status = lumra_apply_hue_sat_map(a[image], map_pointer, hue, sat, val);
        if (status != LUMRA_OK || path == Path::widest) return status;
        const Image& before = initial.image(image);
        if (before.bytes) std::memcpy(a.image(image).buffer.get(), before.buffer.get(), before.bytes);
        lumra::apply_hue_sat_map_kernel_at(path == Path::avx2 ? lumra::LaneWidth::avx2 : lumra::LaneWidth::baseline,
                                           floats(a, image), int32_t(before.desc.height), int32_t(before.desc.width),
                                           map_pointer, hue, sat, val);
        return status;
    });
    return 0;
}
