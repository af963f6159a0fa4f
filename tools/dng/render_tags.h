// Tags that shape a development beyond the raw data and the profile: the
// camera unit's calibration (IFD 0) and the default crop, user crop, scale
// and orientation of the developed image.
#pragma once

#include "dng/dng_file.h"
#include "dng/profile_tags.h"

#include <string>

namespace lumra_tools {

// The text of an ASCII or BYTE tag up to its first NUL; empty when absent.
std::string tag_text(TagSource& source, uint32_t tag);

// AnalogBalance, CameraCalibration1/2, CameraCalibrationSignature and
// Orientation, from IFD 0. False with a reason when a present tag is impossible.
bool read_camera_tags(TagSource& source, DngFile& dng, std::string& error);

// DefaultScale, DefaultCropOrigin/Size and DefaultUserCrop from the raw
// image's directory, checked against the active area (call after it is read).
bool read_crop_tags(TagSource& source, DngFile& dng, std::string& error);

}  // namespace lumra_tools
