#include "dng/ljpeg_decoder.h"

#include <algorithm>
#include <cstring>

namespace lumra_tools {
namespace {

// Codes up to this length resolve in one table look-up, together with their
// difference bits when both fit: most differences of raw data do.
constexpr int kLookupBits = 12;
constexpr uint32_t kResolved = 1u << 13;

uint32_t be16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }

uint64_t load_be64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

// A difference category's extra bits to the signed difference (T.81 F.12).
int32_t extend(uint32_t bits, uint32_t category) {
    return bits < (1u << (category - 1)) ? int32_t(bits) - int32_t(1u << category) + 1 : int32_t(bits);
}

struct HuffmanTable {
    bool defined = false;
    // Look-up entry: bits consumed (low byte), category (bits 8-12), the
    // resolved flag, and for resolved entries the difference in the high half.
    uint32_t lookup[1 << kLookupBits];
    int32_t max_code[17];   // largest code of each length, -1 when none
    int32_t first_index[17];  // index into values of the first code of each length, minus that code
    uint8_t values[256];
};

}  // namespace

struct LosslessJpegDecoder::Tables {
    HuffmanTable slot[4];
};

namespace {

// Builds the canonical codes (T.81 Annex C) and the look-up table; false when
// the counts describe more codes than their lengths allow.
bool build_table(HuffmanTable& t, const uint8_t counts[16], const uint8_t* values, size_t value_count) {
    std::memset(t.lookup, 0, sizeof t.lookup);
    std::memcpy(t.values, values, value_count);
    uint32_t code = 0;
    size_t index = 0;
    for (int length = 1; length <= 16; ++length) {
        const uint32_t count = counts[length - 1];
        t.max_code[length] = -1;
        t.first_index[length] = int32_t(index) - int32_t(code);
        for (uint32_t n = 0; n < count; ++n, ++code, ++index) {
            if (code >= (1u << length)) return false;
            t.max_code[length] = int32_t(code);
            if (length > kLookupBits) continue;
            const uint32_t category = values[index];
            const int spare = kLookupBits - length;
            for (uint32_t fill = 0; fill < (1u << spare); ++fill) {
                uint32_t entry;
                if (category == 0) {
                    entry = uint32_t(length) | kResolved;
                } else if (category < 16 && length + int(category) <= kLookupBits) {
                    const uint32_t bits = (fill >> (spare - int(category))) & ((1u << category) - 1);
                    entry = uint32_t(length + int(category)) | kResolved |
                            (uint32_t(extend(bits, category)) << 16);
                } else {
                    entry = uint32_t(length) | (category << 8);
                }
                t.lookup[(code << spare) | fill] = entry;
            }
        }
        code <<= 1;
    }
    t.defined = true;
    return true;
}

// MSB-first bit reader over one unstuffed restart interval. Reads past the
// interval see zero bits; `overran` tells afterwards whether any were used.
struct BitReader {
    const uint8_t* data;
    size_t length;
    size_t pos = 0;
    uint64_t buffer = 0;
    uint32_t count = 0;  // valid bits at the top of buffer
    bool bad_code = false;

    // At least 32 valid bits afterwards, enough for any one difference.
    void ensure() {
        if (count < 32) refill();
    }
    // At least 56 valid bits afterwards. The data is followed by 8 zero bytes.
    void refill() {
        buffer |= load_be64(data + std::min(pos, length)) >> count;
        pos += (63 - count) >> 3;
        count |= 56;
    }
    void consume(uint32_t n) {
        buffer <<= n;
        count -= n;
    }
    bool overran() const { return pos * 8 - count > length * 8; }

    // One difference (T.81 H.1.2.2); needs 32 valid bits.
    int32_t difference(const HuffmanTable& t) {
        const uint32_t entry = t.lookup[buffer >> (64 - kLookupBits)];
        if (entry & kResolved) [[likely]] {
            consume(entry & 0xff);
            return int32_t(entry) >> 16;
        }
        uint32_t category;
        if (entry != 0) {
            consume(entry & 0xff);
            category = (entry >> 8) & 31;
        } else {
            category = slow_category(t);
            if (category == 0) return 0;
        }
        if (category == 16) return 32768;
        const uint32_t bits = uint32_t(buffer >> (64 - category));
        consume(category);
        return extend(bits, category);
    }

