// The development of a DNG through lumra, stage by stage in the DNG order.
// The raw data is read whole; the stages then run band by band on a pool of
// threads, each band in buffers of its own thread, and write the bands of the
// output image. A stage that needs the whole image makes the image so far
// whole first.
#pragma once

#include "dng/dng_file.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace lumra_tools {

enum class OutputSpace { srgb, prophoto, display_p3 };
enum class DemosaicMethod { adaptive, bilinear };

// Stages a user may switch off with --skip.
const std::vector<std::pair<std::string, std::string>>& skippable_stages();

struct DevelopOptions {
    std::set<std::string> skip;
    OutputSpace space = OutputSpace::srgb;
    int bits = 8;  // 8 or 16
    DemosaicMethod demosaic = DemosaicMethod::adaptive;
    // The development runs band by band on this many threads (0: one per
    // core); band_rows 0 sizes the bands to the L2 cache. Within a band the
    // stages after the demosaic run on pieces of piece_rows rows (0: about
    // 65536 pixels). None of them changes the result.
    unsigned threads = 0;
    uint32_t band_rows = 0;
    uint32_t piece_rows = 0;
};

struct StageTime {
    std::string name;
    double seconds = 0.0;
};

struct DevelopReport {
    std::vector<StageTime> stages;
    std::vector<std::string> warnings;
};

// Storage for the samples of a developed image. The development writes every
// sample, so a resize leaves the new elements uninitialised instead of
// clearing them in a pass of its own; and a large buffer is asked of the
// system on transparent huge pages where it gives them, which saves a page
// fault on every 4 KiB the development writes first.
void* allocate_samples(size_t bytes);  // throws std::bad_alloc as operator new does
void free_samples(void* data, size_t bytes) noexcept;

template <typename T>
struct SampleAllocator {
    using value_type = T;
    SampleAllocator() = default;
    template <typename U>
    SampleAllocator(const SampleAllocator<U>&) noexcept {}

    T* allocate(size_t count) { return static_cast<T*>(allocate_samples(count * sizeof(T))); }
    void deallocate(T* data, size_t count) noexcept { free_samples(data, count * sizeof(T)); }
    template <typename U>
    void construct(U* at) noexcept {
        ::new (static_cast<void*>(at)) U;
    }
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
    template <typename U>
    bool operator==(const SampleAllocator<U>&) const noexcept {
        return true;
    }
};

template <typename T>
using SampleVector = std::vector<T, SampleAllocator<T>>;

struct DevelopedImage {
    uint32_t width = 0, height = 0;
    int bits = 8;
    OutputSpace space = OutputSpace::srgb;  // what the samples are encoded in
    SampleVector<uint8_t> rgb8;    // bits 8: height x width x 3
    SampleVector<uint16_t> rgb16;  // bits 16
};

// False with a one-line reason (without the file name).
bool develop(const DngFile& dng, const ColorProfile& profile, const DevelopOptions& options, DevelopedImage& out,
             DevelopReport& report, std::string& error);

}  // namespace lumra_tools
