// The geometry of the finished picture: the DNG's default crop (and user
// crop) cut out of the developed image, then its Orientation applied, on the
// 8- or 16-bit output buffer.
#pragma once

#include "develop/pipeline.h"
#include "dng/dng_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lumra_tools {

struct CropRect {
    uint32_t top = 0, left = 0, height = 0, width = 0;
};

// The rectangle of an image of height x width (active-area pixels) that the
// DefaultCropOrigin/Size and DefaultUserCrop keep; at least one pixel.
CropRect default_crop(const DngFile& dng, uint32_t height, uint32_t width);

// Copies the crop rectangle of src (height x width x channels, row-major)
// into dst, turned and flipped by a TIFF orientation (1..8; others act as 1).
// dst holds crop.height x crop.width x channels elements; its rows are the
// crop's rows for orientations 1-4 and its columns for 5-8.
template <typename T>
void crop_and_orient(const T* src, uint32_t width, uint32_t channels, const CropRect& crop, uint32_t orientation,
                     T* dst);

// Crops and orients out in place; a DefaultScale other than 1 adds a warning
// and is otherwise ignored.
void apply_output_geometry(const DngFile& dng, DevelopedImage& out, std::vector<std::string>& warnings);

}  // namespace lumra_tools