    // Codes longer than the look-up table, or no code at all.
    uint32_t slow_category(const HuffmanTable& t) {
        for (int length = kLookupBits + 1; length <= 16; ++length) {
            const int32_t code = int32_t(buffer >> (64 - length));
            if (code <= t.max_code[length]) {
                consume(uint32_t(length));
                return t.values[t.first_index[length] + code];
            }
        }
        bad_code = true;
        return 0;
    }
};

int32_t predict(int predictor, int32_t a, int32_t b, int32_t c) {
    switch (predictor) {
        case 1: return a;
        case 2: return b;
        case 3: return c;
        case 4: return a + b - c;
        case 5: return a + ((b - c) >> 1);
        case 6: return b + ((a - c) >> 1);
        default: return (a + b) >> 1;
    }
}

// Decodes `rows` rows of an interval into out (rows of width * NC samples).
// The interval's first row predicts from the left neighbour, its first
// sample from `initial`; later rows start from the sample above.
template <int NC, int Predictor>
void decode_rows(BitReader& reader_in, const HuffmanTable* const* tables, uint16_t* out, uint32_t width,
                 uint32_t rows, uint32_t initial) {
    BitReader reader = reader_in;
    const size_t row_length = size_t(width) * NC;
    const HuffmanTable* table[NC];
    for (int c = 0; c < NC; ++c) table[c] = tables[c];
    int32_t left[NC];
    for (int c = 0; c < NC; ++c) left[c] = int32_t(initial);
    for (uint32_t x = 0; x < width; ++x)
        for (int c = 0; c < NC; ++c) {
            reader.ensure();
            left[c] = (left[c] + reader.difference(*table[c])) & 0xffff;
            out[size_t(x) * NC + c] = uint16_t(left[c]);
        }
    for (uint32_t y = 1; y < rows && !reader.bad_code; ++y) {
        const uint16_t* above = out;
        out += row_length;
        for (int c = 0; c < NC; ++c) {
            reader.ensure();
            left[c] = (above[c] + reader.difference(*table[c])) & 0xffff;
            out[c] = uint16_t(left[c]);
        }
        for (size_t i = NC; i < row_length; i += NC)
            for (int c = 0; c < NC; ++c) {
                reader.ensure();
                const int32_t prediction =
                    Predictor == 1 ? left[c] : predict(Predictor, left[c], above[i + c], above[i + c - NC]);
                left[c] = (prediction + reader.difference(*table[c])) & 0xffff;
                out[i + c] = uint16_t(left[c]);
            }
    }
    reader_in = reader;
}

using RowDecoder = void (*)(BitReader&, const HuffmanTable* const*, uint16_t*, uint32_t, uint32_t, uint32_t);

template <int NC>
RowDecoder pick_for_components(uint32_t predictor) {
    switch (predictor) {
        case 1: return decode_rows<NC, 1>;
        case 2: return decode_rows<NC, 2>;
        case 3: return decode_rows<NC, 3>;
        case 4: return decode_rows<NC, 4>;
        case 5: return decode_rows<NC, 5>;
        case 6: return decode_rows<NC, 6>;
        default: return decode_rows<NC, 7>;
    }
}

RowDecoder pick_decoder(uint32_t components, uint32_t predictor) {
    switch (components) {
        case 1: return pick_for_components<1>(predictor);
        case 2: return pick_for_components<2>(predictor);
        case 3: return pick_for_components<3>(predictor);
        default: return pick_for_components<4>(predictor);
    }
}

std::string marker_name(uint32_t marker) {
    static const char* hex = "0123456789ABCDEF";
    return std::string("0xFF") + hex[marker >> 4] + hex[marker & 15];
}

}  // namespace

LosslessJpegDecoder::LosslessJpegDecoder() : tables_(std::make_unique<Tables>()) {}
LosslessJpegDecoder::~LosslessJpegDecoder() = default;

bool LosslessJpegDecoder::parse_huffman(const uint8_t* p, size_t length, std::string& error) {
    while (length > 0) {
        if (length < 17) {
            error = "has a cut-off Huffman table (DHT)";
            return false;
        }
        const uint32_t table_class = p[0] >> 4, slot = p[0] & 15;
        if (table_class != 0 || slot > 3) {
            error = "has a Huffman table of class " + std::to_string(table_class) + " slot " + std::to_string(slot) +
                    "; lossless JPEG uses DC tables 0-3";
            return false;
        }
        size_t value_count = 0;
        for (int i = 0; i < 16; ++i) value_count += p[1 + i];
        if (value_count > 17 || length < 17 + value_count) {
            error = "has a Huffman table (DHT) of " + std::to_string(value_count) + " codes that does not fit";
            return false;
        }
        for (size_t i = 0; i < value_count; ++i)
            if (p[17 + i] > 16) {
                error = "has a Huffman table with difference category " + std::to_string(p[17 + i]) + " (above 16)";
                return false;
            }
        if (!build_table(tables_->slot[slot], p + 1, p + 17, value_count)) {
            error = "has a Huffman table (DHT) with more codes than its code lengths allow";
            return false;
        }
        p += 17 + value_count;
        length -= 17 + value_count;
    }
    return true;
}

