#pragma once

#include "dng/dng_file.h"

#include <string>

namespace lumra_tools {

struct DngWriteOptions {
    // 1 none, 7 lossless JPEG, 8 deflate; any other value labels uncompressed
    // data, for tests of the reader's refusal.
    uint16_t compression = 1;
    bool with_dng_version = true;
    uint32_t rows_per_strip = 32;
    bool raw_in_sub_ifd = false;  // IFD 0 a small preview, the raw image in its sub-IFD
    uint32_t tile_width = 0, tile_height = 0;  // both set: tiles (multiples of 16) instead of strips
    uint32_t bits = 16;          // integer samples of 1 to 16 bits, packed as TIFF packs them
    uint32_t float_bits = 0;     // 16, 24 or 32: the samples as floating-point values of that size
    uint16_t predictor = 1;      // deflate: 2, 34892, 34893 for integers; 3, 34894, 34895 for floats
    bool big_endian = false;
    uint32_t jpeg_components = 1;    // lossless JPEG: rows of W samples as W / n pixels of n components
    uint32_t jpeg_restart_rows = 0;  // lossless JPEG: an RST marker after every that many rows
    int jpeg_predictor = 1;
};

bool write_dng(const std::string& path, const DngFile& dng, std::string& error,
               const DngWriteOptions& options = {});

}  // namespace lumra_tools
