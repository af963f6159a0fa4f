#include "develop/geometry.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace lumra_tools {
namespace {

uint32_t limited(double v, uint32_t low, uint32_t high) {
    const double r = std::round(v);
    return r <= low ? low : r >= high ? high : uint32_t(r);
}

}  // namespace

CropRect default_crop(const DngFile& dng, uint32_t height, uint32_t width) {
    CropRect c{0, 0, height, width};
    if (height == 0 || width == 0) return c;
    if (dng.default_crop_size[0] > 0 && dng.default_crop_size[1] > 0) {
        c.left = limited(dng.default_crop_origin[0], 0, width - 1);
        c.top = limited(dng.default_crop_origin[1], 0, height - 1);
        c.width = limited(dng.default_crop_size[0], 1, width - c.left);
        c.height = limited(dng.default_crop_size[1], 1, height - c.top);
    }
    // The user crop is given in fractions of the default crop: top, left, bottom, right.
    const double* u = dng.default_user_crop;
    if (u[0] != 0 || u[1] != 0 || u[2] != 1 || u[3] != 1) {
        const uint32_t top = limited(u[0] * c.height, 0, c.height - 1);
        const uint32_t left = limited(u[1] * c.width, 0, c.width - 1);
        const uint32_t bottom = limited(u[2] * c.height, top + 1, c.height);
        const uint32_t right = limited(u[3] * c.width, left + 1, c.width);
        c = {c.top + top, c.left + left, bottom - top, right - left};
    }
    return c;
}

template <typename T>
void crop_and_orient(const T* src, uint32_t width, uint32_t channels, const CropRect& crop, uint32_t orientation,
                     T* dst) {
    const int64_t h = crop.height, w = crop.width;
    // Where output position (0, 0) reads in the crop, and how the source
    // position moves per output column and per output row.
    int64_t r0 = 0, c0 = 0, dr_col = 0, dc_col = 1, dr_row = 1, dc_row = 0;
    switch (orientation) {
        case 2: c0 = w - 1; dc_col = -1; break;                                       // mirrored left-right
        case 3: r0 = h - 1; c0 = w - 1; dc_col = -1; dr_row = -1; break;              // turned 180 degrees
        case 4: r0 = h - 1; dr_row = -1; break;                                       // mirrored top-bottom
        case 5: dr_col = 1; dc_col = 0; dr_row = 0; dc_row = 1; break;                // transposed
        case 6: r0 = h - 1; dr_col = -1; dc_col = 0; dr_row = 0; dc_row = 1; break;   // turned 90 clockwise
        case 7: r0 = h - 1; c0 = w - 1; dr_col = -1; dc_col = 0; dr_row = 0; dc_row = -1; break;  // transverse
        case 8: c0 = w - 1; dr_col = 1; dc_col = 0; dr_row = 0; dc_row = -1; break;   // turned 90 anticlockwise
        default: break;
    }
    const bool swapped = orientation >= 5 && orientation <= 8;
    const int64_t out_h = swapped ? w : h, out_w = swapped ? h : w;
    T* out = dst;
    for (int64_t r = 0; r < out_h; ++r) {
        int64_t sr = r0 + r * dr_row, sc = c0 + r * dc_row;
        for (int64_t c = 0; c < out_w; ++c, sr += dr_col, sc += dc_col) {
            const T* p = src + (size_t(crop.top + sr) * width + size_t(crop.left + sc)) * channels;
            for (uint32_t k = 0; k < channels; ++k) *out++ = p[k];
        }
    }
}

template void crop_and_orient<uint8_t>(const uint8_t*, uint32_t, uint32_t, const CropRect&, uint32_t, uint8_t*);
template void crop_and_orient<uint16_t>(const uint16_t*, uint32_t, uint32_t, const CropRect&, uint32_t, uint16_t*);

void apply_output_geometry(const DngFile& dng, DevelopedImage& out, std::vector<std::string>& warnings) {
    if (dng.default_scale[0] != 1.0 || dng.default_scale[1] != 1.0) {
        std::ostringstream text;
        text << "DefaultScale " << dng.default_scale[0] << " x " << dng.default_scale[1]
             << " is ignored: the output keeps the raw pixel grid";
        warnings.push_back(text.str());
    }
    const CropRect crop = default_crop(dng, out.height, out.width);
    const uint32_t orientation = dng.orientation >= 1 && dng.orientation <= 8 ? dng.orientation : 1;
    const bool whole = crop.top == 0 && crop.left == 0 && crop.height == out.height && crop.width == out.width;
    if (whole && orientation == 1) return;
    const size_t count = size_t(crop.height) * crop.width * 3;
    if (out.bits == 16) {
        SampleVector<uint16_t> turned(count);
        crop_and_orient(out.rgb16.data(), out.width, 3, crop, orientation, turned.data());
        out.rgb16.swap(turned);
    } else {
        SampleVector<uint8_t> turned(count);
        crop_and_orient(out.rgb8.data(), out.width, 3, crop, orientation, turned.data());
        out.rgb8.swap(turned);
    }
    const bool swapped = orientation >= 5;
    out.height = swapped ? crop.width : crop.height;
    out.width = swapped ? crop.height : crop.width;
}

}  // namespace lumra_tools
