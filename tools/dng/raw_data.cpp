#include "dng/raw_data.h"

#include "dng/ljpeg_decoder.h"

#include <libdeflate.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

namespace lumra_tools {
namespace {

// The most a deflate stream can expand (about 1032:1), and the fewest bits a
// lossless JPEG sample can take: sizes beyond these are damaged, not large.
constexpr uint64_t kDeflateExpansion = 1040;
constexpr uint64_t kJpegSamplesPerByte = 8;

struct Block {
    uint32_t x = 0, y = 0;       // top-left in the image
    uint32_t cols = 0, rows = 0;  // the part inside the image
    uint32_t stored_rows = 0;     // rows the stored block holds
};

uint32_t blocks_across(const RawLayout& l) { return (l.width + l.block_width - 1) / l.block_width; }
uint32_t blocks_down(const RawLayout& l) { return (l.height + l.block_height - 1) / l.block_height; }

Block block_at(const RawLayout& l, size_t index) {
    Block b;
    b.x = uint32_t(index % blocks_across(l)) * l.block_width;
    b.y = uint32_t(index / blocks_across(l)) * l.block_height;
    b.cols = std::min(l.block_width, l.width - b.x);
    b.rows = std::min(l.block_height, l.height - b.y);
    // Tiles are stored whole; a strip holds only the rows left in the image.
    b.stored_rows = l.tiled ? l.block_height : b.rows;
    return b;
}

uint64_t stored_row_bytes(const RawLayout& l) {
    return (uint64_t(l.block_width) * l.samples * l.bits + 7) / 8;
}

std::string block_name(const RawLayout& l, size_t index) {
    return std::string(l.tiled ? "tile " : "strip ") + std::to_string(index);
}

bool predictor_allowed(const RawLayout& l) {
    if (l.compression != raw_compression::kDeflate || l.predictor == 1) return true;
    if (l.floating_point) return l.predictor == 3 || l.predictor == 34894 || l.predictor == 34895;
    return l.predictor == 2 || l.predictor == 34892 || l.predictor == 34893;
}

// Pixels between the samples a predictor differences.
uint32_t predictor_span(uint32_t predictor) {
    return predictor == 34892 || predictor == 34894 ? 2 : predictor == 34893 || predictor == 34895 ? 4 : 1;
}

struct Worker {
    LosslessJpegDecoder jpeg;
    std::vector<uint16_t> block;
    std::vector<uint8_t> bytes;
    std::vector<uint16_t> row_values;
    std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater{
        nullptr, libdeflate_free_decompressor};
};

// One stored row (stored_width * samples values) from its bytes to 16-bit
// values: 8 bits as bytes, 16 bits in the file's byte order, any other size
// packed most significant bit first whatever the byte order.
void unpack_integer_row(const RawLayout& l, const uint8_t* src, uint16_t* dst, size_t count) {
    if (l.bits == 16) {
        for (size_t i = 0; i < count; ++i)
            dst[i] = l.big_endian ? uint16_t((src[2 * i] << 8) | src[2 * i + 1])
                                  : uint16_t(src[2 * i] | (src[2 * i + 1] << 8));
    } else if (l.bits == 8) {
        for (size_t i = 0; i < count; ++i) dst[i] = src[i];
    } else {
        uint64_t buffer = 0;
        uint32_t held = 0;
        const uint32_t mask = (1u << l.bits) - 1;
        for (size_t i = 0; i < count; ++i) {
            while (held < l.bits) {
                buffer = (buffer << 8) | *src++;
                held += 8;
            }
            held -= l.bits;
            dst[i] = uint16_t((buffer >> held) & mask);
        }
    }
}

// IEEE half and DNG's 24-bit float to float; every value of both is exact in float.
inline float half_value(uint32_t h) {
    const uint32_t sign = (h >> 15) << 31, exponent = (h >> 10) & 31, mantissa = h & 0x3ff;
    if (exponent == 0) [[unlikely]]
        return std::bit_cast<float>(sign) + (sign ? -1.0f : 1.0f) * std::ldexp(float(mantissa), -24);
    if (exponent == 31) [[unlikely]]
        return std::bit_cast<float>(sign | 0x7f800000u | (mantissa << 13));
    return std::bit_cast<float>(sign | ((exponent - 15 + 127) << 23) | (mantissa << 13));
}

inline float fp24_value(uint32_t v) {
    const uint32_t sign = ((v >> 23) & 1) << 31, exponent = (v >> 16) & 127, mantissa = v & 0xffff;
    if (exponent == 0) [[unlikely]]
        return std::bit_cast<float>(sign) + (sign ? -1.0f : 1.0f) * std::ldexp(float(mantissa), -78);
    if (exponent == 127) [[unlikely]]
        return std::bit_cast<float>(sign | 0x7f800000u | (mantissa << 7));
    return std::bit_cast<float>(sign | ((exponent - 63 + 127) << 23) | (mantissa << 7));
}

float float_of(uint32_t v, uint32_t bytes) {
    return bytes == 4 ? std::bit_cast<float>(v) : bytes == 3 ? fp24_value(v) : half_value(v);
}

// One row of floats of `Bytes` bytes, each stored whole in the file's byte order.
template <uint32_t Bytes>
void floats_in_order(const uint8_t* src, float* dst, size_t count, bool big_endian) {
    for (size_t i = 0; i < count; ++i, src += Bytes) {
        uint32_t v = 0;
        for (uint32_t k = 0; k < Bytes; ++k) v = (v << 8) | src[big_endian ? k : Bytes - 1 - k];
        dst[i] = float_of(v, Bytes);
    }
}

// One row of floats stored as byte planes (most significant first) of
// `count` bytes each, differenced along the row with `stride`: undone in place.
template <uint32_t Bytes>
void floats_from_planes(uint8_t* planes, size_t count, size_t stride, float* dst, size_t keep) {
    for (size_t i = stride; i < count * Bytes; ++i) planes[i] = uint8_t(planes[i] + planes[i - stride]);
    for (size_t i = 0; i < keep; ++i) {
        uint32_t v = 0;
        for (uint32_t k = 0; k < Bytes; ++k) v = (v << 8) | planes[k * count + i];
        dst[i] = float_of(v, Bytes);
    }
}

void float_row_in_order(uint32_t bits, const uint8_t* src, float* dst, size_t keep, bool big_endian) {
    if (bits == 16) floats_in_order<2>(src, dst, keep, big_endian);
    else if (bits == 24) floats_in_order<3>(src, dst, keep, big_endian);
    else floats_in_order<4>(src, dst, keep, big_endian);
}

void float_row_from_planes(uint32_t bits, uint8_t* planes, size_t count, size_t stride, float* dst, size_t keep) {
    if (bits == 16) floats_from_planes<2>(planes, count, stride, dst, keep);
    else if (bits == 24) floats_from_planes<3>(planes, count, stride, dst, keep);
    else floats_from_planes<4>(planes, count, stride, dst, keep);
}

class BlockDecoder {
public:
    BlockDecoder(const RawLayout& l, const uint8_t* file, RawSamples& out) : l_(l), file_(file), out_(out) {}

