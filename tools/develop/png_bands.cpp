#include "develop/png_bands.h"

#include "develop/band_pool.h"
#include "develop/icc_profiles.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <queue>
#include <utility>

namespace lumra_tools {
namespace {

// Rows per band: enough for deflate's Huffman tables to pay off, few enough
// that the threads share the work evenly.
constexpr uint32_t kBandRows = 32;

uint32_t crc_of(const char* type, const uint8_t* data, size_t size) {
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    return size == 0 ? uint32_t(crc) : uint32_t(crc32(crc, data, uInt(size)));  // a null buffer restarts crc32
}

bool put32(std::FILE* file, uint32_t v) {
    const uint8_t bytes[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    return std::fwrite(bytes, 1, 4, file) == 4;
}

// A chunk: length, type, data, CRC of type and data.
bool put_chunk(std::FILE* file, const char* type, const uint8_t* data, size_t size, uint32_t crc) {
    return put32(file, uint32_t(size)) && std::fwrite(type, 1, 4, file) == 4 &&
           (size == 0 || std::fwrite(data, 1, size, file) == size) && put32(file, crc);
}

bool put_chunk(std::FILE* file, const char* type, const uint8_t* data, size_t size) {
    return put_chunk(file, type, data, size, crc_of(type, data, size));
}

struct Band {
    std::vector<uint8_t> deflated;
    uLong adler = 0;
    size_t filtered_size = 0;
    uint32_t crc = 0;  // of the IDAT chunk holding the band
};

// Deflate bits, least significant first, into a buffer sized beforehand
// with 8 bytes of slack. Fewer than 8 bits stay pending between writes, so a
// write of up to 56 bits fits the 64-bit accumulator.
class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : start_(out), out_(out) {}
    void put(uint64_t bits, int count) {  // count <= 56
        buffer_ |= bits << filled_;
        filled_ += count;
        // Whole bytes out with one little-endian 8-byte store.
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out_, &buffer_, 8);
        } else {
            for (int i = 0; i < 8; ++i) out_[i] = uint8_t(buffer_ >> (8 * i));
        }
        out_ += filled_ >> 3;
        buffer_ >>= filled_ & ~7;
        filled_ &= 7;
    }
    // Pads to a byte boundary with zero bits; returns the bytes written.
    size_t flush() {
        if (filled_ > 0) *out_++ = uint8_t(buffer_);
        filled_ = 0;
        buffer_ = 0;
        return size_t(out_ - start_);
    }

private:
    uint8_t* start_;
    uint8_t* out_;
    uint64_t buffer_ = 0;
    int filled_ = 0;
};

// Huffman code lengths of at most max_length bits for the given symbol
// counts (0: the symbol is not coded). At least two symbols must be counted.
// When the tree is too deep, the counts are halved (keeping every used
// symbol) and the tree built again. Ties break on the node number, so the
// lengths depend only on the counts.
std::vector<uint8_t> code_lengths(std::vector<uint64_t> counts, int max_length) {
    const size_t n = counts.size();
    std::vector<uint8_t> lengths(n, 0);
    for (;;) {
        using Node = std::pair<uint64_t, size_t>;
        std::priority_queue<Node, std::vector<Node>, std::greater<Node>> queue;
        std::vector<size_t> parent(2 * n, 0);
        for (size_t i = 0; i < n; ++i)
            if (counts[i]) queue.push({counts[i], i});
        size_t next = n;
        while (queue.size() > 1) {
            const Node a = queue.top();
            queue.pop();
            const Node b = queue.top();
            queue.pop();
            parent[a.second] = parent[b.second] = next;
            queue.push({a.first + b.first, next++});
        }
        const size_t root = next - 1;
        std::vector<uint8_t> depth(2 * n, 0);
        for (size_t node = root; node-- > n;) depth[node] = uint8_t(depth[parent[node]] + 1);
        int deepest = 0;
        for (size_t i = 0; i < n; ++i) {
            lengths[i] = counts[i] ? uint8_t(depth[parent[i]] + 1) : 0;
            deepest = std::max<int>(deepest, lengths[i]);
        }
        if (deepest <= max_length) return lengths;
        for (uint64_t& c : counts)
            if (c) c = (c + 1) / 2;
    }
}

// Canonical codes for the lengths, bit-reversed for the LSB-first stream.
std::vector<uint16_t> canonical_codes(const std::vector<uint8_t>& lengths) {
    uint16_t count[16] = {}, next[16] = {};
    for (uint8_t l : lengths) ++count[l];
    count[0] = 0;
    for (int bits = 1, code = 0; bits < 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = uint16_t(code);
    }
    std::vector<uint16_t> codes(lengths.size(), 0);
    for (size_t i = 0; i < lengths.size(); ++i) {
        if (!lengths[i]) continue;
        const uint16_t code = next[lengths[i]]++;
        uint16_t reversed = 0;
        for (int b = 0; b < lengths[i]; ++b) reversed = uint16_t(reversed | (((code >> b) & 1u) << (lengths[i] - 1 - b)));
        codes[i] = reversed;
    }
    return codes;
}

