// The invariants every entry target checks. A target decodes its arguments
// into Arguments (image buffers and their descriptors) and hands a call to
// check_call, which runs it on private copies once per instruction path and
// aborts with a message when:
//   - the status is not one of the documented codes;
//   - a failing call changed a byte of any buffer;
//   - a call changed a buffer it only reads;
//   - two paths give a different status or different bytes.
#pragma once

#include "support/fuzz_input.h"

#include <lumra.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace lumra_fuzz {

[[noreturn]] void fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Instruction-set levels a call can be capped at (simd/isa.h): the widest the
// processor runs, at most AVX2, and the baseline every processor of the
// architecture runs;
// `alternate` is a target's own second way to the same result (on the widest
// path).
enum class Path { widest, avx2, baseline, alternate };
void use_path(Path path);
const char* path_name(Path path);

size_t element_size(LumraDType dtype);

// One image argument: a descriptor and an exactly sized heap buffer (so any
// read or write past its end is caught), or a null descriptor or data pointer.
struct Image {
    LumraImage desc{};
    bool null_descriptor = false;
    bool null_data = false;
    bool read_only = false;  // a source: no call may change it
    int alias = -1;          // the index of the image whose buffer this one shares
    size_t bytes = 0;
    std::shared_ptr<uint8_t> buffer;

    void allocate(size_t size);
    void copy_from(const Image& other);  // a deep copy of other's buffer
};

class Arguments {
public:
    Arguments() = default;
    Arguments(const Arguments& other);
    Arguments& operator=(const Arguments&) = delete;

    // Adds an image of the given shape: the sizes are bounded so the buffer
    // stays small, and the odd draw gives a null pointer, a reserved field, a
    // huge size with an empty buffer. Returns its index.
    int add(Input& in, uint64_t height, uint64_t width, uint64_t channels, LumraDType dtype, bool read_only);
    int add(Input& in, const struct Shape& shape, bool read_only);
    // Adds a second descriptor on image `of`'s buffer (an in-place call).
    int add_alias(int of, bool read_only);

    LumraImage* operator[](int index);
    Image& image(int index) { return images_[size_t(index)]; }
    const Image& image(int index) const { return images_[size_t(index)]; }
    int count() const { return int(images_.size()); }

private:
    std::vector<Image> images_;
};

// An image's shape drawn as a caller would mostly pass it.
struct Shape {
    uint64_t height = 0, width = 0, channels = 1;
    LumraDType dtype = LUMRA_DTYPE_FLOAT32;
};
Shape draw_shape(Input& in, uint32_t max_height, uint32_t max_width, uint64_t channels,
                 std::initializer_list<LumraDType> dtypes);
// Another image of the same shape, except now and then in one field.
Shape draw_like(Input& in, Shape shape);
inline int Arguments::add(Input& in, const Shape& shape, bool read_only) {
    return add(in, shape.height, shape.width, shape.channels, shape.dtype, read_only);
}

// The float buffer of an image.
inline float* floats(Arguments& arguments, int index) {
    return reinterpret_cast<float*>(arguments.image(index).buffer.get());
}

// Fills the buffer with values suited to its element type: floats from
// Input::number, integers from the input bytes.
void fill_image(Input& in, Image& image);

// Runs call(arguments, path) on a fresh copy of `initial` for each path and
// checks the invariants above. Returns the status.
inline constexpr std::initializer_list<Path> kEveryPath = {Path::widest, Path::avx2, Path::baseline};

// `result`, when given, receives the widest path's arguments after the call.
template <typename Call>
LumraStatus check_call(const Arguments& initial, Call call,
                       std::initializer_list<Path> paths = {Path::widest, Path::avx2, Path::baseline},
                       std::unique_ptr<Arguments>* result = nullptr);

// The first byte at which two images of the same size differ (NaN floats
// counting as equal), or their size.
size_t first_difference(const Image& a, const Image& b);

void check_unchanged(const Arguments& initial, const Arguments& after, LumraStatus status, Path path);
void check_same(const Arguments& first, const Arguments& other, LumraStatus first_status, LumraStatus status,
                Path path);

template <typename Call>
LumraStatus check_call(const Arguments& initial, Call call, std::initializer_list<Path> paths,
                       std::unique_ptr<Arguments>* result) {
    std::unique_ptr<Arguments> first;
    LumraStatus first_status = LUMRA_OK;
    for (Path path : paths) {
        auto run = std::make_unique<Arguments>(initial);
        use_path(path);
        const LumraStatus status = call(*run, path);
        use_path(Path::widest);
        check_unchanged(initial, *run, status, path);
        if (!first) {
            first = std::move(run);
            first_status = status;
        } else {
            check_same(*first, *run, first_status, status, path);
        }
    }
    if (result) *result = std::move(first);
    return first_status;
}

}  // namespace lumra_fuzz
