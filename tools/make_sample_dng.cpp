// make-sample-dng: renders the synthetic test scene through the invented
// camera and writes it as a DNG (default: lumra-sample.dng, 1200 x 800),
// uncompressed or in any of the raw layouts lumra-develop reads.
#include "dng/dng_writer.h"
#include "sample/camera.h"

#include <cstdlib>
#include <iostream>
#include <string>

namespace {

const char* kUsage =
    "Usage: make-sample-dng [OUTPUT.dng] [OPTIONS]\n"
    "  --size WIDTHxHEIGHT       image size (default 1200x800)\n"
    "  --compression none|ljpeg|deflate\n"
    "  --tile N                  N x N tiles (a multiple of 16) instead of strips\n"
    "  --rows-per-strip N        rows of each strip (default 32)\n"
    "  --bits N                  integer samples of N bits, 8 to 16 (default 16)\n"
    "  --float 16|24|32          floating-point samples of that size (without the bad-pixel opcode)\n"
    "  --predictor N             deflate predictor: 2, 34892, 34893 (integers), 3, 34894, 34895 (floats)\n"
    "  --big-endian              a big-endian (MM) file\n"
    "  --jpeg-components N       lossless JPEG rows of W samples as W/N pixels of N components\n"
    "  --jpeg-predictor N        lossless JPEG predictor 1 to 7 (default 1)\n"
    "  --restart-rows N          lossless JPEG restart marker every N rows\n";

bool number(const std::string& text, uint32_t& value) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v > 1000000) return false;
    value = uint32_t(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string path = "lumra-sample.dng";
    uint32_t width = 1200, height = 800;
    lumra_tools::DngWriteOptions options;
    options.raw_in_sub_ifd = true;  // the layout cameras use: a preview first, the raw image in a sub-IFD
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::cout << kUsage;
            return 0;
        }
        const bool has_value = i + 1 < argc;
        const std::string v = has_value ? argv[i + 1] : "";
        uint32_t n = 0;
        bool ok = true;
        if (a == "--size" && has_value) {
            const auto x = v.find('x');
            width = x == std::string::npos ? 0 : uint32_t(std::strtoul(v.c_str(), nullptr, 10));
            height = x == std::string::npos ? 0 : uint32_t(std::strtoul(v.c_str() + x + 1, nullptr, 10));
            if (width < 8 || height < 8 || width % 2 || height % 2 || width > 20000 || height > 20000) {
                std::cerr << "make-sample-dng: --size needs an even WIDTHxHEIGHT from 8x8 to 20000x20000\n";
                return 2;
            }
        } else if (a == "--compression" && has_value) {
            options.compression = v == "none" ? 1 : v == "ljpeg" ? 7 : v == "deflate" ? 8 : 0;
            ok = options.compression != 0;
        } else if (a == "--tile" && has_value) {
            ok = number(v, n) && n > 0 && n % 16 == 0;
            options.tile_width = options.tile_height = n;
        } else if (a == "--rows-per-strip" && has_value) {
            ok = number(v, options.rows_per_strip) && options.rows_per_strip > 0;
        } else if (a == "--bits" && has_value) {
            ok = number(v, options.bits) && options.bits >= 8 && options.bits <= 16;
        } else if (a == "--float" && has_value) {
            ok = number(v, options.float_bits) && (n = options.float_bits, n == 16 || n == 24 || n == 32);
        } else if (a == "--predictor" && has_value) {
            ok = number(v, n) && (n == 2 || n == 3 || (n >= 34892 && n <= 34895));
            options.predictor = uint16_t(n);
        } else if (a == "--jpeg-components" && has_value) {
            ok = number(v, options.jpeg_components) && options.jpeg_components >= 1 && options.jpeg_components <= 4;
        } else if (a == "--jpeg-predictor" && has_value) {
            ok = number(v, n) && n >= 1 && n <= 7;
            options.jpeg_predictor = int(n);
        } else if (a == "--restart-rows" && has_value) {
            ok = number(v, options.jpeg_restart_rows);
        } else if (a == "--big-endian") {
            options.big_endian = true;
            continue;
        } else if (a.rfind("-", 0) == 0) {
            std::cerr << "make-sample-dng: unknown or incomplete option " << a << "\n" << kUsage;
            return 2;
        } else {
            path = a;
            continue;
        }
        if (!ok) {
            std::cerr << "make-sample-dng: " << a << " does not accept " << v << "\n";
            return 2;
        }
        ++i;
    }
    lumra_tools::DngFile dng = lumra_tools::make_sample_dng(width, height);
    // The bad-pixel opcode compares 16-bit values: float files leave it out.
    if (options.float_bits) dng.opcode_list1.clear();
    std::string error;
    if (!lumra_tools::write_dng(path, dng, error, options)) {
        std::cerr << "make-sample-dng: " << error << "\n";
        return 1;
    }
    return 0;
}
