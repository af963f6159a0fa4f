// Helpers for the tool tests: a private temporary folder and an in-process
// run of the lumra-develop command line.
#pragma once

#include "develop/cli.h"
#include "dng/dng_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace lumra_tools::testing {

class TempDir {
public:
    TempDir() {
        path_ = std::filesystem::temp_directory_path() /
                ("lumra-tool-test-" + std::to_string(getpid()) + "-" + std::to_string(counter()++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
        return names;
    }

private:
    static int& counter() {
        static int n = 0;
        return n;
    }
    std::filesystem::path path_;
};

struct RunResult {
    int status = 0;
    std::string out, err;
};

inline RunResult run_tool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    RunResult r;
    r.status = run_develop_command(args, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

inline std::vector<char> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

}  // namespace lumra_tools::testing
