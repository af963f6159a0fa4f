// lumra_apply_profile_gain_table_map: compares every level with the others
// and with the path taken when working memory cannot be had.
#include "calls/profile.h"
#include "profile/profile_kernels.h"

#include <cstring>

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const GainTableMapCall c(in);
    Arguments args;
    const int image = args.add(in, c.shape(in), false);
    const Arguments& initial = args;
    check_call(
        args,
        [&](Arguments& a, Path path) {
            const LumraStatus status = c.whole(a[image]);
            if (status != LUMRA_OK || path != Path::alternate) return status;
            const Image& before = initial.image(image);
            if (before.bytes) std::memcpy(a.image(image).buffer.get(), before.buffer.get(), before.bytes);
            const int32_t height = int32_t(before.desc.height), width = int32_t(before.desc.width);
            const lumra::ImagePlace whole{0, 0, height, width};
            lumra::apply_profile_gain_table_map_without_working_memory(
                floats(a, image), height, width, whole, c.points_v, c.points_h, c.spacing_v, c.spacing_h, c.origin_v,
                c.origin_h, c.points_n, c.weights_pointer, c.gamma, c.gains_pointer, c.exposure);
            return status;
        },
        {Path::widest, Path::avx2, Path::baseline, Path::alternate});
    return 0;
}
