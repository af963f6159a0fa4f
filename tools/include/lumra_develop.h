/*
 * liblumra-develop: develops DNG files (2x2 CFA or linear raw; lossless JPEG,
 * deflate or uncompressed) with liblumra, into memory or into PNG, TIFF and
 * JPEG files. The lumra-develop command and the Python package run on it, so
 * every host gets the same pipeline, the same options and the same messages.
 *
 * A LumraDevelop handle holds the options, the last result and the last
 * messages. One handle serves one thread at a time; different handles may
 * develop on different threads at once. No exception and no signal leaves an
 * entry: every failure is a status with a message.
 *
 * Plain C99, includable from C++.
 */
#ifndef LUMRA_DEVELOP_H
#define LUMRA_DEVELOP_H

#include <stdint.h>

#if defined(LUMRA_DEVELOP_BUILDING_LIBRARY) && defined(__GNUC__)
#define LUMRA_DEVELOP_API __attribute__((visibility("default")))
#else
#define LUMRA_DEVELOP_API
#endif

#ifdef __cplusplus
#define LUMRA_DEVELOP_NOEXCEPT noexcept
extern "C" {
#else
#define LUMRA_DEVELOP_NOEXCEPT
#endif

typedef struct LumraDevelop LumraDevelop;

typedef int32_t LumraDevelopStatus;
enum {
    LUMRA_DEVELOP_OK = 0,
    LUMRA_DEVELOP_ERR_ARGUMENT = 1, /* a null handle, path or result pointer */
    LUMRA_DEVELOP_ERR_OPTION = 2,   /* unknown option or invalid value; the options are unchanged */
    LUMRA_DEVELOP_ERR_FAILED = 3    /* the input, the camera profile, the development or the output failed */
};

/* A developed image: height x width pixels of `channels` (3) interleaved RGB
 * samples, uint8_t when bits is 8, uint16_t (host order) when bits is 16.
 * The pixels belong to the handle and stay valid until its next development
 * or lumra_develop_free. */
typedef struct LumraDevelopImage {
    const void* data;
    uint32_t height;
    uint32_t width;
    uint32_t channels;
    int32_t bits;
} LumraDevelopImage;

/* The library's version text, e.g. "1.0.0". */
LUMRA_DEVELOP_API const char* lumra_develop_version(void) LUMRA_DEVELOP_NOEXCEPT;

/* A handle with the default options (8-bit sRGB PNG, every stage on), or null
 * when memory is short. */
LUMRA_DEVELOP_API LumraDevelop* lumra_develop_new(void) LUMRA_DEVELOP_NOEXCEPT;

/* Releases a handle and its result; null is allowed. */
LUMRA_DEVELOP_API void lumra_develop_free(LumraDevelop* handle) LUMRA_DEVELOP_NOEXCEPT;

/* Sets one option as lumra-develop's --NAME VALUE does: name without the
 * dashes ("bits", "space", "format", "quality", "dcp", "demosaic", "skip", ...), value as text
 * ("16", "prophoto"). A null value reports that the option needs one.
 * lumra_develop_options_help lists the options. */
LUMRA_DEVELOP_API LumraDevelopStatus lumra_develop_set_option(LumraDevelop* handle, const char* name,
                                                              const char* value) LUMRA_DEVELOP_NOEXCEPT;

/* Develops the DNG at input into the handle's result and describes it in
 * *image (left untouched on failure). */
LUMRA_DEVELOP_API LumraDevelopStatus lumra_develop_to_buffer(LumraDevelop* handle, const char* input,
                                                             LumraDevelopImage* image) LUMRA_DEVELOP_NOEXCEPT;

/* Develops the DNG at input into the file output: PNG, or TIFF or JPEG when the
 * format option says so or, without it, when output ends in .tif/.tiff or
 * .jpg/.jpeg (TIFF is always 16 bits, JPEG 8). The file is
 * written under a temporary name beside output and renamed into place when
 * complete: a failure leaves nothing behind, and output is never the input. */
LUMRA_DEVELOP_API LumraDevelopStatus lumra_develop_to_file(LumraDevelop* handle, const char* input,
                                                           const char* output) LUMRA_DEVELOP_NOEXCEPT;

/* The last failure's message, "FILE: problem" (or the option problem) in the
 * words of lumra-develop, without its program name; "" after a success. */
LUMRA_DEVELOP_API const char* lumra_develop_error(const LumraDevelop* handle) LUMRA_DEVELOP_NOEXCEPT;

/* The last development's warnings, one "FILE: warning: ..." line each; "" when none. */
LUMRA_DEVELOP_API const char* lumra_develop_warnings(const LumraDevelop* handle) LUMRA_DEVELOP_NOEXCEPT;

/* The last successful development's stages with their times, as lines of text. */
LUMRA_DEVELOP_API const char* lumra_develop_report(const LumraDevelop* handle) LUMRA_DEVELOP_NOEXCEPT;

/* ".png", ".tif" or ".jpg": the extension of an output in the handle's format. */
LUMRA_DEVELOP_API const char* lumra_develop_output_extension(const LumraDevelop* handle) LUMRA_DEVELOP_NOEXCEPT;

/* Help lines for every option that lumra_develop_set_option takes. */
LUMRA_DEVELOP_API const char* lumra_develop_options_help(void) LUMRA_DEVELOP_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* LUMRA_DEVELOP_H */
