#include "develop/image_output.h"

#include "develop/png_bands.h"
#include "develop/icc_profiles.h"
#include "dng/tiff_fields.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace lumra_tools {
namespace {

struct PngState {
    std::string message;
};

void png_error_handler(png_structp png, png_const_charp text) {
    auto* state = static_cast<PngState*>(png_get_error_ptr(png));
    if (state && state->message.empty()) state->message = text;
    png_longjmp(png, 1);
}
void png_warning_handler(png_structp, png_const_charp) {}

// Kept free of C++ objects with destructors between setjmp and longjmp.
bool write_png_rows(FILE* file, const DevelopedImage& image, std::vector<png_bytep>& rows, PngState& state) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, png_error_handler, png_warning_handler);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, image.width, image.height, image.bits, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // One fixed filter and fast deflate: trying every filter per row and
    // stronger compression cost several times the whole development.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(png, 1);
    const std::vector<uint8_t>& icc = icc_profile(image.space);
    if (!icc.empty())
        png_set_iCCP(png, info, png_profile_name(image.space), PNG_COMPRESSION_TYPE_BASE, icc.data(),
                     png_uint_32(icc.size()));
    png_write_info(png, info);
    if (image.bits == 16) png_set_swap(png);  // PNG stores 16-bit samples big-endian
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool write_png(const std::string& path, const DevelopedImage& image, unsigned threads, std::string& error) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    if (image.width != 0 && image.height != 0) {
        const bool written = write_png_bands(file, image, threads, error);
        const bool closed = std::fclose(file) == 0;
        if (written && !closed) error = "cannot write the PNG data";
        return written && closed;
    }
    std::vector<png_bytep> rows(image.height);
    const size_t row_bytes = size_t(image.width) * 3 * (image.bits == 16 ? 2 : 1);
    auto* base = image.bits == 16 ? reinterpret_cast<const uint8_t*>(image.rgb16.data()) : image.rgb8.data();
    for (uint32_t r = 0; r < image.height; ++r) rows[r] = const_cast<png_bytep>(base + r * row_bytes);
    PngState state;
    const bool written = write_png_rows(file, image, rows, state);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = state.message.empty() ? "cannot write the PNG data" : state.message;
        return false;
    }
    return true;
}

bool write_tiff(const std::string& path, const DevelopedImage& image, std::string& error) {
    TiffMessages messages;
    TIFF* tif = open_tiff(path, "w", &messages);
    if (!tif) {
        error = messages.error.empty() ? "cannot create the TIFF file" : messages.error;
        return false;
    }
    const int bits = image.bits;
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, image.width) && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, image.height) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits) && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
              TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
    const std::vector<uint8_t>& icc = icc_profile(image.space);
    if (ok && !icc.empty()) ok = TIFFSetField(tif, TIFFTAG_ICCPROFILE, uint32_t(icc.size()), icc.data());
    const size_t row_elements = size_t(image.width) * 3;
    for (uint32_t r = 0; ok && r < image.height; ++r) {
        void* row = bits == 16 ? static_cast<void*>(const_cast<uint16_t*>(&image.rgb16[r * row_elements]))
                               : static_cast<void*>(const_cast<uint8_t*>(&image.rgb8[r * row_elements]));
        ok = TIFFWriteScanline(tif, row, r, 0) >= 0;
    }
    TIFFClose(tif);
    if (!ok || !messages.error.empty()) {
        error = messages.error.empty() ? "cannot write the TIFF data" : messages.error;
        return false;
    }
    return true;
}

}  // namespace

bool write_image(const std::string& path, FileFormat format, const DevelopedImage& image, std::string& error,
                 const WriteOptions& options) {
    std::string temp = path + ".partial-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // mkstemp creates the file private; give it the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    const bool ok = format == FileFormat::png    ? write_png(temp, image, options.threads, error)
                    : format == FileFormat::jpeg ? write_jpeg(temp, image, options.jpeg_quality, error)
                                                 : write_tiff(temp, image, error);
    if (!ok) {
        std::remove(temp.c_str());
        return false;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace lumra_tools