    bool decode(size_t index, Worker& w, std::string& error) {
        const Block b = block_at(l_, index);
        const uint8_t* data = file_ + l_.offsets[index];
        const size_t size = size_t(l_.byte_counts[index]);
        std::string problem;
        bool ok;
        if (l_.compression == raw_compression::kLosslessJpeg) {
            ok = decode_jpeg(b, data, size, w, problem);
        } else if (l_.compression == raw_compression::kDeflate) {
            ok = inflate(b, data, size, w, problem) && store_rows(b, w.bytes.data(), w);
        } else {
            ok = store_rows(b, data, w);
        }
        if (!ok) error = block_name(l_, index) + " " + problem;
        return ok;
    }

private:
    bool decode_jpeg(const Block& b, const uint8_t* data, size_t size, Worker& w, std::string& problem) {
        const size_t row = size_t(l_.block_width) * l_.samples;
        const size_t needed = row * b.stored_rows;
        const size_t capacity = std::min(row * l_.block_height, std::max<size_t>(needed, size * kJpegSamplesPerByte));
        w.block.resize(capacity);
        if (!w.jpeg.decode(data, size, w.block.data(), needed, capacity, problem)) return false;
        for (uint32_t r = 0; r < b.rows; ++r)
            std::memcpy(&out_.integers[(size_t(b.y + r) * l_.width + b.x) * l_.samples], &w.block[r * row],
                        size_t(b.cols) * l_.samples * 2);
        return true;
    }

    bool inflate(const Block& b, const uint8_t* data, size_t size, Worker& w, std::string& problem) {
        // A last strip may be stored whole or cut to the rows left in the image.
        const size_t expected = size_t(stored_row_bytes(l_) * b.stored_rows);
        const size_t capacity = size_t(std::min(stored_row_bytes(l_) * l_.block_height,
                                                std::max<uint64_t>(expected, size * kDeflateExpansion + 64)));
        w.bytes.resize(capacity);
        if (!w.inflater) w.inflater.reset(libdeflate_alloc_decompressor());
        if (!w.inflater) {
            problem = "cannot be inflated (out of memory)";
            return false;
        }
        // Bytes after the end of the zlib stream (padding some writers add) are ignored.
        size_t used = 0, actual = 0;
        const libdeflate_result r =
            libdeflate_zlib_decompress_ex(w.inflater.get(), data, size, w.bytes.data(), capacity, &used, &actual);
        if (r == LIBDEFLATE_SUCCESS && actual >= expected) return true;
        if (r == LIBDEFLATE_SUCCESS || r == LIBDEFLATE_SHORT_OUTPUT)
            problem = "inflates to " + std::to_string(actual) + " bytes where it holds " + std::to_string(expected);
        else if (r == LIBDEFLATE_INSUFFICIENT_SPACE)
            problem = "inflates to more than the " + std::to_string(capacity) + " bytes it holds";
        else
            problem = "holds damaged deflate data";
        return false;
    }

