// make-sample-dng: renders the synthetic test scene through the invented
// camera and writes it as a DNG (default: lumra-sample.dng, 1200 x 800).
#include "dng/dng_writer.h"
#include "sample/camera.h"

#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    std::string path = "lumra-sample.dng";
    uint32_t width = 1200, height = 800;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::cout << "Usage: make-sample-dng [OUTPUT.dng] [--size WIDTHxHEIGHT]\n";
            return 0;
        }
        if (a == "--size" && i + 1 < argc) {
            const std::string s = argv[++i];
            const auto x = s.find('x');
            width = x == std::string::npos ? 0 : uint32_t(std::strtoul(s.c_str(), nullptr, 10));
            height = x == std::string::npos ? 0 : uint32_t(std::strtoul(s.c_str() + x + 1, nullptr, 10));
            if (width < 8 || height < 8 || width % 2 || height % 2 || width > 20000 || height > 20000) {
                std::cerr << "make-sample-dng: --size needs an even WIDTHxHEIGHT from 8x8 to 20000x20000\n";
                return 2;
            }
        } else {
            path = a;
        }
    }
    std::string error;
    lumra_tools::DngWriteOptions options;
    options.raw_in_sub_ifd = true;  // the layout cameras use: a preview first, the raw image in a sub-IFD
    if (!lumra_tools::write_dng(path, lumra_tools::make_sample_dng(width, height), error, options)) {
        std::cerr << "make-sample-dng: " << error << "\n";
        return 1;
    }
    return 0;
}
