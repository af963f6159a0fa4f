// Big-endian reader over a byte range that refuses to step past its end,
// for opcode lists and the profile gain table map.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace lumra_tools {

class BigEndianReader {
public:
    BigEndianReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool u32(uint32_t& v) {
        if (size_ - pos_ < 4) return false;
        v = (uint32_t(data_[pos_]) << 24) | (uint32_t(data_[pos_ + 1]) << 16) | (uint32_t(data_[pos_ + 2]) << 8) |
            uint32_t(data_[pos_ + 3]);
        pos_ += 4;
        return true;
    }
    bool u16(uint16_t& v) {
        if (size_ - pos_ < 2) return false;
        v = uint16_t((data_[pos_] << 8) | data_[pos_ + 1]);
        pos_ += 2;
        return true;
    }
    bool f32(float& v) {
        uint32_t bits;
        if (!u32(bits)) return false;
        v = std::bit_cast<float>(bits);
        return true;
    }
    bool f64(double& v) {
        uint32_t high, low;
        if (!u32(high) || !u32(low)) return false;
        v = std::bit_cast<double>((uint64_t(high) << 32) | low);
        return true;
    }
    size_t remaining() const { return size_ - pos_; }
    size_t position() const { return pos_; }
    void skip(size_t n) { pos_ += n < remaining() ? n : remaining(); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace lumra_tools
