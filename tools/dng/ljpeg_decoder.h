// Lossless JPEG (ITU-T T.81 process 14, SOF3) as DNG writers store raw
// tiles and strips: one interleaved scan of 1 to 4 components, 2 to 16 bits,
// predictors 1 to 7, point transform, restart intervals of whole rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lumra_tools {

struct LosslessJpegFrame {
    uint32_t width = 0, height = 0, components = 0, precision = 0;
    size_t samples() const { return size_t(width) * height * components; }
};

class LosslessJpegDecoder {
public:
    LosslessJpegDecoder();
    ~LosslessJpegDecoder();
    LosslessJpegDecoder(const LosslessJpegDecoder&) = delete;
    LosslessJpegDecoder& operator=(const LosslessJpegDecoder&) = delete;

    // Decodes the stream data[0, size) into out, row after row with the
    // components of each pixel side by side. The stream must code at least
    // `needed` and at most `capacity` samples (out holds capacity). False
    // with a one-line reason on any problem; out may then hold partial rows.
    bool decode(const uint8_t* data, size_t size, uint16_t* out, size_t needed, size_t capacity,
                std::string& error);
    const LosslessJpegFrame& frame() const { return frame_; }

private:
    struct Tables;
    bool parse_huffman(const uint8_t* p, size_t length, std::string& error);
    bool unstuff(const uint8_t* data, size_t size, size_t& pos, std::string& error);
    bool decode_scan(uint16_t* out, std::string& error);

    LosslessJpegFrame frame_;
    std::unique_ptr<Tables> tables_;    // the four Huffman table slots
    uint8_t frame_ids_[4] = {};
    uint8_t scan_tables_[4] = {};       // table slot of each component, in scan order
    uint32_t predictor_ = 1, point_transform_ = 0, restart_interval_ = 0;
    std::vector<uint8_t> entropy_;      // the scan's coded bits without stuffing, each segment zero-padded
    std::vector<size_t> segments_;      // start, length pairs into entropy_, one per restart interval
};

}  // namespace lumra_tools