    // Stored rows (uncompressed or inflated) into the image, undoing the
    // predictor of inflated data on the way.
    bool store_rows(const Block& b, const uint8_t* src, Worker& w) {
        const size_t count = size_t(l_.block_width) * l_.samples;
        const size_t row_bytes = size_t(stored_row_bytes(l_));
        const size_t keep = size_t(b.cols) * l_.samples;
        const size_t stride = size_t(predictor_span(l_.predictor)) * l_.samples;
        const bool predicted = l_.compression == raw_compression::kDeflate && l_.predictor != 1;
        for (uint32_t r = 0; r < b.rows; ++r, src += row_bytes) {
            const size_t at = (size_t(b.y + r) * l_.width + b.x) * l_.samples;
            if (l_.floating_point) {
                float* dst = &out_.floats[at];
                if (predicted)  // inflated rows, in the worker's own buffer: undone in place
                    float_row_from_planes(l_.bits, w.bytes.data() + size_t(r) * row_bytes, count, stride, dst, keep);
                else
                    float_row_in_order(l_.bits, src, dst, keep, l_.big_endian);
                continue;
            }
            uint16_t* dst = &out_.integers[at];
            if (!predicted) {
                unpack_integer_row(l_, src, dst, keep);
                continue;
            }
            w.row_values.resize(count);
            unpack_integer_row(l_, src, w.row_values.data(), count);
            const uint32_t mask = l_.bits == 16 ? 0xffffu : (1u << l_.bits) - 1;
            uint16_t* v = w.row_values.data();
            for (size_t i = stride; i < count; ++i) v[i] = uint16_t((v[i] + v[i - stride]) & mask);
            std::memcpy(dst, v, keep * 2);
        }
        return true;
    }

