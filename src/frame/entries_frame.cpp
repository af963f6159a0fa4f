// Entries of the library frame: version, element conversion, and the
// demosaic variant that is not implemented.
#include "frame/checks.h"
#include "convert/convert_dtype.h"

using namespace lumra;

extern "C" LUMRA_API const char* lumra_version(void) noexcept {
    static const char kVersion[] = "1.0.0";
    return kVersion;
}

extern "C" LUMRA_API LumraStatus lumra_convert_dtype(const LumraImage* src, LumraImage* dst, int32_t in_bits,
                                                     int32_t out_bits, float ceiling) noexcept {
    LUMRA_REQUIRE(src && dst, kInvalid);
    LUMRA_REQUIRE(has_data(src) && has_data(dst), kInvalid);
    LUMRA_REQUIRE(reserved_clear(src) && reserved_clear(dst), kInvalid);
    LUMRA_REQUIRE(same_shape(src, dst), kInvalid);
    const uint64_t count = src->height * src->width * src->channels;
    return convert_dtype_kernel(src->data, dst->data, count, src->dtype, dst->dtype, in_bits, out_bits, ceiling);
}

extern "C" LUMRA_API LumraStatus lumra_vng_demosaic(const LumraImage*, LumraImage*, const int32_t*) noexcept {
    return kUnsupported;
}
