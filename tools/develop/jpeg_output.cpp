// JPEG output through libjpeg-turbo: baseline, 4:2:0 below quality 90 and
// 4:4:4 from 90 up (where chroma detail is worth its bytes), optimised
// Huffman tables, the ICC profile in APP2 markers.
#include "develop/icc_profiles.h"
#include "develop/image_output.h"

#include <jpeglib.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace lumra_tools {
namespace {

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpeg_fail(j_common_ptr common) {
    auto* e = reinterpret_cast<JpegError*>(common->err);
    common->err->format_message(common, e->message);
    std::longjmp(e->jump, 1);
}
void jpeg_silent(j_common_ptr, int) {}

// Kept free of C++ objects with destructors between setjmp and longjmp; row
// is a caller-owned buffer of width x 3 bytes for 16-bit images.
bool compress(FILE* file, const DevelopedImage& image, int quality, const std::vector<uint8_t>& icc, uint8_t* row,
              JpegError& error) {
    jpeg_compress_struct cinfo;
    cinfo.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpeg_fail;
    error.manager.emit_message = jpeg_silent;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = image.width;
    cinfo.image_height = image.height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.optimize_coding = TRUE;
    if (quality >= 90)
        for (int c = 0; c < 3; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    if (!icc.empty()) jpeg_write_icc_profile(&cinfo, icc.data(), unsigned(icc.size()));
    const size_t row_elements = size_t(image.width) * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        const size_t at = size_t(cinfo.next_scanline) * row_elements;
        JSAMPROW pointer;
        if (image.bits == 16) {
            for (size_t i = 0; i < row_elements; ++i) row[i] = uint8_t((uint32_t(image.rgb16[at + i]) * 255u + 32767u) / 65535u);
            pointer = row;
        } else {
            pointer = const_cast<JSAMPROW>(image.rgb8.data() + at);
        }
        jpeg_write_scanlines(&cinfo, &pointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

bool write_jpeg(const std::string& path, const DevelopedImage& image, int quality, std::string& error) {
    if (image.width > JPEG_MAX_DIMENSION || image.height > JPEG_MAX_DIMENSION) {
        error = "is too large for JPEG (at most " + std::to_string(JPEG_MAX_DIMENSION) + " pixels a side)";
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> row(image.bits == 16 ? size_t(image.width) * 3 : 0);
    JpegError state{};
    const bool written = compress(file, image, std::clamp(quality, 1, 100), icc_profile(image.space), row.data(), state);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = written ? "cannot write the JPEG data" : std::string("cannot write the JPEG data: ") + state.message;
        return false;
    }
    return true;
}

}  // namespace lumra_tools