    const RawLayout& l_;
    const uint8_t* file_;
    RawSamples& out_;
};

}  // namespace

bool check_raw_layout(const RawLayout& l, uint64_t file_size, std::string& error) {
    if (l.compression != raw_compression::kNone && l.compression != raw_compression::kLosslessJpeg &&
        l.compression != raw_compression::kDeflate) {
        error = "uses compression " + std::to_string(l.compression) +
                (l.compression == 34892 ? " (lossy JPEG)" : "") +
                "; only uncompressed, lossless JPEG (7) and deflate (8) raw data are supported";
        return false;
    }
    if (l.floating_point ? (l.bits != 16 && l.bits != 24 && l.bits != 32) || l.compression == 7
                         : l.bits < 1 || l.bits > 16) {
        error = "stores " + std::to_string(l.bits) + "-bit " + (l.floating_point ? "floating-point" : "integer") +
                " samples" + (l.compression == 7 ? " as lossless JPEG" : "") +
                ", which are not supported (integers of 1 to 16 bits, floats of 16, 24 or 32 bits are)";
        return false;
    }
    if (!predictor_allowed(l)) {
        error = "uses predictor " + std::to_string(l.predictor) + ", which is not supported for " +
                (l.floating_point ? "floating-point" : "integer") + " deflate data";
        return false;
    }
    if (l.block_width == 0 || l.block_height == 0) {
        error = std::string("has ") + (l.tiled ? "tiles" : "strips") + " of no size";
        return false;
    }
    const size_t blocks = size_t(blocks_across(l)) * blocks_down(l);
    if (l.offsets.size() != blocks || l.byte_counts.size() != blocks) {
        error = "has " + std::to_string(l.offsets.size()) + " " + (l.tiled ? "tile" : "strip") + " offsets and " +
                std::to_string(l.byte_counts.size()) + " byte counts where its size needs " + std::to_string(blocks);
        return false;
    }
    uint64_t stored = 0;  // blocks do not overlap: together they fit in the file
    for (size_t i = 0; i < blocks; ++i) {
        const uint64_t offset = l.offsets[i], count = l.byte_counts[i];
        stored += std::min(count, file_size);
        if (stored > file_size) {
            error = std::string("has ") + (l.tiled ? "tiles" : "strips") + " of more bytes together than the file holds";
            return false;
        }
        if (count == 0 || offset > file_size || count > file_size - offset) {
            error = block_name(l, i) + (count == 0 ? " is empty" : " lies past the end of the file") + " (offset " +
                    std::to_string(offset) + ", " + std::to_string(count) + " bytes, file of " +
                    std::to_string(file_size) + " bytes)";
            return false;
        }
        const Block b = block_at(l, i);
        const uint64_t row_bytes = stored_row_bytes(l);
        const uint64_t samples = uint64_t(l.block_width) * l.samples * b.stored_rows;
        bool fits;
        if (l.compression == raw_compression::kNone)
            fits = count >= row_bytes * (b.rows - 1) + (uint64_t(b.cols) * l.samples * l.bits + 7) / 8;
        else if (l.compression == raw_compression::kDeflate)
            fits = row_bytes * b.stored_rows <= count * kDeflateExpansion + 64;
        else
            fits = samples <= count * kJpegSamplesPerByte;
        if (!fits) {
            error = block_name(l, i) + " has " + std::to_string(count) + " bytes, " +
                    (l.compression == raw_compression::kNone ? "too few" : "far too few") + " for its " +
                    std::to_string(l.block_width) + " x " + std::to_string(b.stored_rows) + " x " +
                    std::to_string(l.samples) + " samples";
            return false;
        }
    }
    return true;
}

bool decode_raw_data(const RawLayout& l, const uint8_t* file, size_t file_size, unsigned threads, RawSamples& out,
                     std::string& error) {
    if (!check_raw_layout(l, file_size, error)) return false;
    const size_t total = size_t(l.width) * l.height * l.samples;
    // Every sample is written by its block: a buffer of the right size is reused as it is.
    if (l.floating_point) {
        out.integers = {};
        out.floats.resize(total);
    } else {
        out.floats = {};
        out.integers.resize(total);
    }
    const size_t blocks = l.offsets.size();
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads = unsigned(std::min<size_t>(threads, blocks));
    BlockDecoder decoder(l, file, out);
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    // Blocks are taken in order and no new one after a failure, so the
    // lowest failing block is always among those decoded: it is the one named.
    std::vector<size_t> failed_block(threads, SIZE_MAX);
    std::vector<std::string> failures(threads);
    auto work = [&](unsigned t) {
        Worker worker;
        while (!failed.load(std::memory_order_relaxed)) {
            const size_t index = next.fetch_add(1);
            if (index >= blocks) return;
            if (!decoder.decode(index, worker, failures[t])) {
                failed_block[t] = index;
                failed = true;
                return;
            }
        }
    };
    if (threads <= 1) {
        work(0);
    } else {
        std::vector<std::thread> pool;
        for (unsigned t = 0; t < threads; ++t) pool.emplace_back(work, t);
        for (std::thread& thread : pool) thread.join();
    }
    const auto first = std::min_element(failed_block.begin(), failed_block.end());
    if (first == failed_block.end() || *first == SIZE_MAX) return true;
    error = failures[size_t(first - failed_block.begin())];
    return false;
}

float half_to_float(uint16_t h) { return half_value(h); }
float fp24_to_float(uint32_t v) { return fp24_value(v); }

namespace {

// A finite float to a narrower float of `exponent_bits` and `mantissa_bits`,
// rounded to nearest even; the writer's side of the conversions above.
uint32_t narrow_float(float f, int exponent_bits, int mantissa_bits) {
    const uint32_t bits = std::bit_cast<uint32_t>(f);
    const uint32_t sign = bits >> 31;
    const int bias = (1 << (exponent_bits - 1)) - 1, max_exponent = (1 << exponent_bits) - 1;
    const float magnitude = std::fabs(f);
    uint32_t body;
    if (std::isnan(f)) {
        body = (uint32_t(max_exponent) << mantissa_bits) | 1;
    } else if (magnitude == 0.0f) {
        body = 0;
    } else {
        int e;
        std::frexp(magnitude, &e);  // magnitude = m * 2^e, m in [0.5, 1)
        int exponent = e - 1 + bias;
        if (exponent <= 0) {  // subnormal: a multiple of 2^(1 - bias - mantissa_bits)
            body = uint32_t(std::nearbyint(std::ldexp(magnitude, bias - 1 + mantissa_bits)));
        } else {
            const double scaled = std::ldexp(double(magnitude), mantissa_bits - (e - 1));
            uint64_t m = uint64_t(std::nearbyint(scaled));  // in [2^mb, 2^(mb+1)]
            if (m >> (mantissa_bits + 1)) {
                m >>= 1;
                ++exponent;
            }
            body = exponent >= max_exponent ? uint32_t(max_exponent) << mantissa_bits
                                            : (uint32_t(exponent) << mantissa_bits) |
                                                  uint32_t(m & ((1u << mantissa_bits) - 1));
        }
    }
    return (sign << (exponent_bits + mantissa_bits)) | body;
}

}  // namespace

uint16_t float_to_half(float f) { return uint16_t(narrow_float(f, 5, 10)); }
uint32_t float_to_fp24(float f) { return narrow_float(f, 7, 16); }

}  // namespace lumra_tools
