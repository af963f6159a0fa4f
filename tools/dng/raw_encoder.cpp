#include "dng/raw_encoder.h"

#include "dng/ljpeg_encoder.h"
#include "dng/raw_data.h"

#include <libdeflate.h>

#include <algorithm>
#include <bit>
#include <memory>

namespace lumra_tools {
namespace {

uint32_t predictor_span(uint32_t predictor) {
    return predictor == 34892 || predictor == 34894 ? 2 : predictor == 34893 || predictor == 34895 ? 4 : 1;
}

// Integer values of one row into bytes: 16 bits in the file's byte order,
// 8 bits as bytes, other sizes packed most significant bit first.
void pack_integer_row(const uint16_t* v, size_t count, uint32_t bits, bool big_endian, std::vector<uint8_t>& out) {
    if (bits == 16) {
        for (size_t i = 0; i < count; ++i) {
            const uint8_t high = uint8_t(v[i] >> 8), low = uint8_t(v[i]);
            out.push_back(big_endian ? high : low);
            out.push_back(big_endian ? low : high);
        }
        return;
    }
    uint64_t buffer = 0;
    uint32_t held = 0;
    for (size_t i = 0; i < count; ++i) {
        buffer = (buffer << bits) | v[i];
        for (held += bits; held >= 8; held -= 8) out.push_back(uint8_t(buffer >> (held - 8)));
    }
    if (held) out.push_back(uint8_t(buffer << (8 - held)));
}

uint32_t float_bits_of(float f, uint32_t bits) {
    return bits == 32 ? std::bit_cast<uint32_t>(f) : bits == 24 ? float_to_fp24(f) : float_to_half(f);
}

}  // namespace

bool encode_raw_block(const DngFile& dng, const DngWriteOptions& o, uint32_t x, uint32_t y, uint32_t stored_width,
                      uint32_t stored_rows, std::vector<uint8_t>& out, std::string& error) {
    const size_t row_length = size_t(stored_width) * dng.samples;
    std::vector<uint16_t> values(row_length * stored_rows);
    for (uint32_t r = 0; r < stored_rows; ++r)
        for (uint32_t c = 0; c < stored_width; ++c)
            for (uint32_t s = 0; s < dng.samples; ++s) {
                const uint32_t sy = std::min(y + r, dng.height - 1), sx = std::min(x + c, dng.width - 1);
                values[r * row_length + size_t(c) * dng.samples + s] = dng.raw[(size_t(sy) * dng.width + sx) * dng.samples + s];
            }
    if (!o.float_bits && o.bits < 16)
        for (uint16_t v : values)
            if (v >> o.bits) {
                error = "a sample value of " + std::to_string(v) + " does not fit in " + std::to_string(o.bits) + " bits";
                return false;
            }
    out.clear();
    if (o.compression == 7) {
        if (o.float_bits || row_length % o.jpeg_components) {
            error = "lossless JPEG needs integer rows that split into pixels of " + std::to_string(o.jpeg_components);
            return false;
        }
        out = encode_lossless_jpeg(values.data(), uint32_t(row_length / o.jpeg_components), stored_rows,
                                   o.jpeg_components, o.bits, o.jpeg_predictor, o.jpeg_restart_rows);
        return true;
    }
    const bool deflate = o.compression == 8;
    const size_t stride = size_t(predictor_span(o.predictor)) * dng.samples;
    std::vector<uint8_t> bytes;
    for (uint32_t r = 0; r < stored_rows; ++r) {
        uint16_t* row = &values[r * row_length];
        if (!o.float_bits) {
            if (deflate && o.predictor != 1) {
                const uint32_t mask = o.bits == 16 ? 0xffffu : (1u << o.bits) - 1;
                for (size_t i = row_length; i-- > stride;) row[i] = uint16_t((row[i] - row[i - stride]) & mask);
            }
            if (o.bits == 8)
                bytes.insert(bytes.end(), row, row + row_length);
            else
                pack_integer_row(row, row_length, o.bits, o.big_endian, bytes);
            continue;
        }
        const uint32_t size = o.float_bits / 8;
        const size_t start = bytes.size();
        bytes.resize(start + row_length * size);
        uint8_t* dst = &bytes[start];
        for (size_t i = 0; i < row_length; ++i) {
            const uint32_t v = float_bits_of(float(row[i]), o.float_bits);
            for (uint32_t k = 0; k < size; ++k) {
                const uint8_t byte = uint8_t(v >> (8 * (size - 1 - k)));  // k = 0: most significant
                if (deflate && o.predictor != 1)
                    dst[k * row_length + i] = byte;  // byte planes, most significant first
                else
                    dst[i * size + (o.big_endian ? k : size - 1 - k)] = byte;
            }
        }
        if (deflate && o.predictor != 1)
            for (size_t i = row_length * size; i-- > stride;) dst[i] = uint8_t(dst[i] - dst[i - stride]);
    }
    if (!deflate) {
        out.swap(bytes);
        return true;
    }
    std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> compressor(libdeflate_alloc_compressor(6),
                                                                                     libdeflate_free_compressor);
    out.resize(libdeflate_zlib_compress_bound(compressor.get(), bytes.size()));
    out.resize(libdeflate_zlib_compress(compressor.get(), bytes.data(), bytes.size(), out.data(), out.size()));
    return !out.empty();
}

}  // namespace lumra_tools