// Copies the scan's entropy-coded bytes from pos without the stuffed zero
// bytes, split at the restart markers; pos ends after the marker that ends
// the scan.
bool LosslessJpegDecoder::unstuff(const uint8_t* data, size_t size, size_t& pos, std::string& error) {
    entropy_.resize(size - pos + 64);
    segments_.clear();
    size_t written = 0, segment_start = 0;
    auto close_segment = [&] {
        segments_.push_back(segment_start);
        segments_.push_back(written - segment_start);
        if (entropy_.size() < written + 8 + (size - pos)) entropy_.resize(written + 8 + (size - pos) + 64);
        std::memset(entropy_.data() + written, 0, 8);
        written += 8;
        segment_start = written;
    };
    for (;;) {
        const void* found = std::memchr(data + pos, 0xff, size - pos);
        const size_t ff = found ? size_t(static_cast<const uint8_t*>(found) - data) : size;
        std::memcpy(entropy_.data() + written, data + pos, ff - pos);
        written += ff - pos;
        size_t next = ff + 1;
        while (next < size && data[next] == 0xff) ++next;  // fill bytes before a marker
        if (next >= size) {
            error = "is cut off: its lossless JPEG stream ends without an EOI marker";
            return false;
        }
        const uint8_t code = data[next];
        pos = next + 1;
        if (code == 0) {
            entropy_[written++] = 0xff;
            continue;
        }
        close_segment();
        if (code >= 0xd0 && code <= 0xd7) {
            const size_t expected = (segments_.size() / 2 - 1) % 8;
            if (restart_interval_ == 0 || code != 0xd0 + expected) {
                error = "has restart marker " + marker_name(code) + " where " +
                        (restart_interval_ ? marker_name(uint32_t(0xd0 + expected)) : std::string("none")) +
                        " belongs";
                return false;
            }
            continue;
        }
        if (code != 0xd9) {
            error = "has marker " + marker_name(code) + " after its scan; only one scan ending in EOI is supported";
            return false;
        }
        return true;
    }
}

bool LosslessJpegDecoder::decode_scan(uint16_t* out, std::string& error) {
    const uint32_t width = frame_.width, components = frame_.components;
    const uint32_t rows_per_interval = restart_interval_ ? restart_interval_ / width : frame_.height;
    const size_t intervals = (frame_.height + rows_per_interval - 1) / rows_per_interval;
    if (segments_.size() / 2 != intervals) {
        error = "has " + std::to_string(segments_.size() / 2) + " restart intervals where its size needs " +
                std::to_string(intervals) + " (missing or extra RST markers)";
        return false;
    }
    const HuffmanTable* tables[4];
    for (uint32_t c = 0; c < components; ++c) tables[c] = &tables_->slot[scan_tables_[c]];
    const RowDecoder rows_decoder = pick_decoder(components, predictor_);
    const uint32_t initial = 1u << (frame_.precision - point_transform_ - 1);
    const size_t row_length = size_t(width) * components;
    for (size_t i = 0; i < intervals; ++i) {
        BitReader reader{entropy_.data() + segments_[2 * i], segments_[2 * i + 1]};
        const uint32_t first_row = uint32_t(i * rows_per_interval);
        const uint32_t rows = std::min(rows_per_interval, frame_.height - first_row);
        rows_decoder(reader, tables, out + first_row * row_length, width, rows, initial);
        if (reader.bad_code) {
            error = "has an invalid Huffman code in its lossless JPEG data (interval " + std::to_string(i) + ")";
            return false;
        }
        if (reader.overran()) {
            error = "has lossless JPEG data that ends before its " + std::to_string(frame_.width) + " x " +
                    std::to_string(frame_.height) + " samples (interval " + std::to_string(i) + ")";
            return false;
        }
    }
    if (point_transform_ != 0) {
        const size_t total = frame_.samples();
        for (size_t i = 0; i < total; ++i) out[i] = uint16_t(out[i] << point_transform_);
    }
    return true;
}

