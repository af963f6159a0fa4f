// Hue/saturation/value tables whose value axis is indexed in sRGB-encoded
// values (ProfileHueSatMapEncoding / ProfileLookTableEncoding 1): the same
// arithmetic as lumra_apply_hue_sat_map, except that the position on the
// value axis comes from the sRGB encoding of the pixel's value. Hue shift,
// saturation and value scales still act on the linear pixel.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumra_tools {

// pixels: count RGB float triples (any part of an image: the operation is
// per pixel). With srgb_value false the result equals lumra_apply_hue_sat_map.
// hue_divisions >= 1, sat_divisions >= 2, val_divisions >= 0.
void apply_hue_sat_map_encoded(float* pixels, size_t count, const float* map, int hue_divisions, int sat_divisions,
                               int val_divisions, bool srgb_value);

}  // namespace lumra_tools
