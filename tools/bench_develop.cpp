// bench-develop: generates a 24-megapixel sample DNG (6000 x 4000) in a
// temporary folder and times its whole development, stage by stage, on one
// thread. Usage: bench-develop [--runs N] [--keep]
#include "develop/cli.h"
#include "dng/dng_writer.h"
#include "sample/camera.h"

#include <chrono>
#include <filesystem>
#include <iostream>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    int runs = 1;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--keep") keep = true;
        else {
            std::cout << "Usage: bench-develop [--runs N] [--keep]\n";
            return a == "-h" || a == "--help" ? 0 : 2;
        }
    }
    const fs::path dir = fs::temp_directory_path() / ("lumra-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string dng = (dir / "bench-24mp.dng").string();
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    if (!lumra_tools::write_dng(dng, lumra_tools::make_sample_dng(6000, 4000), error)) {
        std::cerr << "bench-develop: " << error << "\n";
        return 1;
    }
    std::cout << "generated " << dng << " in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() << " s\n";
    int status = 0;
    for (int run = 0; run < runs && status == 0; ++run)
        status = lumra_tools::run_develop_command({dng, "-o", (dir / "bench.png").string(), "--verbose"}, std::cout,
                                                  std::cerr);
    if (!keep) fs::remove_all(dir);
    return status;
}
