#include "dng/ljpeg_encoder.h"

#include <algorithm>
#include <bit>

namespace lumra_tools {
namespace {

struct Code {
    uint32_t bits = 0;
    uint32_t length = 0;
};

struct FittedTable {
    uint8_t counts[16] = {};
    std::vector<uint8_t> values;
    Code codes[17];
};

// Code lengths for the difference categories by the procedure of T.81
// Annex K.2, with one reserved symbol so that no code is all ones.
FittedTable fit_table(const uint64_t histogram[17]) {
    constexpr int kSymbols = 18;  // 17 categories and the reserved one
    uint64_t freq[kSymbols];
    for (int i = 0; i < 17; ++i) freq[i] = histogram[i];
    freq[17] = 1;
    int size[kSymbols] = {}, others[kSymbols];
    std::fill(others, others + kSymbols, -1);
    for (;;) {
        int v1 = -1, v2 = -1;
        for (int i = 0; i < kSymbols; ++i)
            if (freq[i] && (v1 < 0 || freq[i] <= freq[v1])) v1 = i;
        for (int i = 0; i < kSymbols; ++i)
            if (freq[i] && i != v1 && (v2 < 0 || freq[i] <= freq[v2])) v2 = i;
        if (v2 < 0) break;
        freq[v1] += freq[v2];
        freq[v2] = 0;
        for (++size[v1]; others[v1] >= 0; ++size[v1]) v1 = others[v1];
        others[v1] = v2;
        for (++size[v2]; others[v2] >= 0; ++size[v2]) v2 = others[v2];
    }
    int bits[40] = {};
    for (int i = 0; i < kSymbols; ++i)
        if (size[i]) ++bits[size[i]];
    for (int i = 39; i > 16; --i)
        while (bits[i] > 0) {
            int j = i - 2;
            while (bits[j] == 0) --j;
            bits[i] -= 2;
            bits[i - 1] += 1;
            bits[j + 1] += 2;
            bits[j] -= 1;
        }
    int longest = 16;
    while (bits[longest] == 0) --longest;
    bits[longest] -= 1;  // the reserved symbol's code
    FittedTable t;
    for (int length = 1; length <= 16; ++length) t.counts[length - 1] = uint8_t(bits[length]);
    for (int length = 1; length <= 32; ++length)
        for (int i = 0; i < 17; ++i)
            if (size[i] == length) t.values.push_back(uint8_t(i));
    uint32_t code = 0;
    size_t index = 0;
    for (int length = 1; length <= 16; ++length, code <<= 1)
        for (int n = 0; n < bits[length]; ++n, ++code) t.codes[t.values[index++]] = Code{code, uint32_t(length)};
    return t;
}

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
    void put(uint32_t bits, uint32_t length) {
        for (uint32_t i = length; i-- > 0;) {
            byte_ = uint8_t((byte_ << 1) | ((bits >> i) & 1));
            if (++filled_ == 8) emit();
        }
    }
    // Pads the last byte with ones, as T.81 asks before a marker.
    void flush() {
        while (filled_ != 0) put(1, 1);
    }

private:
    void emit() {
        out_.push_back(byte_);
        if (byte_ == 0xff) out_.push_back(0);
        byte_ = 0;
        filled_ = 0;
    }
    std::vector<uint8_t>& out_;
    uint8_t byte_ = 0;
    uint32_t filled_ = 0;
};

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

uint32_t category_of(int32_t difference) {
    if (difference == 32768) return 16;
    return uint32_t(std::bit_width(uint32_t(difference < 0 ? -difference : difference)));
}

}  // namespace

std::vector<uint8_t> encode_lossless_jpeg(const uint16_t* samples, uint32_t width, uint32_t height,
                                          uint32_t components, uint32_t precision, int predictor,
                                          uint32_t restart_rows, int point_transform) {
    const size_t row_length = size_t(width) * components;
    // Differences by the same prediction rules the decoder follows.
    std::vector<int32_t> differences(row_length * height);
    const uint32_t initial = 1u << (precision - uint32_t(point_transform) - 1);
    auto value = [&](size_t i) { return int32_t(samples[i] >> point_transform); };
    for (uint32_t y = 0; y < height; ++y) {
        const bool interval_top = y == 0 || (restart_rows && y % restart_rows == 0);
        for (size_t i = 0; i < row_length; ++i) {
            const size_t at = size_t(y) * row_length + i;
            int32_t prediction;
            if (interval_top) {
                prediction = i < components ? int32_t(initial) : value(at - components);
            } else if (i < components) {
                prediction = value(at - row_length);
            } else {
                const int32_t a = value(at - components), b = value(at - row_length),
                              c = value(at - row_length - components);
                switch (predictor) {
                    case 1: prediction = a; break;
                    case 2: prediction = b; break;
                    case 3: prediction = c; break;
                    case 4: prediction = a + b - c; break;
                    case 5: prediction = a + ((b - c) >> 1); break;
                    case 6: prediction = b + ((a - c) >> 1); break;
                    default: prediction = (a + b) >> 1; break;
                }
            }
            int32_t d = (value(at) - prediction) & 0xffff;
            if (d > 32768) d -= 65536;
            differences[at] = d;
        }
    }
    uint64_t histogram[4][17] = {};
    for (size_t i = 0; i < differences.size(); ++i) ++histogram[i % components][category_of(differences[i])];
    FittedTable tables[4];
    for (uint32_t c = 0; c < components; ++c) tables[c] = fit_table(histogram[c]);

    std::vector<uint8_t> out = {0xff, 0xd8};
    for (uint32_t c = 0; c < components; ++c) {
        out.push_back(0xff);
        out.push_back(0xc4);
        put16(out, uint32_t(2 + 17 + tables[c].values.size()));
        out.push_back(uint8_t(c));
        out.insert(out.end(), tables[c].counts, tables[c].counts + 16);
        out.insert(out.end(), tables[c].values.begin(), tables[c].values.end());
    }
    if (restart_rows) {
        out.insert(out.end(), {0xff, 0xdd});
        put16(out, 4);
        put16(out, restart_rows * width);
    }
    out.insert(out.end(), {0xff, 0xc3});
    put16(out, 8 + 3 * components);
    out.push_back(uint8_t(precision));
    put16(out, height);
    put16(out, width);
    out.push_back(uint8_t(components));
    for (uint32_t c = 0; c < components; ++c) out.insert(out.end(), {uint8_t(c + 1), 0x11, 0});
    out.insert(out.end(), {0xff, 0xda});
    put16(out, 6 + 2 * components);
    out.push_back(uint8_t(components));
    for (uint32_t c = 0; c < components; ++c) out.insert(out.end(), {uint8_t(c + 1), uint8_t(c << 4)});
    out.insert(out.end(), {uint8_t(predictor), 0, uint8_t(point_transform)});
    BitWriter writer(out);
    uint32_t restart = 0;
    for (uint32_t y = 0; y < height; ++y) {
        if (restart_rows && y != 0 && y % restart_rows == 0) {
            writer.flush();
            out.insert(out.end(), {0xff, uint8_t(0xd0 + restart++ % 8)});
        }
        for (size_t i = 0; i < row_length; ++i) {
            const int32_t d = differences[size_t(y) * row_length + i];
            const uint32_t category = category_of(d);
            const Code& code = tables[i % components].codes[category];
            writer.put(code.bits, code.length);
            if (category != 0 && category != 16)
                writer.put(uint32_t(d < 0 ? d - 1 : d) & ((1u << category) - 1), category);
        }
    }
    writer.flush();
    out.insert(out.end(), {0xff, 0xd9});
    return out;
}

}  // namespace lumra_tools
