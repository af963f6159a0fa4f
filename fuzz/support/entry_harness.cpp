#include "support/entry_harness.h"

#include "simd/isa.h"

#include <cstdarg>

namespace lumra_fuzz {

void fail(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::fputs("lumra fuzz: invariant broken: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    std::abort();
}

void use_path(Path path) {
    using lumra::simd::Level;
    lumra::simd::cap_level(path == Path::avx2 ? Level::avx2 : path == Path::baseline ? Level::baseline
                                                                                        : lumra::simd::kWidestLevel);
}

const char* path_name(Path path) {
    switch (path) {
        case Path::widest: return "widest";
        case Path::avx2: return "avx2";
        case Path::alternate: return "alternate";
        default: return "baseline";
    }
}

size_t element_size(LumraDType dtype) {
    switch (dtype) {
        case LUMRA_DTYPE_UINT8: return 1;
        case LUMRA_DTYPE_UINT16: return 2;
        default: return 4;  // float, and room for a float should a bad type slip through
    }
}

void Image::allocate(size_t size) {
    bytes = size;
    // malloc(0) still gives a distinct pointer, and the sanitizer reports any
    // access to it.
    buffer.reset(static_cast<uint8_t*>(std::malloc(size)), std::free);
    if (!buffer) std::abort();
}

void Image::copy_from(const Image& other) {
    allocate(other.bytes);
    if (bytes) std::memcpy(buffer.get(), other.buffer.get(), bytes);
}

Arguments::Arguments(const Arguments& other) : images_(other.images_) {
    for (size_t i = 0; i < images_.size(); ++i)
        if (images_[i].alias < 0) images_[i].copy_from(other.images_[i]);
    for (Image& image : images_)
        if (image.alias >= 0) image.buffer = images_[size_t(image.alias)].buffer;
}

// Images hold at most this many elements, so every call stays fast.
constexpr uint64_t kMaxElements = 4096;

int Arguments::add(Input& in, uint64_t height, uint64_t width, uint64_t channels, LumraDType dtype,
                   bool read_only) {
    Image image;
    image.read_only = read_only;
    image.null_descriptor = in.rare(64);
    image.null_data = in.rare(64);
    image.desc.reserved = in.rare(64) ? in.pick<uint64_t>({1, uint64_t(1) << 63}) : 0;
    // A size whose buffer would be too large is kept only with an empty image.
    const bool fits = height <= kMaxElements && width <= kMaxElements && channels <= kMaxElements &&
                      height * width * channels <= kMaxElements;
    if (!fits) {
        if (height > kMaxElements) width = 0;
        else height = 0;
    }
    image.desc.height = height;
    image.desc.width = width;
    image.desc.channels = channels;
    image.desc.dtype = dtype;
    const uint64_t elements = height * width * channels;
    image.allocate(elements <= kMaxElements ? size_t(elements) * element_size(dtype) : 0);
    fill_image(in, image);
    images_.push_back(std::move(image));
    return int(images_.size()) - 1;
}

int Arguments::add_alias(int of, bool read_only) {
    Image image = images_[size_t(of)];
    image.read_only = read_only;
    image.alias = of;
    images_.push_back(std::move(image));
    return int(images_.size()) - 1;
}

LumraImage* Arguments::operator[](int index) {
    Image& image = images_[size_t(index)];
    if (image.null_descriptor) return nullptr;
    image.desc.data = image.null_data ? nullptr : image.buffer.get();
    return &image.desc;
}

Shape draw_shape(Input& in, uint32_t max_height, uint32_t max_width, uint64_t channels,
                 std::initializer_list<LumraDType> dtypes) {
    Shape shape;
    shape.height = in.in_range<uint32_t>(0, max_height);
    shape.width = in.in_range<uint32_t>(0, max_width);
    shape.channels = channels;
    shape.dtype = in.dtype(dtypes);
    if (in.rare(32)) shape.channels = in.pick<uint64_t>({0, 1, 2, 3, 4, 5, uint64_t(1) << 32 | 3, ~uint64_t(0)});
    if (in.rare(32)) {
        // Sizes the 32-bit kernels must refuse (or run as empty images).
        const uint64_t huge = in.pick<uint64_t>({uint64_t(1) << 31, uint64_t(1) << 32, uint64_t(1) << 32 | 1,
                                                 uint64_t(1) << 63, ~uint64_t(0)});
        if (in.flag()) shape.height = huge;
        else shape.width = huge;
    }
    return shape;
}

Shape draw_like(Input& in, Shape shape) {
    if (in.rare(24)) {
        switch (in.in_range(0, 3)) {
            case 0: shape.height += in.pick<uint64_t>({1, ~uint64_t(0), uint64_t(1) << 32}); break;
            case 1: shape.width += in.pick<uint64_t>({1, ~uint64_t(0), uint64_t(1) << 32}); break;
            case 2: shape.channels = in.pick<uint64_t>({0, 1, 2, 3, 4}); break;
            default: shape.dtype = static_cast<LumraDType>(in.pick<int32_t>({0, 1, 2, 3, -7})); break;
        }
    }
    return shape;
}

void fill_image(Input& in, Image& image) {
    uint8_t* data = image.buffer.get();
    if (image.bytes == 0) return;
    if (image.desc.dtype == LUMRA_DTYPE_FLOAT32) {
        // Mostly one kind of value per image keeps whole blocks on one path;
        // the mix reaches the rest.
        const int style = in.in_range(0, 3);
        for (size_t i = 0; i + 4 <= image.bytes; i += 4) {
            float value;
            if (style == 0) value = in.number();
            else value = float(in.raw<uint16_t>()) / (style == 1 ? 65535.0f : 32768.0f);
            std::memcpy(data + i, &value, sizeof value);
        }
    } else {
        in.fill(data, image.bytes);
    }
}

void check_unchanged(const Arguments& initial, const Arguments& after, LumraStatus status, Path path) {
    if (status < LUMRA_OK || status > LUMRA_ERR_REGION) fail("undocumented status %d", int(status));
    for (int i = 0; i < initial.count(); ++i) {
        const Image& before = initial.image(i);
        const Image& now = after.image(i);
        if (before.alias >= 0) continue;
        const bool read_only = before.read_only && [&] {
            for (int j = 0; j < initial.count(); ++j)
                if (initial.image(j).alias == i && !initial.image(j).read_only) return false;
            return true;
        }();
        if ((status != LUMRA_OK || read_only) && before.bytes &&
            std::memcmp(before.buffer.get(), now.buffer.get(), before.bytes) != 0) {
            size_t at = 0;
            while (before.buffer.get()[at] == now.buffer.get()[at]) ++at;
            fail("%s path: image %d changed at byte %zu of %zu by a call returning %d%s", path_name(path), i, at,
                 before.bytes, int(status), read_only ? " (a source)" : "");
        }
    }
}

// The first byte where two images differ, NaN floats of any sign or payload
// counting as equal: compilers reorder the operands of IEEE operations freely,
// and which operand's NaN comes through is not part of any result.
size_t first_difference(const Image& a, const Image& b) {
    const uint8_t* x = a.buffer.get();
    const uint8_t* y = b.buffer.get();
    const bool floats = a.desc.dtype == LUMRA_DTYPE_FLOAT32 && a.bytes % 4 == 0;
    for (size_t at = 0; at < a.bytes; at += floats ? 4 : 1) {
        if (!floats) {
            if (x[at] != y[at]) return at;
            continue;
        }
        float u, v;
        std::memcpy(&u, x + at, 4);
        std::memcpy(&v, y + at, 4);
        if (std::memcmp(&u, &v, 4) != 0 && !(u != u && v != v)) return at;
    }
    return a.bytes;
}

void check_same(const Arguments& first, const Arguments& other, LumraStatus first_status, LumraStatus status,
                Path path) {
    if (first_status != status)
        fail("%s path returns %d where the widest returns %d", path_name(path), int(status), int(first_status));
    for (int i = 0; i < first.count(); ++i) {
        const Image& a = first.image(i);
        const Image& b = other.image(i);
        if (a.bytes && std::memcmp(a.buffer.get(), b.buffer.get(), a.bytes) != 0) {
            size_t at = first_difference(a, b);
            if (at == a.bytes) continue;
            const size_t size = element_size(a.desc.dtype);
            const size_t element = at / size;
            fail("%s path differs from the widest in image %d (%llu x %llu x %llu, type %d) at element %zu: "
                 "%s", path_name(path), i, (unsigned long long)a.desc.height, (unsigned long long)a.desc.width,
                 (unsigned long long)a.desc.channels, int(a.desc.dtype), element, [&] {
                     static char text[96];
                     if (a.desc.dtype == LUMRA_DTYPE_FLOAT32) {
                         float x, y;
                         std::memcpy(&x, a.buffer.get() + element * 4, 4);
                         std::memcpy(&y, b.buffer.get() + element * 4, 4);
                         std::snprintf(text, sizeof text, "%.9g (widest) vs %.9g", double(x), double(y));
                     } else {
                         std::snprintf(text, sizeof text, "byte %u (widest) vs %u", a.buffer.get()[at],
                                       b.buffer.get()[at]);
                     }
                     return text;
                 }());
        }
    }
}

}  // namespace lumra_fuzz
