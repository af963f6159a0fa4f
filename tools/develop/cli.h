// The lumra-develop command line, callable in-process by the tests.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace lumra_tools {

// args excludes the program name. Returns the process exit status.
int run_develop_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The committed sample DNG: the source-tree path compiled in, else a copy
// beside the running binary. Empty when neither exists.
std::string find_sample_dng();

}  // namespace lumra_tools
