// Writes the seed inputs of the file targets into fuzz/corpus/TARGET/:
// small sample DNGs from the sample camera, opcode lists from the tools'
// own writer, and camera profiles. Run from the repository root:
//   build/fuzz/fuzz/lumra-fuzz-seeds
#include "dng/dng_writer.h"
#include "dng/ljpeg_encoder.h"
#include "dng/opcodes.h"
#include "dng/raw_encoder.h"
#include "sample/camera.h"
#include "support/raw_block_input.h"

#include <bit>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

using namespace lumra_tools;

namespace {

using Bytes = std::vector<uint8_t>;

void save(const std::string& target, const std::string& name, const Bytes& bytes) {
    std::ofstream out("fuzz/corpus/" + target + "/seed-" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
        std::cerr << "cannot write fuzz/corpus/" << target << "/seed-" << name << "\n";
        std::exit(1);
    }
}

Bytes dng_bytes(const DngFile& dng, const DngWriteOptions& options) {
    const std::string path = "build/fuzz/seed.dng";
    std::string error;
    if (!write_dng(path, dng, error, options)) {
        std::cerr << error << "\n";
        std::exit(1);
    }
    std::ifstream in(path, std::ios::binary);
    Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::remove(path.c_str());
    return bytes;
}

// One opcode of every kind the developer runs, and one it does not know.
std::vector<Opcode> every_opcode() {
    GainMapOp gain;
    gain.area = {0, 0, 8, 12, 0, 3, 1, 1};
    gain.points_v = gain.points_h = 2;
    gain.map_planes = 3;
    gain.gains = {1.0f, 1.1f, 1.2f, 0.9f, 1.0f, 1.05f, 1.3f, 1.0f, 0.8f, 1.0f, 1.0f, 1.1f};
    MapPolynomialOp polynomial;
    polynomial.area = {0, 0, 8, 12, 1, 1, 2, 2};
    polynomial.coefficients = {0.01, 0.98, 0.02};
    WarpRectilinearOp warp;
    warp.radial = {1.0, 0.02, -0.01, 0.0};
    warp.tangential = {0.001, -0.002};
    FixVignetteRadialOp vignette;
    vignette.k[0] = 0.2;
    vignette.k[1] = -0.05;
    return {{opcode_id::kGainMap, 0x01030000, 0, gain},
            {opcode_id::kMapPolynomial, 0x01030000, 0, polynomial},
            {opcode_id::kWarpRectilinear, 0x01030000, 0, warp},
            {opcode_id::kFixVignetteRadial, 0x01030000, 0, vignette},
            {opcode_id::kFixBadPixelsConstant, 0x01030000, 1, FixBadPixelsConstantOp{0, 1}},
            {14, 0x01030000, 1, UnknownOp{{1, 2, 3, 4}}}};
}

// A camera profile file: a TIFF directory under the magic 0x4352.
class ProfileWriter {
public:
    explicit ProfileWriter(bool big) : big_(big) {}
    void shorts(uint16_t tag, uint16_t v) { add(tag, 3, 1, number(v, 2)); }
    void longs(uint16_t tag, const std::vector<uint32_t>& values) {
        Bytes data;
        for (uint32_t v : values) append(data, number(v, 4));
        add(tag, 4, uint32_t(values.size()), data);
    }
    void srationals(uint16_t tag, const std::vector<double>& values) {
        Bytes data;
        for (double v : values) {
            append(data, number(uint32_t(int32_t(v * 10000)), 4));
            append(data, number(10000, 4));
        }
        add(tag, 10, uint32_t(values.size()), data);
    }
    void floats(uint16_t tag, const std::vector<float>& values) {
        Bytes data;
        for (float v : values) append(data, number(std::bit_cast<uint32_t>(v), 4));
        add(tag, 11, uint32_t(values.size()), data);
    }
    Bytes bytes() const {
        Bytes out = big_ ? Bytes{'M', 'M'} : Bytes{'I', 'I'};
        append(out, number(0x4352, 2));
        append(out, number(8, 4));
        append(out, number(entries_.size(), 2));
        uint32_t data_at = uint32_t(8 + 2 + 12 * entries_.size() + 4);
        Bytes data;
        for (const Entry& e : entries_) {
            append(out, number(e.tag, 2));
            append(out, number(e.type, 2));
            append(out, number(e.count, 4));
            if (e.data.size() <= 4) {
                Bytes inline_value = e.data;
                inline_value.resize(4, 0);
                append(out, inline_value);
            } else {
                append(out, number(data_at + data.size(), 4));
                append(data, e.data);
            }
        }
        append(out, number(0, 4));
        append(out, data);
        return out;
    }

private:
    struct Entry {
        uint16_t tag, type;
        uint32_t count;
        Bytes data;
    };
    Bytes number(uint64_t v, int size) const {
        Bytes b(static_cast<size_t>(size));
        for (int i = 0; i < size; ++i) b[size_t(big_ ? size - 1 - i : i)] = uint8_t(v >> (8 * i));
        return b;
    }
    static void append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }
    void add(uint16_t tag, uint16_t type, uint32_t count, const Bytes& data) {
        entries_.push_back({tag, type, count, data});
    }
    bool big_;
    std::vector<Entry> entries_;
};

