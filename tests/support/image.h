// Test helpers: owned buffers with their descriptors, and seeded random data.
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <type_traits>
#include <vector>

#include "lumra.h"

namespace lumra_test {

template <typename T>
constexpr LumraDType dtype_of() {
    if constexpr (std::is_same_v<T, uint8_t>) return LUMRA_DTYPE_UINT8;
    else if constexpr (std::is_same_v<T, uint16_t>) return LUMRA_DTYPE_UINT16;
    else return LUMRA_DTYPE_FLOAT32;
}

// A packed image that owns its elements. The descriptor points into the
// vector, so the buffer must not be resized after construction.
template <typename T>
struct Image {
    std::vector<T> pixels;
    LumraImage desc{};

    Image(uint64_t height, uint64_t width, uint64_t channels)
        : pixels(static_cast<size_t>(height * width * channels)) {
        desc = LumraImage{pixels.data(), height, width, channels, dtype_of<T>(), 0};
        if (pixels.empty()) desc.data = &empty_anchor;  // a valid, non-null pointer for empty images
    }
    Image(const Image& other) : pixels(other.pixels), desc(other.desc) { desc.data = data_pointer(); }
    Image& operator=(const Image& other) {
        pixels = other.pixels;
        desc = other.desc;
        desc.data = data_pointer();
        return *this;
    }

    T& at(uint64_t r, uint64_t c, uint64_t k = 0) { return pixels[(r * desc.width + c) * desc.channels + k]; }
    const T& at(uint64_t r, uint64_t c, uint64_t k = 0) const {
        return pixels[(r * desc.width + c) * desc.channels + k];
    }
    LumraImage* operator&() = delete;
    LumraImage* get() { return &desc; }
    const LumraImage* get() const { return &desc; }

  private:
    void* data_pointer() { return pixels.empty() ? static_cast<void*>(&empty_anchor) : pixels.data(); }
    T empty_anchor{};
};

// One generator per test, seeded so that failures reproduce.
inline std::mt19937& rng() {
    static thread_local std::mt19937 generator(20261208u);
    return generator;
}

inline float uniform(float low, float high) { return std::uniform_real_distribution<float>(low, high)(rng()); }
inline int uniform_int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng()); }

template <typename T>
void fill_random(std::vector<T>& values, float low = 0.0f, float high = 1.0f) {
    for (auto& v : values) {
        if constexpr (std::is_floating_point_v<T>) v = uniform(low, high);
        else v = static_cast<T>(uniform_int(0, std::numeric_limits<T>::max()));
    }
}

// Bitwise equality of two float vectors, so NaN matches NaN and -0 differs from 0.
inline bool same_bits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

}  // namespace lumra_test
