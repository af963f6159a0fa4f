// The lossless JPEG decoder: streams from an independent encoder (DCMTK,
// see data/ljpeg/make_dcmtk_streams.py) and from our own writer in every
// layout decode to their samples, and every kind of damaged stream is
// refused with a reason, never read past its end.
#include "dng/ljpeg_decoder.h"
#include "dng/ljpeg_encoder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

namespace lumra_tools {
namespace {

// The image make_dcmtk_streams.py encodes.
constexpr uint32_t kDcmtkWidth = 16, kDcmtkHeight = 10;
uint16_t dcmtk_sample(uint32_t x, uint32_t y, uint32_t bits) {
    const uint32_t mask = (1u << bits) - 1;
    if (y == 3) return uint16_t(x % 2 ? 1u << (bits - 1) : 0);
    const uint32_t smooth = x * 37 + y * 101 + (x * y) % 17 * 13, noise = (x * 7919 + y * 104729) % 251;
    return uint16_t(((smooth ^ noise) * (1u << (bits - 8)) / 16) & mask);
}

std::vector<uint8_t> read_stream(const std::string& name) {
    std::ifstream in(std::string(LUMRA_TOOLS_TEST_DATA) + "/ljpeg/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Decoded {
    bool ok = false;
    std::string error;
    std::vector<uint16_t> samples;
};

Decoded decode(const std::vector<uint8_t>& stream, size_t needed, size_t capacity = 0) {
    LosslessJpegDecoder decoder;
    Decoded d;
    if (capacity == 0) capacity = needed;
    d.samples.assign(capacity, 0);
    // An exact-size copy: any read past the stream is a sanitizer error.
    std::vector<uint8_t> exact(stream);
    d.ok = decoder.decode(exact.data(), exact.size(), d.samples.data(), needed, capacity, d.error);
    return d;
}

TEST(LosslessJpegDecoder, DcmtkStreamsOfEveryPredictorAndPrecision) {
    for (uint32_t bits : {12u, 16u})
        for (int predictor = 1; predictor <= 7; ++predictor)
            for (int transform : {0, 3}) {
                if (transform && (bits != 16 || predictor != 1)) continue;
                const std::string name = "dcmtk-p" + std::to_string(bits) + "-sv" + std::to_string(predictor) +
                                         (transform ? "-pt" + std::to_string(transform) : "") + ".ljpeg";
                const std::vector<uint8_t> stream = read_stream(name);
                ASSERT_FALSE(stream.empty()) << name;
                const Decoded d = decode(stream, kDcmtkWidth * kDcmtkHeight);
                ASSERT_TRUE(d.ok) << name << ": " << d.error;
                for (uint32_t y = 0; y < kDcmtkHeight; ++y)
                    for (uint32_t x = 0; x < kDcmtkWidth; ++x) {
                        const uint16_t expected = uint16_t(dcmtk_sample(x, y, bits) >> transform << transform);
                        ASSERT_EQ(d.samples[y * kDcmtkWidth + x], expected) << name << " at " << x << ", " << y;
                    }
            }
}

// Noise over the whole range with runs of extremes, so that every difference
// category up to 16 occurs.
std::vector<uint16_t> test_samples(size_t count, uint32_t bits, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint16_t> v(count);
    const uint32_t mask = (1u << bits) - 1;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t kind = rng() % 8;
        v[i] = uint16_t((kind == 0 ? 0 : kind == 1 ? mask : kind == 2 ? 1u << (bits - 1) : rng()) & mask);
    }
    return v;
}

TEST(LosslessJpegDecoder, OwnStreamsInEveryLayout) {
    struct Layout {
        uint32_t width, height, components, bits;
        int predictor;
        uint32_t restart_rows;
        int transform;
    };
    std::vector<Layout> layouts;
    for (uint32_t components = 1; components <= 4; ++components)
        for (int predictor = 1; predictor <= 7; ++predictor)
            layouts.push_back({13, 9, components, 16, predictor, predictor % 2 ? 0u : 2u, 0});
    for (uint32_t bits : {2u, 8u, 12u, 15u}) layouts.push_back({40, 7, 2, bits, 1, 3, 0});
    layouts.push_back({40, 7, 1, 14, 4, 0, 2});
    layouts.push_back({1, 1, 1, 16, 1, 0, 0});
    layouts.push_back({300, 2, 1, 16, 1, 1, 0});  // a wide row per restart interval
    layouts.push_back({5, 20, 3, 16, 7, 1, 0});    // 19 restart markers: RST0 to RST7 and round again
    uint32_t seed = 1;
    for (const Layout& l : layouts) {
        const size_t count = size_t(l.width) * l.height * l.components;
        std::vector<uint16_t> samples = test_samples(count, l.bits, seed++);
        for (uint16_t& s : samples) s = uint16_t(s >> l.transform << l.transform);
        const std::vector<uint8_t> stream =
            encode_lossless_jpeg(samples.data(), l.width, l.height, l.components, l.bits, l.predictor, l.restart_rows,
                                 l.transform);
        const Decoded d = decode(stream, count);
        const std::string what = std::to_string(l.width) + "x" + std::to_string(l.height) + "x" +
                                 std::to_string(l.components) + " bits " + std::to_string(l.bits) + " predictor " +
                                 std::to_string(l.predictor) + " restart " + std::to_string(l.restart_rows);
        ASSERT_TRUE(d.ok) << what << ": " << d.error;
        EXPECT_EQ(d.samples, samples) << what;
    }
}

TEST(LosslessJpegDecoder, FewerWiderPixelsMapOntoTheSameSamples) {
    // 48 samples a row stored as 48 x 1, 24 x 2, 16 x 3 and 12 x 4 pixels.
    const std::vector<uint16_t> samples = test_samples(48 * 6, 14, 7);
    for (uint32_t components = 1; components <= 4; ++components) {
        if (48 % components) continue;
        const auto stream = encode_lossless_jpeg(samples.data(), 48 / components, 6, components, 14, 1);
        const Decoded d = decode(stream, samples.size());
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.samples, samples) << components;
    }
}

// A small valid stream to damage: 16 x 8 samples, restart every 2 rows.
std::vector<uint16_t> good_samples() { return test_samples(16 * 8, 12, 3); }
std::vector<uint8_t> good_stream(uint32_t restart_rows = 2) {
    const std::vector<uint16_t> s = good_samples();
    return encode_lossless_jpeg(s.data(), 16, 8, 1, 12, 1, restart_rows);
}

size_t find_marker(const std::vector<uint8_t>& s, uint8_t code, size_t from = 0) {
    for (size_t i = from; i + 1 < s.size(); ++i)
        if (s[i] == 0xff && s[i + 1] == code) return i;
    return std::string::npos;
}

void expect_refused(const std::vector<uint8_t>& stream, const std::string& problem, size_t needed = 128,
                    size_t capacity = 0) {
    const Decoded d = decode(stream, needed, capacity);
    EXPECT_FALSE(d.ok) << "expected: " << problem;
    EXPECT_NE(d.error.find(problem), std::string::npos) << "expected '" << problem << "' in: " << d.error;
    EXPECT_EQ(d.error.find('\n'), std::string::npos) << d.error;
}

TEST(LosslessJpegDecoder, DamagedStreamsAreRefusedWithTheirReason) {
    const std::vector<uint8_t> good = good_stream();
    ASSERT_TRUE(decode(good, 128).ok);

    std::vector<uint8_t> s = good;
    s[1] = 0xd9;
    expect_refused(s, "without an SOI marker");

    const size_t sos = find_marker(good, 0xda);
    s = good;
    s.resize(find_marker(good, 0xd0) + 1);
    expect_refused(s, "ends without an EOI marker");

    // Restart markers: one missing, one out of order, one where none belong.
    s = good;
    const size_t rst0 = find_marker(good, 0xd0, sos);
    s.erase(s.begin() + long(rst0), s.begin() + long(rst0) + 2);
    expect_refused(s, "restart marker 0xFFD1 where 0xFFD0 belongs");
    s = good;
    s[find_marker(good, 0xd1, sos) + 1] = 0xd2;
    expect_refused(s, "where 0xFFD1 belongs");
    s = good;
    s.erase(s.begin() + long(find_marker(good, 0xd2, sos)), s.end() - 2);  // the last intervals and their markers
    expect_refused(s, "restart intervals where its size needs 4");

    // Entropy data that stops early (an EOI right after the last RST marker).
    s = good;
    s.erase(s.begin() + long(find_marker(good, 0xd2, sos)) + 2, s.end() - 2);
    expect_refused(s, "ends before its 16 x 8 samples");

    // Sizes against the caller's tile: fewer samples, or more than fit.
    expect_refused(good, "where 130 are needed", 130, 130);
    expect_refused(good, "at most 100 fit", 100, 100);

    // Header segments that are cut, malformed or not lossless.
    s = good;
    s.resize(sos + 3);
    expect_refused(s, "cut off inside its lossless JPEG header");
    s = good;
    s[3] = 0xc0;  // the first DHT relabelled as a baseline frame
    expect_refused(s, "SOF0; only lossless Huffman (SOF3) is supported");
    const size_t sof = find_marker(good, 0xc3);
    s = good;
    s[sof + 4] = 17;  // precision
    expect_refused(s, "at 17 bits, which is not supported");
    s = good;
    s[sof + 11] = 0x21;  // sampling factors of component 1
    expect_refused(s, "subsampled");
    s = good;
    s[sos + 7] = 0;  // predictor (selection value) 0
    expect_refused(s, "predictor 0");
    s = good;
    s[sos + 6] = 0x30;  // Huffman table slot 3, never defined
    expect_refused(s, "unknown component or Huffman table");
    s = good;
    s[find_marker(good, 0xc4) + 2] = 0x01;  // DHT length past the stream
    expect_refused(s, "runs past its data");
    s = good;
    s[find_marker(good, 0xc4) + 5] = 3;  // three codes of length 1
    expect_refused(s, "Huffman table (DHT)");
    s = good;
    s[find_marker(good, 0xc4) + 21] = 17;  // a difference category above 16
    expect_refused(s, "difference category 17");
    s = good;
    s.insert(s.begin() + long(s.size()) - 2, {0xff, 0xda, 0, 8, 1, 1, 0, 1, 0, 0});  // a second scan
    expect_refused(s, "after its scan; only one scan");
}

TEST(LosslessJpegDecoder, InvalidHuffmanCodeIsFound) {
    // A flat image needs only category 0: the table holds the single code "0",
    // so any 1 bit in the data is no code at all.
    const std::vector<uint16_t> flat(64, 2048);
    std::vector<uint8_t> s = encode_lossless_jpeg(flat.data(), 8, 8, 1, 12, 1);
    const size_t sos = find_marker(s, 0xda);
    ASSERT_TRUE(decode(s, 64).ok);
    s[sos + 12] = 0x7e;
    expect_refused(s, "invalid Huffman code", 64);
}

TEST(LosslessJpegDecoder, EveryCutAndRandomDamageFailsCleanly) {
    const std::vector<uint8_t> good = good_stream();
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(decode(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)), 128).ok) << cut;
    std::mt19937 rng(5);
    int decoded = 0;
    for (int trial = 0; trial < 400; ++trial) {
        std::vector<uint8_t> s = good;
        for (int k = 0; k < 1 + int(rng() % 4); ++k) s[rng() % s.size()] = uint8_t(rng());
        decoded += decode(s, 128).ok;  // damage in the samples may decode to other samples; never a crash
    }
    EXPECT_LT(decoded, 400);
}

}  // namespace
}  // namespace lumra_tools
