// Decodes a call's arguments from the fuzzer's bytes. Most draws give values a
// caller would pass (valid element types, small sizes, numbers in range) so the
// kernels run; a few give the awkward ones (invalid types, null pointers, NaN,
// infinities, denormals, huge sizes) so the checks and edge paths run too.
// Running out of bytes yields the ordinary values, never the awkward ones.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <lumra.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <vector>

namespace lumra_fuzz {

class Input {
public:
    Input(const uint8_t* data, size_t size) : bytes_(data, size) {}

    // True about once in `one_in` draws; false once the input is used up.
    bool rare(unsigned one_in) { return bytes_.ConsumeIntegral<uint8_t>() >= 256 - 256 / one_in; }
    bool flag() { return bytes_.ConsumeBool(); }

    template <typename T>
    T in_range(T low, T high) {
        return bytes_.ConsumeIntegralInRange<T>(low, high);
    }
    template <typename T>
    T pick(std::initializer_list<T> values) {
        return *(values.begin() + bytes_.ConsumeIntegralInRange<size_t>(0, values.size() - 1));
    }
    template <typename T>
    T raw() {
        return bytes_.ConsumeIntegral<T>();
    }

    // An int32 argument, usually in [low, high], sometimes an extreme.
    int32_t int32(int32_t low, int32_t high) {
        if (rare(16)) return pick<int32_t>({std::numeric_limits<int32_t>::min(), -1, 0, 1, 2, 1 << 30,
                                            std::numeric_limits<int32_t>::max()});
        return in_range(low, high);
    }

    // A count that a table of at most `high` entries backs: usually in
    // [low, high], sometimes 0, -1 or the most negative value.
    int32_t count(int32_t low, int32_t high) {
        const int32_t value = int32(low, high);
        return value > high ? high : value;
    }

    // A float: often a value in [0, 1], sometimes any finite value, NaN, an
    // infinity, a denormal or a huge value.
    float number() {
        switch (bytes_.ConsumeIntegral<uint8_t>() & 7) {
            case 0:
            case 1:
            case 2: return float(bytes_.ConsumeIntegral<uint16_t>()) / 65535.0f;
            case 3: return float(int(bytes_.ConsumeIntegral<uint16_t>()) - 32768) / 8192.0f;
            case 4: return float(int(bytes_.ConsumeIntegral<uint8_t>()) - 128);
            case 5: {
                const uint32_t bits = bytes_.ConsumeIntegral<uint32_t>();
                float value;
                std::memcpy(&value, &bits, sizeof value);
                return value;
            }
            default: {
                constexpr float inf = std::numeric_limits<float>::infinity();
                constexpr float nan = std::numeric_limits<float>::quiet_NaN();
                return pick<float>({nan, -nan, inf, -inf, std::numeric_limits<float>::denorm_min(),
                                    -std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::min(),
                                    std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(), 0.0f,
                                    -0.0f, 1.0f, 0.5f, 2.0f, 1e-30f, 1e30f, 2147483648.0f, 4294967296.0f,
                                    65535.0f, 65536.0f, 1.0000001f, 0.99999994f});
            }
        }
    }

    // A double, with the same mix plus the extremes of double.
    double dnumber() {
        switch (bytes_.ConsumeIntegral<uint8_t>() & 7) {
            case 0:
            case 1:
            case 2: return double(bytes_.ConsumeIntegral<uint16_t>()) / 65535.0;
            case 3: return double(int(bytes_.ConsumeIntegral<uint16_t>()) - 32768) / 8192.0;
            case 4: return double(int(bytes_.ConsumeIntegral<uint8_t>()) - 128) / 16.0;
            case 5: {
                const uint64_t bits = bytes_.ConsumeIntegral<uint64_t>();
                double value;
                std::memcpy(&value, &bits, sizeof value);
                return value;
            }
            default: {
                constexpr double inf = std::numeric_limits<double>::infinity();
                constexpr double nan = std::numeric_limits<double>::quiet_NaN();
                return pick<double>({nan, -nan, inf, -inf, std::numeric_limits<double>::denorm_min(),
                                     std::numeric_limits<double>::min(), std::numeric_limits<double>::max(),
                                     -std::numeric_limits<double>::max(), 0.0, -0.0, 1.0, 0.5, 1e-300, 1e300,
                                     2147483648.0, -2147483649.0, 9.3e18, -9.3e18, 1e10, double(float(1e-40f))});
            }
        }
    }

    std::vector<float> numbers(size_t count) {
        std::vector<float> values(count);
        for (float& v : values) v = number();
        return values;
    }
    std::vector<double> dnumbers(size_t count) {
        std::vector<double> values(count);
        for (double& v : values) v = dnumber();
        return values;
    }

    // A table pointer for `values`, null once in a while.
    template <typename T>
    const T* table(const std::vector<T>& values) {
        return rare(32) ? nullptr : values.data();
    }

    // Element type: one of `usual`, sometimes any other value.
    LumraDType dtype(std::initializer_list<LumraDType> usual) {
        if (rare(16)) return static_cast<LumraDType>(pick<int32_t>({0, 1, 2, 3, 4, -1, 255, 1 << 30}));
        return pick(usual);
    }

    // Bit depth: usually 0 (full width) or a common depth, sometimes any value.
    int32_t bits() {
        if (rare(8)) return pick<int32_t>({-1, 1, 7, 9, 15, 17, 24, 31, 32, 33, 64, -100000, 1 << 30});
        return pick<int32_t>({0, 0, 8, 10, 12, 14, 16});
    }

    void fill(uint8_t* out, size_t size) {
        const std::vector<uint8_t> taken = bytes_.ConsumeBytes<uint8_t>(size);
        if (!taken.empty()) std::memcpy(out, taken.data(), taken.size());
        for (size_t i = taken.size(); i < size; ++i) out[i] = uint8_t(i * 37 + 11);
    }

    size_t remaining() { return bytes_.remaining_bytes(); }
    std::vector<uint8_t> rest() { return bytes_.ConsumeRemainingBytes<uint8_t>(); }

private:
    FuzzedDataProvider bytes_;
};

}  // namespace lumra_fuzz
