// Clip and transform: each channel limited from above, the matrix, then the
// unit clamp, on float RGB.
#include "color/color_kernels.h"
#include "color/stage_blocks.h"

namespace lumra {

void clip_and_transform_color_kernel(const float* src_data, float* dst_data, uint64_t pixel_count,
                                     const float* clip_max, const float* matrix) noexcept {
    const Matrix3 m = Matrix3::plain(matrix);
    const float clip_r = clip_max[0], clip_g = clip_max[1], clip_b = clip_max[2];
    run_pixel_blocks(src_data, dst_data, pixel_count, [=](const float* pixel, auto tag) {
        using V = decltype(tag);
        const Rgb<V> x = load_rgb(pixel, tag);
        // No lower limit before the matrix: negative samples pass unchanged.
        const Rgb<V> clipped{upper_limit(x.r, V(clip_r)), upper_limit(x.g, V(clip_g)), upper_limit(x.b, V(clip_b))};
        return each_channel(m.apply(clipped), [](V s) { return clamp_unit(s); });
    });
}

}  // namespace lumra
