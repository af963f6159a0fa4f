// The profile tags are read the same way from a DNG (through libtiff) and from
// a camera profile file (through the small reader in camera_profile.cpp).
#pragma once

#include "dng/dng_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lumra_tools {

class TagSource {
public:
    virtual ~TagSource() = default;
    virtual bool numbers(uint32_t tag, std::vector<double>& values) = 0;
    virtual bool bytes(uint32_t tag, std::vector<uint8_t>& values) = 0;
};

// False with a reason when a present tag has an impossible size.
bool read_profile_tags(TagSource& source, ColorProfile& profile, std::string& error);

}  // namespace lumra_tools