bool LosslessJpegDecoder::decode(const uint8_t* data, size_t size, uint16_t* out, size_t needed, size_t capacity,
                                 std::string& error) {
    frame_ = LosslessJpegFrame{};
    restart_interval_ = 0;
    for (HuffmanTable& t : tables_->slot) t.defined = false;
    if (size < 4 || data[0] != 0xff || data[1] != 0xd8) {
        error = "has a lossless JPEG stream without an SOI marker";
        return false;
    }
    size_t pos = 2;
    for (;;) {
        while (pos < size && data[pos] == 0xff && pos + 1 < size && data[pos + 1] == 0xff) ++pos;
        if (pos + 4 > size || data[pos] != 0xff) {
            error = pos + 4 > size ? "is cut off inside its lossless JPEG header"
                                   : "has a lossless JPEG header with bytes where a marker belongs";
            return false;
        }
        const uint32_t marker = data[pos + 1];
        if (marker == 0xd9 || (marker >= 0xd0 && marker <= 0xd8) || marker == 0x01) {
            error = "has marker " + marker_name(marker) + " before any scan";
            return false;
        }
        const size_t length = be16(data + pos + 2);
        if (length < 2 || pos + 2 + length > size) {
            error = "has a lossless JPEG segment " + marker_name(marker) + " that runs past its data";
            return false;
        }
        const uint8_t* p = data + pos + 4;
        const size_t body = length - 2;
        pos += 2 + length;
        if (marker == 0xc4) {
            if (!parse_huffman(p, body, error)) return false;
        } else if (marker == 0xdd) {
            if (body != 2) {
                error = "has a DRI segment of the wrong size";
                return false;
            }
            restart_interval_ = be16(p);
        } else if (marker == 0xc3) {
            if (frame_.components != 0 || body < 6 || body != 6 + 3 * size_t(p[5])) {
                error = "has a malformed or repeated SOF3 frame header";
                return false;
            }
            frame_.precision = p[0];
            frame_.height = be16(p + 1);
            frame_.width = be16(p + 3);
            frame_.components = p[5];
            if (frame_.precision < 2 || frame_.precision > 16 || frame_.width == 0 || frame_.height == 0 ||
                frame_.components < 1 || frame_.components > 4) {
                error = "has a lossless JPEG frame of " + std::to_string(frame_.width) + " x " +
                        std::to_string(frame_.height) + " x " + std::to_string(frame_.components) + " at " +
                        std::to_string(frame_.precision) + " bits, which is not supported";
                return false;
            }
            for (uint32_t c = 0; c < frame_.components; ++c) {
                frame_ids_[c] = p[6 + 3 * c];
                if (p[7 + 3 * c] != 0x11) {
                    error = "has subsampled lossless JPEG components, which are not supported";
                    return false;
                }
            }
        } else if (marker == 0xcc) {
            error = "has a JPEG stream with arithmetic coding; only Huffman coding is supported";
            return false;
        } else if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc8) {
            error = "has a JPEG frame of type SOF" + std::to_string(marker - 0xc0) +
                    "; only lossless Huffman (SOF3) is supported";
            return false;
        } else if (marker == 0xda) {
            if (frame_.components == 0) {
                error = "has a lossless JPEG scan before its SOF3 frame header";
                return false;
            }
            const uint32_t scan_components = body > 0 ? p[0] : 0;
            if (body != 4 + 2 * size_t(scan_components) || scan_components != frame_.components) {
                error = "has a lossless JPEG scan that does not hold all " + std::to_string(frame_.components) +
                        " components; only one interleaved scan is supported";
                return false;
            }
            for (uint32_t c = 0; c < scan_components; ++c) {
                const uint8_t id = p[1 + 2 * c];
                bool known = false;
                for (uint32_t f = 0; f < frame_.components; ++f) known = known || frame_ids_[f] == id;
                const uint32_t slot = p[2 + 2 * c] >> 4;
                if (!known || slot > 3 || !tables_->slot[slot].defined) {
                    error = "has a lossless JPEG scan naming an unknown component or Huffman table";
                    return false;
                }
                scan_tables_[c] = uint8_t(slot);
            }
            const uint8_t* tail = p + 1 + 2 * scan_components;
            predictor_ = tail[0];
            point_transform_ = tail[2] & 15;
            if (predictor_ < 1 || predictor_ > 7 || (tail[2] >> 4) != 0 || point_transform_ >= frame_.precision) {
                error = "has a lossless JPEG scan with predictor " + std::to_string(predictor_) +
                        " and point transform " + std::to_string(point_transform_) + ", which are invalid";
                return false;
            }
            break;
        }
        // Other segments (APPn, COM, DQT, ...) carry nothing a lossless decoder needs.
    }
    const size_t samples = frame_.samples();
    if (samples < needed || samples > capacity) {
        error = "has a lossless JPEG stream of " + std::to_string(frame_.width) + " x " +
                std::to_string(frame_.height) + " x " + std::to_string(frame_.components) + " samples where " +
                (samples < needed ? std::to_string(needed) + " are needed" : "at most " + std::to_string(capacity) + " fit");
        return false;
    }
    if (restart_interval_ != 0 && restart_interval_ % frame_.width != 0) {
        error = "has a restart interval of " + std::to_string(restart_interval_) +
                " that is not a whole number of rows of " + std::to_string(frame_.width);
        return false;
    }
    return unstuff(data, size, pos, error) && decode_scan(out, error);
}

}  // namespace lumra_tools