// A raw_data input: the header, then every block the writer would store.
Bytes raw_blocks(const DngFile& dng, const DngWriteOptions& options, uint8_t header_bits, uint8_t compression,
                 uint8_t predictor, uint8_t flags, uint8_t blocks) {
    Bytes out = {uint8_t(dng.width - 1), uint8_t(dng.height - 1), uint8_t(dng.samples - 1), header_bits,
                 compression, predictor, flags, blocks};
    const lumra_tools::RawLayout layout = lumra_fuzz::layout_of(out.data());
    for (uint32_t y = 0; y < dng.height; y += layout.block_height)
        for (uint32_t x = 0; x < dng.width; x += layout.block_width) {
            const uint32_t rows = layout.tiled ? layout.block_height : std::min(layout.block_height, dng.height - y);
            Bytes block;
            std::string error;
            if (!encode_raw_block(dng, options, x, y, layout.block_width, rows, block, error)) {
                std::cerr << error << "\n";
                std::exit(1);
            }
            for (int i = 0; i < 4; ++i) out.push_back(uint8_t(block.size() >> (8 * i)));
            out.insert(out.end(), block.begin(), block.end());
        }
    return out;
}

}  // namespace

int main() {
    // DNGs: the camera's layout (preview first, raw in a sub-IFD), the raw
    // image in IFD 0 with every opcode kind, and a linear raw image.
    const DngFile sample = make_sample_dng(16, 12);
    DngWriteOptions sub_ifd;
    sub_ifd.raw_in_sub_ifd = true;
    DngFile plain = make_sample_dng(12, 8);
    plain.opcode_list3 = serialize_opcode_list(every_opcode());
    plain.linearization = {0, 1000, 9000, 16383};
    plain.active_area[0] = 2;
    plain.active_area[2] = 8;
    plain.active_area[3] = 12;
    DngFile linear = make_sample_dng(8, 8);
    linear.samples = 3;
    linear.raw.resize(size_t(8) * 8 * 3);
    for (size_t i = 0; i < linear.raw.size(); ++i) linear.raw[i] = uint16_t(300 + (i * 977) % 15000);
    linear.black_repeat_rows = linear.black_repeat_cols = 1;
    linear.black_levels = {256, 256, 256};
    linear.white_levels = {16383, 16383, 16383};
    linear.black_delta_h.clear();
    linear.black_delta_v.clear();
    linear.opcode_list3 = serialize_opcode_list(every_opcode());
    // Stored layouts: lossless JPEG tiles, deflate strips with a predictor,
    // 16-bit floats, packed 12-bit samples in a big-endian file.
    DngWriteOptions ljpeg;
    ljpeg.compression = 7;
    ljpeg.tile_width = ljpeg.tile_height = 16;
    ljpeg.jpeg_restart_rows = 4;
    DngWriteOptions deflate;
    deflate.compression = 8;
    deflate.predictor = 34892;
    deflate.rows_per_strip = 5;
    DngWriteOptions half;
    half.compression = 8;
    half.float_bits = 16;
    half.predictor = 34894;
    DngWriteOptions packed;
    packed.bits = 14;
    packed.big_endian = true;
    const std::pair<const char*, Bytes> dngs[] = {{"sample-16x12.dng", dng_bytes(sample, sub_ifd)},
                                                  {"plain-12x8.dng", dng_bytes(plain, {})},
                                                  {"linear-8x8.dng", dng_bytes(linear, {})},
                                                  {"ljpeg-tiles.dng", dng_bytes(sample, ljpeg)},
                                                  {"deflate-strips.dng", dng_bytes(sample, deflate)},
                                                  {"half-floats.dng", dng_bytes(sample, half)},
                                                  {"packed-14-big-endian.dng", dng_bytes(sample, packed)}};
    for (const auto& [name, bytes] : dngs) {
        save("dng_reader", name, bytes);
        for (uint8_t options : {0, 3}) {
            Bytes prefixed{options};
            prefixed.insert(prefixed.end(), bytes.begin(), bytes.end());
            save("develop", std::to_string(options) + "-" + name, prefixed);
        }
        // The interface target reads its calls from the end of a 32-byte head:
        // all zero develops into a file, a 1 in byte 29 into memory.
        Bytes into_file(32, 0);
        into_file.insert(into_file.end(), bytes.begin(), bytes.end());
        save("develop_api", std::string("file-") + name, into_file);
        into_file[29] = 1;
        save("develop_api", std::string("buffer-") + name, into_file);
    }

    // Raw blocks of the same layouts (the predictor index points into
    // kPredictors: 3 is 34892, 5 is 34894).
    save("raw_data", "ljpeg-tiles", raw_blocks(sample, ljpeg, 16, 1, 0, 4, 0x00));
    save("raw_data", "deflate-strips", raw_blocks(sample, deflate, 16, 2, 3, 0, 4));
    save("raw_data", "half-floats", raw_blocks(sample, half, 16, 2, 5, 1, 31));
    save("raw_data", "packed-14-big-endian", raw_blocks(sample, packed, 14, 0, 0, 2, 31));

    // Lossless JPEG streams after the decoder target's four bytes (samples
    // needed, room beyond them).
    std::vector<uint16_t> samples(8 * 6 * 2);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = uint16_t((i * 2654435761u) >> 20);
    const struct {
        const char* name;
        uint32_t width, height, components, precision;
        int predictor;
        uint32_t restart_rows;
    } streams[] = {{"p1-12bit", 8, 6, 1, 12, 1, 0}, {"p6-two-components-restarts", 4, 6, 2, 16, 6, 2},
                   {"p7-8bit", 12, 4, 1, 8, 7, 0}};
    for (const auto& st : streams) {
        std::vector<uint16_t> values(samples.begin(), samples.begin() + st.width * st.height * st.components);
        for (uint16_t& v : values) v = uint16_t(v & ((1u << st.precision) - 1));
        const Bytes stream = encode_lossless_jpeg(values.data(), st.width, st.height, st.components, st.precision,
                                                  st.predictor, st.restart_rows);
        Bytes seed = {uint8_t(values.size()), uint8_t(values.size() >> 8), 0, 0};
        seed.insert(seed.end(), stream.begin(), stream.end());
        save("ljpeg_decoder", st.name, seed);
    }

    // Opcode lists, followed by the three bytes the target reads from the
    // end: the skip choice, the width and the height of its image.
    const std::pair<const char*, Bytes> lists[] = {{"list1", sample.opcode_list1},
                                                   {"list2", sample.opcode_list2},
                                                   {"list3", sample.opcode_list3},
                                                   {"every", serialize_opcode_list(every_opcode())}};
    for (const auto& [name, bytes] : lists) {
        Bytes seed = bytes;
        seed.insert(seed.end(), {0, 11, 7});
        save("opcode_list", name, seed);
    }

    // Camera profiles in both byte orders.
    for (bool big : {false, true}) {
        const ColorProfile& p = sample.profile;
        ProfileWriter writer(big);
        writer.srationals(50721, p.color_matrix1);
        writer.srationals(50722, p.color_matrix2);
        writer.shorts(50778, 17);
        writer.shorts(50779, 21);
        writer.longs(50937, {4, 2, 1});
        writer.floats(50938, std::vector<float>(4 * 2 * 3, 1.0f));
        writer.floats(50940, p.tone_curve);
        writer.srationals(50964, p.forward_matrix1);
        writer.longs(50981, {3, 2, 2});
        writer.floats(50982, std::vector<float>(3 * 2 * 2 * 3, 0.5f));
        save("camera_profile", big ? "big-endian.dcp" : "little-endian.dcp", writer.bytes());
    }
    return 0;
}
