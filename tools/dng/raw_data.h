// The raw image's stored samples: strips or tiles, uncompressed (8 to 16
// bits, packed as TIFF packs them), lossless JPEG, or deflate with the TIFF
// and DNG predictors, integer or floating point, in either byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lumra_tools {

namespace raw_compression {
inline constexpr uint32_t kNone = 1, kLosslessJpeg = 7, kDeflate = 8;
}

struct RawLayout {
    uint32_t width = 0, height = 0, samples = 1;
    uint32_t bits = 16;
    bool floating_point = false;  // SampleFormat 3: 16-, 24- or 32-bit floats
    uint32_t compression = raw_compression::kNone;
    uint32_t predictor = 1;
    bool big_endian = false;
    bool tiled = false;
    // Strips are blocks the width of the image and rows-per-strip high.
    uint32_t block_width = 0, block_height = 0;
    std::vector<uint64_t> offsets, byte_counts;  // one per block, in TIFF order
};

// The decoded image: 16-bit samples, or floats for floating-point data.
struct RawSamples {
    std::vector<uint16_t> integers;
    std::vector<float> floats;
};

// Checks the layout against the file's size (every block inside the file,
// sizes the stored bytes can justify); false with a one-line reason.
bool check_raw_layout(const RawLayout& layout, uint64_t file_size, std::string& error);

// Checks the layout, then decodes every block from the file's bytes on
// `threads` threads (0: one per core). False with a one-line reason naming
// the first block that fails.
bool decode_raw_data(const RawLayout& layout, const uint8_t* file, size_t file_size, unsigned threads,
                     RawSamples& out, std::string& error);

// Floating-point sample encodings to float: IEEE half, DNG's 24-bit float
// (sign, 7 exponent bits biased by 63, 16 mantissa bits).
float half_to_float(uint16_t h);
float fp24_to_float(uint32_t v);
uint16_t float_to_half(float f);
uint32_t float_to_fp24(float f);

}  // namespace lumra_tools
