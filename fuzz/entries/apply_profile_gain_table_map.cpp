// lumra_apply_profile_gain_table_map: any grid, table length, weights, gamma
// and exposure. Compares the widest lanes with the narrower ones and with the
// path taken when working memory cannot be had.
#include "support/entry_harness.h"

#include "profile/profile_kernels.h"

#include <algorithm>
#include <cstring>

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const int32_t points_v = in.count(1, 4), points_h = in.count(1, 4), points_n = in.count(1, 9);
    std::vector<float> gains =
        in.numbers(size_t(std::max(points_v, 0)) * size_t(std::max(points_h, 0)) * size_t(std::max(points_n, 0)));
    const std::vector<float> weights = in.numbers(5);
    const float* gains_pointer = in.table(gains);
    const float* weights_pointer = in.table(weights);
    const float spacing_v = in.number(), spacing_h = in.number(), origin_v = in.number(), origin_h = in.number();
    const float gamma = in.flag() ? 1.0f : in.number(), exposure = in.flag() ? 1.0f : in.number();
    Arguments args;
    const int image = args.add(in, draw_shape(in, 10, 40, 3, {LUMRA_DTYPE_FLOAT32}), false);
    const Arguments& initial = args;
    check_call(
        args,
        [&](Arguments& a, Path path) {
            const LumraStatus status =
                lumra_apply_profile_gain_table_map(a[image], gains_pointer, points_v, points_h, points_n,
                                                   weights_pointer, spacing_v, spacing_h, origin_v, origin_h, gamma,
                                                   exposure);
            if (status != LUMRA_OK || path == Path::widest) return status;
            const Image& before = initial.image(image);
            if (before.bytes) std::memcpy(a.image(image).buffer.get(), before.buffer.get(), before.bytes);
            const int32_t height = int32_t(before.desc.height), width = int32_t(before.desc.width);
            if (path == Path::alternate) {
                lumra::apply_profile_gain_table_map_without_working_memory(
                    floats(a, image), height, width, points_v, points_h, spacing_v, spacing_h, origin_v, origin_h,
                    points_n, weights_pointer, gamma, gains_pointer, exposure);
            } else {
                lumra::apply_profile_gain_table_map_kernel_at(
                    path == Path::avx2 ? lumra::LaneWidth::avx2 : lumra::LaneWidth::baseline, floats(a, image), height,
                    width, points_v, points_h, spacing_v, spacing_h, origin_v, origin_h, points_n, weights_pointer,
                    gamma, gains_pointer, exposure);
            }
            return status;
        },
        {Path::widest, Path::avx2, Path::baseline, Path::alternate});
    return 0;
}
