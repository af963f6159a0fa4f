#pragma once

#include "dng/dng_file.h"

#include <string>

namespace lumra_tools {

struct DngWriteOptions {
    uint16_t compression = 1;  // tests write other values to exercise the reader's refusal
    bool with_dng_version = true;
    uint32_t rows_per_strip = 32;
    bool raw_in_sub_ifd = false;  // IFD 0 a small preview, the raw image in its sub-IFD
};

bool write_dng(const std::string& path, const DngFile& dng, std::string& error,
               const DngWriteOptions& options = {});

}  // namespace lumra_tools