// One non-final deflate block of literals only, with its own Huffman code,
// followed by an empty stored block, so the band's stream ends on a byte
// boundary and the next band's stream can follow it. Filtered image rows are
// mostly small differences whose repeats are short and rare in photographs,
// so coding the bytes alone keeps most of LZ77's gain at a fraction of its
// cost.
void deflate_band(const uint8_t* data, size_t size, std::vector<uint8_t>& scratch, std::vector<uint8_t>& out) {
    constexpr size_t kEnd = 256;  // end-of-block symbol
    // Four tallies, so that runs of one value do not wait on one counter.
    uint32_t tally[4][256] = {};
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        ++tally[0][data[i]];
        ++tally[1][data[i + 1]];
        ++tally[2][data[i + 2]];
        ++tally[3][data[i + 3]];
    }
    for (; i < size; ++i) ++tally[0][data[i]];
    std::vector<uint64_t> counts(257, 0);
    for (int v = 0; v < 256; ++v) counts[v] = uint64_t(tally[0][v]) + tally[1][v] + tally[2][v] + tally[3][v];
    counts[kEnd] = 1;
    if (size == 0) ++counts[0];  // two symbols at least, for a complete code
    const std::vector<uint8_t> lengths = code_lengths(counts, 15);
    const std::vector<uint16_t> codes = canonical_codes(lengths);
    // The code lengths of the 257 literal/length symbols and of the one
    // distance code (length 1, never used), sent with the code-length code.
    std::vector<uint8_t> sent(lengths);
    sent.push_back(1);
    std::vector<uint64_t> length_counts(19, 0);
    for (uint8_t l : sent) ++length_counts[l];
    const std::vector<uint8_t> length_lengths = code_lengths(length_counts, 7);
    const std::vector<uint16_t> length_codes = canonical_codes(length_lengths);

    // At most 15 bits a byte, a header of 5 + 4 + 57 + 258 * 7 bits, the end
    // code and the stored block, and 8 bytes of slack for the writer.
    if (scratch.size() < size * 2 + 512) scratch.resize(size * 2 + 512);
    BitWriter bits(scratch.data());
    bits.put(0, 1);   // not the final block
    bits.put(2, 2);   // dynamic Huffman codes
    bits.put(0, 5);   // 257 literal/length codes
    bits.put(0, 5);   // 1 distance code
    bits.put(15, 4);  // 19 code-length codes
    static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (uint8_t symbol : kOrder) bits.put(length_lengths[symbol], 3);
    for (uint8_t l : sent) bits.put(length_codes[l], length_lengths[l]);
    // Three literals at a time: at most 45 bits.
    uint32_t code_of[256];
    for (int v = 0; v < 256; ++v) code_of[v] = uint32_t(codes[v]) | uint32_t(lengths[v]) << 16;
    for (i = 0; i + 3 <= size; i += 3) {
        const uint32_t a = code_of[data[i]], b = code_of[data[i + 1]], c = code_of[data[i + 2]];
        const int la = int(a >> 16), lb = int(b >> 16), lc = int(c >> 16);
        bits.put((a & 0xffff) | uint64_t(b & 0xffff) << la | uint64_t(c & 0xffff) << (la + lb), la + lb + lc);
    }
    for (; i < size; ++i) bits.put(codes[data[i]], lengths[data[i]]);
    bits.put(codes[kEnd], lengths[kEnd]);
    bits.put(0, 3);  // an empty stored block, not final
    size_t used = bits.flush();
    for (uint8_t byte : {0x00, 0x00, 0xff, 0xff}) scratch[used++] = byte;
    out.assign(scratch.begin(), scratch.begin() + std::ptrdiff_t(used));
}

// Filters rows [top, bottom) with the Sub filter (each byte minus the byte
// of the pixel to its left; 16-bit samples big-endian) and deflates them.
struct Scratch {
    std::vector<uint8_t> filtered, deflated;
};

