// lumra-develop: develops a DNG into a PNG or TIFF with liblumra.
#include "develop/cli.h"

#include <iostream>

int main(int argc, char** argv) {
    return lumra_tools::run_develop_command(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
