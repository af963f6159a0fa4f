// A plain lossless JPEG (SOF3) writer for the sample generator, the tests
// and the benchmarks: the decoder's counterpart, built for correctness.
#pragma once

#include <cstdint>
#include <vector>

namespace lumra_tools {

// Writes samples (height x width x components, interleaved) as one SOF3
// stream with Huffman tables fitted to the data, one per component.
// restart_rows > 0 puts an RST marker after every that many rows.
std::vector<uint8_t> encode_lossless_jpeg(const uint16_t* samples, uint32_t width, uint32_t height,
                                          uint32_t components, uint32_t precision, int predictor,
                                          uint32_t restart_rows = 0, int point_transform = 0);

}  // namespace lumra_tools