void encode_band(const DevelopedImage& image, uint32_t top, uint32_t bottom, Scratch& scratch, Band& band) {
    std::vector<uint8_t>& filtered = scratch.filtered;
    const size_t pixel = image.bits == 16 ? 6 : 3;
    const size_t row_bytes = size_t(image.width) * pixel;
    filtered.resize((bottom - top) * (row_bytes + 1));
    uint8_t* out = filtered.data();
    for (uint32_t r = top; r < bottom; ++r) {
        *out++ = 1;  // Sub
        if (image.bits == 16) {
            const uint16_t* in = image.rgb16.data() + size_t(r) * image.width * 3;
            const size_t count = size_t(image.width) * 3;
            for (size_t i = 0; i < count; ++i) {
                const uint16_t v = in[i], left = i >= 3 ? in[i - 3] : 0;
                out[2 * i] = uint8_t((v >> 8) - (left >> 8));
                out[2 * i + 1] = uint8_t(v - left);
            }
        } else {
            const uint8_t* in = image.rgb8.data() + size_t(r) * row_bytes;
            for (size_t i = 0; i < 3 && i < row_bytes; ++i) out[i] = in[i];
            for (size_t i = 3; i < row_bytes; ++i) out[i] = uint8_t(in[i] - in[i - 3]);
        }
        out += row_bytes;
    }
    band.filtered_size = filtered.size();
    band.adler = adler32(adler32(0, nullptr, 0), filtered.data(), uInt(filtered.size()));
    deflate_band(filtered.data(), filtered.size(), scratch.deflated, band.deflated);
    band.crc = crc_of("IDAT", band.deflated.data(), band.deflated.size());
}

}  // namespace

const char* png_profile_name(OutputSpace space) {
    switch (space) {
        case OutputSpace::prophoto: return "ProPhoto RGB";
        case OutputSpace::display_p3: return "Display P3";
        default: return "sRGB";
    }
}

bool write_png_bands(std::FILE* file, const DevelopedImage& image, unsigned threads, std::string& error) {
    const size_t row_bytes = size_t(image.width) * (image.bits == 16 ? 6 : 3);
    // One band's filtered rows must fit zlib's 32-bit counts.
    if (image.width == 0 || image.height == 0 || row_bytes + 1 > (uInt(-1) >> 1) / kBandRows ||
        image.width > 0x7fffffffu || image.height > 0x7fffffffu) {
        error = "cannot be stored as a PNG image of this size";
        return false;
    }
    const size_t count = (size_t(image.height) + kBandRows - 1) / kBandRows;
    std::vector<Band> bands(count);
    const BandPool pool(threads);
    std::vector<Scratch> scratch(pool.threads());
    if (!pool.run(
            count,
            [&](size_t index, unsigned worker, std::string&) {
                const uint32_t top = uint32_t(index * kBandRows);
                const uint32_t bottom = std::min(image.height, top + kBandRows);
                encode_band(image, top, bottom, scratch[worker], bands[index]);
                return true;
            },
            error))
        return false;

    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    const uint8_t header[13] = {uint8_t(image.width >> 24), uint8_t(image.width >> 16), uint8_t(image.width >> 8),
                                uint8_t(image.width), uint8_t(image.height >> 24), uint8_t(image.height >> 16),
                                uint8_t(image.height >> 8), uint8_t(image.height), uint8_t(image.bits),
                                2 /* RGB */, 0, 0, 0};
    // zlib header: deflate with a 32 KiB window, fastest compression level.
    static const uint8_t zlib_header[2] = {0x78, 0x01};
    bool ok = std::fwrite(signature, 1, 8, file) == 8 && put_chunk(file, "IHDR", header, 13);
    // The profile: its name, a zero byte, compression method 0, the zlib stream.
    const std::vector<uint8_t>& icc = icc_profile(image.space);
    if (!icc.empty()) {
        const char* name = png_profile_name(image.space);
        std::vector<uint8_t> chunk(name, name + std::strlen(name) + 1);
        chunk.push_back(0);
        const size_t head = chunk.size();
        uLongf size = compressBound(uLong(icc.size()));
        chunk.resize(head + size);
        ok = ok && compress2(chunk.data() + head, &size, icc.data(), uLong(icc.size()), 9) == Z_OK;
        chunk.resize(head + size);
        ok = ok && put_chunk(file, "iCCP", chunk.data(), chunk.size());
    }
    ok = ok && put_chunk(file, "IDAT", zlib_header, 2);
    uLong adler = adler32(0, nullptr, 0);
    for (const Band& band : bands) {
        ok = ok && put_chunk(file, "IDAT", band.deflated.data(), band.deflated.size(), band.crc);
        adler = adler32_combine(adler, band.adler, z_off_t(band.filtered_size));
    }
    // A final empty stored block, then the checksum of all filtered rows.
    const uint8_t trailer[9] = {0x01, 0x00, 0x00, 0xff, 0xff, uint8_t(adler >> 24), uint8_t(adler >> 16),
                                uint8_t(adler >> 8), uint8_t(adler)};
    ok = ok && put_chunk(file, "IDAT", trailer, 9) && put_chunk(file, "IEND", nullptr, 0);
    if (!ok) error = "cannot write the PNG data";
    return ok;
}

}  // namespace lumra_tools
