#pragma once

#include "dng/dng_file.h"
#include "dng/raw_data.h"

#include <string>

namespace lumra_tools {

// Reads a DNG's 2 x 2 CFA or three-sample linear raw image, decoding its
// blocks on `threads` threads (0: one per core). False with a one-line
// reason (without the file name) on any problem.
bool read_dng(const std::string& path, DngFile& dng, std::string& error, unsigned threads = 0);

// The stored layout of a DNG's raw image (for timing its decoding alone).
bool read_dng_layout(const std::string& path, RawLayout& layout, std::string& error);

// Reads the profile tags of a DNG camera profile (.dcp) file.
bool read_camera_profile(const std::string& path, ColorProfile& profile, std::string& error);

}  // namespace lumra_tools
