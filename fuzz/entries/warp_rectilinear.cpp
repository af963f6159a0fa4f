// lumra_warp_rectilinear: bilinear and bicubic, any coefficients per plane.
#include "support/entry_harness.h"

#include <algorithm>

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const int32_t planes = in.count(1, 3), radial_count = in.count(1, 5);
    std::vector<double> radial = in.dnumbers(size_t(std::max(planes, 0)) * size_t(std::max(radial_count, 0)));
    // Mostly near the identity warp, so pixels land inside the image.
    if (in.flag())
        for (size_t i = 0; i < radial.size(); ++i) radial[i] = (i % size_t(radial_count) == 0 ? 1.0 : 0.0) + radial[i] / 16;
    const std::vector<double> tangential = in.dnumbers(size_t(std::max(planes, 0)) * 2);
    const double* radial_pointer = in.table(radial);
    const double* tangential_pointer = in.flag() ? tangential.data() : nullptr;
    const double center_x = in.dnumber(), center_y = in.dnumber();
    const bool bicubic = in.flag();
    Shape shape = draw_shape(in, 10, 40, in.pick<uint64_t>({1, 3, 3, 2, 4}), {LUMRA_DTYPE_FLOAT32});
    Arguments args;
    const int src = args.add(in, shape, true);
    const int dst = args.add(in, draw_like(in, shape), false);
    check_call(args, [&](Arguments& a, Path) {
        return lumra_warp_rectilinear(a[src], a[dst], radial_pointer, planes, radial_count, tangential_pointer,
                                      center_x, center_y, bicubic);
    });
    return 0;
}
