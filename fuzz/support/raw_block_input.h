// The input format of the raw_data target, shared with the seed writer: an
// 8-byte header describing the layout, then each block as a 4-byte
// little-endian length and its bytes. Offsets point into the input itself,
// which stands for the file.
//   [0] width - 1, [1] height - 1 (both up to 256)
//   [2] samples: 1 + value % 4
//   [3] bits (floats: 16, 24 or 32)
//   [4] compression: value % 3 gives none, lossless JPEG, deflate
//   [5] predictor: an index into kPredictors
//   [6] bit 0 floating point, bit 1 big-endian, bit 2 tiled
//   [7] tiles: 16 (1 + high nibble % 4) wide, 16 (1 + low nibble % 4) high;
//       strips: the image's width, 1 + low nibble rows high
#pragma once

#include "dng/raw_data.h"

#include <cstring>

namespace lumra_fuzz {

inline constexpr uint32_t kPredictors[] = {1, 2, 3, 34892, 34893, 34894, 34895};
inline constexpr uint32_t kCompressions[] = {lumra_tools::raw_compression::kNone,
                                             lumra_tools::raw_compression::kLosslessJpeg,
                                             lumra_tools::raw_compression::kDeflate};
inline constexpr size_t kRawHeader = 8;

inline lumra_tools::RawLayout layout_of(const uint8_t* header) {
    lumra_tools::RawLayout l;
    l.width = header[0] + 1u;
    l.height = header[1] + 1u;
    l.samples = 1 + header[2] % 4u;
    l.bits = header[3];
    l.compression = kCompressions[header[4] % 3];
    l.predictor = kPredictors[header[5] % 7];
    l.floating_point = header[6] & 1;
    l.big_endian = header[6] & 2;
    l.tiled = header[6] & 4;
    l.block_width = l.tiled ? 16 * (1 + (header[7] >> 4) % 4u) : l.width;
    l.block_height = l.tiled ? 16 * (1 + (header[7] & 15) % 4u) : 1 + (header[7] & 15u);
    return l;
}

// Reads the blocks after the header into offsets and byte counts; stops at
// the end of the input.
inline void read_blocks(const uint8_t* data, size_t size, lumra_tools::RawLayout& l) {
    for (size_t at = kRawHeader; at + 4 <= size;) {
        uint32_t length;
        std::memcpy(&length, data + at, 4);
        at += 4;
        l.offsets.push_back(at);
        l.byte_counts.push_back(length);
        if (length > size - at) break;
        at += length;
    }
}

}  // namespace lumra_fuzz
