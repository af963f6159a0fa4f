#include "develop/png_bands.h"

#include "develop/band_pool.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

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

// Filters rows [top, bottom) with the Sub filter (each byte minus the byte
// of the pixel to its left; 16-bit samples big-endian) and deflates them.
bool encode_band(const DevelopedImage& image, uint32_t top, uint32_t bottom, bool last, std::vector<uint8_t>& filtered,
                 Band& band) {
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
    z_stream z{};
    // Fast deflate that still finds the runs the Sub filter leaves in smooth
    // areas; stronger settings cost several times the whole development.
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_RLE) != Z_OK) return false;
    band.deflated.resize(deflateBound(&z, uLong(filtered.size())) + 16);
    z.next_in = filtered.data();
    z.avail_in = uInt(filtered.size());
    z.next_out = band.deflated.data();
    z.avail_out = uInt(band.deflated.size());
    const int status = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    const bool ok = last ? status == Z_STREAM_END : status == Z_OK && z.avail_in == 0;
    band.deflated.resize(z.total_out);
    deflateEnd(&z);
    band.crc = crc_of("IDAT", band.deflated.data(), band.deflated.size());
    return ok;
}

}  // namespace

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
    std::vector<std::vector<uint8_t>> filtered(pool.threads());
    if (!pool.run(
            count,
            [&](size_t index, unsigned worker, std::string& e) {
                const uint32_t top = uint32_t(index * kBandRows);
                const uint32_t bottom = std::min(image.height, top + kBandRows);
                if (encode_band(image, top, bottom, index + 1 == count, filtered[worker], bands[index])) return true;
                e = "cannot compress the PNG data";
                return false;
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
    bool ok = std::fwrite(signature, 1, 8, file) == 8 && put_chunk(file, "IHDR", header, 13) &&
              put_chunk(file, "IDAT", zlib_header, 2);
    uLong adler = adler32(0, nullptr, 0);
    for (const Band& band : bands) {
        ok = ok && put_chunk(file, "IDAT", band.deflated.data(), band.deflated.size(), band.crc);
        adler = adler32_combine(adler, band.adler, z_off_t(band.filtered_size));
    }
    const uint8_t trailer[4] = {uint8_t(adler >> 24), uint8_t(adler >> 16), uint8_t(adler >> 8), uint8_t(adler)};
    ok = ok && put_chunk(file, "IDAT", trailer, 4) && put_chunk(file, "IEND", nullptr, 0);
    if (!ok) error = "cannot write the PNG data";
    return ok;
}

}  // namespace lumra_tools
